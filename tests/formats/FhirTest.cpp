// The published record as a FHIR R4 Bundle: the mapping rules case by case, and every
// Bundle made here (the cases, the simulator's patients) through the R4 schema.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "SamplePatients.h"
#include "support/FhirValidation.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

using Json = nlohmann::json;
using Properties = std::vector<std::pair<std::string, std::string>>;

// What one element of the Bundle holds: the n-th resource of a type ("Bundle" is the
// Bundle itself), a JSON pointer into it, and its value (strings bare, anything else as
// JSON text); nullptr when the element must be absent.
struct Element {
    const char* resource;
    int n;
    const char* pointer;
    const char* value;
};

struct MappingCase {
    const char* name;
    Properties properties;
    std::vector<Element> expected;
};

void PrintTo(const MappingCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr const char* kIcd9 = "http://hl7.org/fhir/sid/icd-9-cm";
constexpr const char* kIcd10 = "http://hl7.org/fhir/sid/icd-10-cm";

const std::vector<MappingCase>& mappingCases() {
    static const std::vector<MappingCase> cases = {
        {"EmptyRecordIsAPatientAlone",
         {},
         {{"Bundle", 0, "/type", "collection"},
          {"Bundle", 0, "/entry/0/resource/resourceType", "Patient"},
          {"Bundle", 0, "/entry/1", nullptr},
          {"Patient", 0, "/identifier", nullptr},
          {"Patient", 0, "/name", nullptr}}},
        {"BlankValuesAreLeftOut",
         {{"p1PatientLastName", "   "}, {"p1PatientHomePhone", " "}, {"p2UsualProvider", "  "}},
         {{"Patient", 0, "/name", nullptr},
          {"Patient", 0, "/telecom", nullptr},
          {"Bundle", 0, "/entry/1", nullptr}}},
        {"GenderM", {{"p1PatientGender", "M"}}, {{"Patient", 0, "/gender", "male"}}},
        {"GenderFemaleWord",
         {{"p1PatientGender", "female"}},
         {{"Patient", 0, "/gender", "female"}}},
        {"GenderO", {{"p1PatientGender", "o"}}, {{"Patient", 0, "/gender", "other"}}},
        {"GenderU", {{"p1PatientGender", "U"}}, {{"Patient", 0, "/gender", "unknown"}}},
        {"GenderAnythingElse", {{"p1PatientGender", "X"}}, {{"Patient", 0, "/gender", "unknown"}}},
        {"DateYYYYMMDD",
         {{"p1PatientDOB", "19600101"}},
         {{"Patient", 0, "/birthDate", "1960-01-01"}}},
        {"DateMonthDayYear",
         {{"p1PatientDOB", "7/4/1976"}},
         {{"Patient", 0, "/birthDate", "1976-07-04"}}},
        {"DateLeapDay",
         {{"p1PatientDOB", "02/29/2024"}},
         {{"Patient", 0, "/birthDate", "2024-02-29"}}},
        {"DateNoLeapDay", {{"p1PatientDOB", "20230229"}}, {{"Patient", 0, "/birthDate", nullptr}}},
        {"DateMonth13", {{"p1PatientDOB", "19601301"}}, {{"Patient", 0, "/birthDate", nullptr}}},
        {"DateShort", {{"p1PatientDOB", "196001"}}, {{"Patient", 0, "/birthDate", nullptr}}},
        {"DateYearZero", {{"p1PatientDOB", "00000101"}}, {{"Patient", 0, "/birthDate", nullptr}}},
        {"Identifiers",
         {{"p1PatientUniqueID", "12345"}, {"p1PatientAltID", "A77"}, {"p1PatientSSN", "123456789"}},
         {{"Patient", 0, "/identifier/0/system", "urn:trellybridge:account"},
          {"Patient", 0, "/identifier/0/value", "12345"},
          {"Patient", 0, "/identifier/1/system", "urn:trellybridge:alternate-id"},
          {"Patient", 0, "/identifier/2/system", "http://hl7.org/fhir/sid/us-ssn"}}},
        {"NameTelecomAddressInWindows1252",
         {{"p1PatientLastName", "M\xDCLLER "},
          {"p1PatientFirstName", "ANA"},
          {"p1PatientMiddleInitial", "L"},
          {"p1PatientWorkPhone", "555-0199"},
          {"p1PatientAddress2", "APT 2"},
          {"p1PatientPostal", "62704"}},
         {{"Patient", 0, "/name/0/family", "M\xC3\x9CLLER"},
          {"Patient", 0, "/name/0/given/1", "L"},
          {"Patient", 0, "/telecom/0/use", "work"},
          {"Patient", 0, "/address/0/line/0", "APT 2"},
          {"Patient", 0, "/address/0/postalCode", "62704"}}},
        {"Practitioner",
         {{"p2UsualProvider", "SMITH,JOHN Q"},
          {"p2PhysicianNPI", "1234567893"},
          {"p2PhysicianUPIN", "A12345"}},
         {{"Practitioner", 0, "/name/0/family", "SMITH"},
          {"Practitioner", 0, "/name/0/given/1", "Q"},
          {"Practitioner", 0, "/identifier/0/system", "http://hl7.org/fhir/sid/us-npi"},
          {"Practitioner", 0, "/identifier/1/type/coding/0/code", "UPIN"}}},
        {"PlainCodeIsIcd9",
         {{"p2ICD9Code1", "250.00"}, {"p2ICD9Description1", "DIABETES"}},
         {{"Condition", 0, "/code/coding/0/system", kIcd9},
          {"Condition", 0, "/code/coding/0/code", "250.00"},
          {"Condition", 0, "/code/text", "DIABETES"}}},
        {"I10ComponentIsIcd10",
         {{"p2ICD9Code2", "E11.9^TYPE 2 DIABETES^I10"}},
         {{"Condition", 0, "/code/coding/0/system", kIcd10},
          {"Condition", 0, "/code/coding/0/code", "E11.9"},
          {"Condition", 0, "/code/coding/0/display", "TYPE 2 DIABETES"}}},
        {"OtherComponentIsIcd9",
         {{"p2ICD9Code1", "401.9^^I9"}},
         {{"Condition", 0, "/code/coding/0/system", kIcd9}}},
        {"DescriptionWithoutCode",
         {{"p2ICD9Description3", "ASTHMA"}},
         {{"Condition", 0, "/code/coding", nullptr}, {"Condition", 0, "/code/text", "ASTHMA"}}},
        {"Guarantor",
         {{"g1GuarantorLastName", "DOE"},
          {"g1GuarantorDOB", "05/05/1955"},
          {"g1GuarantorGender", "F"}},
         {{"RelatedPerson", 0, "/relationship/0/text", "guarantor"},
          {"RelatedPerson", 0, "/birthDate", "1955-05-05"},
          {"RelatedPerson", 0, "/gender", "female"}}},
        {"InsuredSelf",
         {{"i1InsuredRelationship", "SE"},
          {"i1InsuredCompanyName", "ACME"},
          {"i1InsuredPolicyNumber", "P1"},
          {"i1InsuredGroupNumber", "G1"}},
         {{"Coverage", 0, "/relationship/coding/0/code", "self"},
          {"Coverage", 0, "/subscriberId", "P1"},
          {"Coverage", 0, "/class/0/value", "G1"},
          {"Coverage", 0, "/order", "1"},
          {"Organization", 0, "/name", "ACME"}}},
        {"InsuredSpouseIsASubscriber",
         {{"i2InsuredRelationship", "SPO"}, {"i2InsuredName", "DOE^JANE"}},
         {{"Coverage", 0, "/relationship/coding/0/code", "spouse"},
          {"Coverage", 0, "/order", "2"},
          {"Coverage", 0, "/payor/0/display", "unknown"},
          {"RelatedPerson", 0, "/name/0/given/0", "JANE"}}},
        {"InsuredChild",
         {{"i3InsuredRelationship", "CH"}},
         {{"Coverage", 0, "/relationship/coding/0/code", "child"}}},
        {"InsuredOther",
         {{"i1InsuredRelationship", "oth"}},
         {{"Coverage", 0, "/relationship/coding/0/code", "other"}}},
        {"InsuredNumberDoesNotMap",
         {{"i1InsuredRelationship", "18"}},
         {{"Coverage", 0, "/relationship/coding", nullptr},
          {"Coverage", 0, "/relationship/text", "18"}}},
        {"Employer",
         {{"i1InsuredEmployer", "PLANT"}, {"i1InsuredEmployerCity", "PEORIA"}},
         {{"Organization", 0, "/name", "PLANT"}, {"Organization", 0, "/address/0/city", "PEORIA"}}},
    };
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
    Json bundle = Json::parse(bundleOf(GetParam().properties));
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
        EXPECT_EQ(value.is_string() ? value.get<std::string>() : value.dump(), e.value)
            << e.resource << e.pointer;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FhirMapping, ::testing::ValuesIn(mappingCases()),
                         [](const ::testing::TestParamInfo<MappingCase>& info) {
                             return std::string(info.param.name);
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
    for (const MappingCase& c : mappingCases()) bundles[c.name] = bundleOf(c.properties);
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
    EXPECT_EQ(testing::fhirProblems(bundles), "");
}

}  // namespace
}  // namespace trellybridge
