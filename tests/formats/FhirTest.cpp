// The published record as a FHIR R4 Bundle: the mapping rules case by case, and every
// Bundle made here (the cases, the simulator's patients) through the R4 schema.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "SamplePatients.h"
#include "support/FhirValidation.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

using Json = nlohmann::json;
using testing::unescape;
using Properties = std::vector<std::pair<std::string, std::string>>;

// What one element of the Bundle holds: the n-th resource of a type ("Bundle" is the
// Bundle itself), a JSON pointer into it, and its value (strings bare, anything else as
// JSON text); none when the element must be absent.
struct Element {
    std::string resource;
    int n;
    std::string pointer;
    std::optional<std::string> value;
};

struct MappingCase {
    std::string name;
    Properties properties;
    std::vector<Element> expected;
    bool none = false;  // no Bundle at all
};

// The cases are data: tests/formats/data/fhir/mapping.txt says how they are written.
const std::vector<MappingCase>& mappingCases() {
    static const std::vector<MappingCase> cases = [] {
        std::vector<MappingCase> all;
        std::ifstream in(TRELLYBRIDGE_FORMAT_DATA "/fhir/mapping.txt");
        for (std::string line; std::getline(in, line);) {
            size_t space = line.find(' '), equals = line.find('=');
            std::string kind = line.substr(0, space), rest = line.substr(space + 1);
            std::string value = equals == line.npos ? "" : unescape(line.substr(equals + 1));
            if (kind == "case") all.push_back({rest, {}, {}});
            if (kind == "none") all.back().none = true;
            if (kind == "set")
                all.back().properties.push_back({rest.substr(0, rest.find('=')), value});
            if (kind == "expect" || kind == "absent") {
                size_t hash = rest.find('#'), slash = rest.find('/'), end = rest.find('=');
                all.back().expected.push_back(
                    {rest.substr(0, hash), std::stoi(rest.substr(hash + 1, slash - hash - 1)),
                     rest.substr(slash, end == rest.npos ? end : end - slash),
                     kind == "expect" ? std::optional(value) : std::nullopt});
            }
        }
        return all;
    }();
    return cases;
}

std::string bundleOf(const Properties& properties) {
    TrellyBridgeComm comm;
    for (const auto& [name, value] : properties) comm.setPropertyText(*findProperty(name), value);
    return comm.patientAsFhir();
}

// The n-th resource of the type, or null.
Json resourceOf(const Json& bundle, const std::string& type, int n) {
    if (type == "Bundle") return bundle;
    for (const Json& entry : bundle["entry"])
        if (entry["resource"]["resourceType"] == type && n-- == 0) return entry["resource"];
    return nullptr;
}

class FhirMapping : public testing::TestEnvironment,
                    public ::testing::WithParamInterface<MappingCase> {};

TEST_P(FhirMapping, GivesTheElements) {
    std::string text = bundleOf(GetParam().properties);
    if (GetParam().none) {
        EXPECT_EQ(text, "");
        return;
    }
    Json bundle = Json::parse(text);
    for (const Element& e : GetParam().expected) {
        Json resource = resourceOf(bundle, e.resource, e.n);
        ASSERT_FALSE(resource.is_null()) << e.resource << " " << e.n << " in " << bundle.dump(1);
        Json::json_pointer pointer(e.pointer);
        if (!e.value) {
            EXPECT_FALSE(resource.contains(pointer)) << e.resource << e.pointer;
            continue;
        }
        ASSERT_TRUE(resource.contains(pointer))
            << e.resource << e.pointer << " in " << resource.dump(1);
        const Json& value = resource[pointer];
        EXPECT_EQ(value.is_string() ? value.get<std::string>() : value.dump(), *e.value)
            << e.resource << e.pointer;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FhirMapping, ::testing::ValuesIn(mappingCases()),
                         [](const ::testing::TestParamInfo<MappingCase>& info) {
                             return info.param.name;
                         });

class FhirBundle : public testing::TestEnvironment {};

TEST_F(FhirBundle, FullUrlsAreStableForARecordAndDifferBetweenPatients) {
    Properties first = {{"p1PatientUniqueID", "12345"}, {"p2ICD9Code1", "250.00"}};
    Properties second = {{"p1PatientUniqueID", "20001"}, {"p2ICD9Code1", "250.00"}};
    EXPECT_EQ(bundleOf(first), bundleOf(first));
    Json a = Json::parse(bundleOf(first)), b = Json::parse(bundleOf(second));
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(a["entry"][i]["fullUrl"], b["entry"][i]["fullUrl"]) << "entry " << i;
}

TEST_F(FhirBundle, EveryBundleIsValidR4AndRepresentsEveryField) {
    std::map<std::string, std::string> bundles;
    for (const MappingCase& c : mappingCases())
        if (!c.none) bundles[c.name] = bundleOf(c.properties);
    for (const vendorsim::SamplePatient& patient : vendorsim::builtInPatients()) {
        Properties properties(patient.fields.begin(), patient.fields.end());
        std::string bundle = bundleOf(properties);
        bundles["sample patient " + patient.account] = bundle;
        // Every value the vendor sent is in the Bundle, but the two that FHIR spells its
        // own way, and the insured's name where the insured is the patient.
        for (const auto& [name, value] : properties) {
            if (name.ends_with("Gender") || name.ends_with("DOB")) continue;
            if (name.ends_with("InsuredName") &&
                patient.field(name.substr(0, 2) + "InsuredRelationship") == "SE")
                continue;
            EXPECT_NE(bundle.find('"' + value + '"'), std::string::npos)
                << patient.account << " " << name << "=" << value;
        }
    }
    // Every person is somebody to the patient, and every subscriber is a person.
    for (const auto& [name, text] : bundles) {
        Json bundle = Json::parse(text);
        std::map<std::string, std::string> types;
        for (const Json& e : bundle["entry"]) types[e["fullUrl"]] = e["resource"]["resourceType"];
        for (const Json& e : bundle["entry"]) {
            const Json& r = e["resource"];
            EXPECT_TRUE(r["resourceType"] != "RelatedPerson" || r.contains("relationship")) << name;
            std::string type = r.contains("subscriber") ? types[r["subscriber"]["reference"]] : "";
            EXPECT_TRUE(type.empty() || type == "RelatedPerson" || type == "Patient") << name;
        }
    }
    EXPECT_EQ(testing::fhirProblems(bundles), "");
}

// The validators are no rubber stamp: each of these Bundles breaks the invariant that its
// name starts with, and the invariant check must say so.
TEST_F(FhirBundle, ValidatorsRejectBrokenInvariants) {
    std::ifstream in(TRELLYBRIDGE_FORMAT_DATA "/fhir/broken-invariants.json");
    std::map<std::string, std::string> bundles;
    const Json planted = Json::parse(in);
    for (const auto& [name, bundle] : planted.items()) bundles[name] = bundle.dump();
    std::string problems = testing::fhirProblems(bundles);
    for (const auto& [name, bundle] : bundles) {
        std::string key = name.substr(0, name.find(' '));
        std::istringstream lines(problems);
        bool caught = false;
        for (std::string line; std::getline(lines, line);)
            caught = caught || (line.starts_with(name + ": ") &&
                                line.find(": " + key + " ") != std::string::npos);
        EXPECT_TRUE(caught) << name << "\n" << problems;
    }
}

}  // namespace
}  // namespace trellybridge
