// Vendor answers kept as data: tests/formats/data/<format>/<case>.answer holds the bytes
// the vendor sent, <case>.expect the settings of the request and what must come of it.
// A hostile answer of megabytes is kept as <case>.generate instead, whose lines build it:
//   text T           T
//   repeat N T       T, N times
//   numbered N T     T for n from 1 to N, with {n} in T replaced by n
//
// An expect file holds lines of these kinds ('#' starts a comment):
//   set NAME=VALUE   a GetPatient setting (defaults below)
//   found true|false the outcome of the answer dispatcher
//   failure KIND     what a request would say of an answer without the patient
//                    ("not on file" unless given)
//   matched TEXT     the identifier that matched the one asked for, when not the
//                    answer's own (none unless given)
//   strict           every result property not listed must be empty
//   error N          the error list must hold an element with id N
//   NAME=VALUE       a result property as ReturnPatient publishes it
// Values and texts may use the escapes testing::unescape undoes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "component/LastRequest.h"
#include "component/RequestPreparation.h"
#include "support/FhirValidation.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

using testing::dispatch;
using testing::unescape;

namespace stdfs = std::filesystem;

struct FormatCase {
    std::string format;  // folder name
    std::string name;
    stdfs::path answer, expect;
};

std::vector<FormatCase> allCases() {
    std::vector<FormatCase> cases;
    for (const auto& folder : stdfs::directory_iterator(TRELLYBRIDGE_FORMAT_DATA)) {
        if (!folder.is_directory()) continue;
        for (const auto& file : stdfs::directory_iterator(folder.path())) {
            if (file.path().extension() != ".answer" && file.path().extension() != ".generate")
                continue;
            stdfs::path expect = file.path();
            expect.replace_extension(".expect");
            cases.push_back({folder.path().filename().string(), file.path().stem().string(),
                             file.path(), expect});
        }
    }
    std::sort(cases.begin(), cases.end(), [](const FormatCase& a, const FormatCase& b) {
        return a.format + a.name < b.format + b.name;
    });
    return cases;
}

std::string answerOf(const FormatCase& c) {
    if (c.answer.extension() != ".generate") return testing::readHostFile(c.answer);
    std::ifstream in(c.answer);
    std::string line, answer;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        long count = 1;
        words >> kind;
        if (kind != "text") words >> count;
        words.get();  // the space before the text
        std::string text = unescape(std::string(std::istreambuf_iterator<char>(words), {}));
        for (long n = 1; n <= count; ++n) {
            std::string part = text;
            for (size_t at; kind == "numbered" && (at = part.find("{n}")) != std::string::npos;)
                part.replace(at, 3, std::to_string(n));
            answer += part;
        }
    }
    return answer;
}

struct Expectation {
    GetPatientArguments settings;
    bool found = true;
    std::string failure = "not on file";
    std::string matched;
    bool strict = false;
    std::map<std::string, std::string> properties;
    std::vector<std::string> errors;
};

Expectation readExpectation(const FormatCase& c) {
    Expectation e;
    GetPatientArguments& s = e.settings;
    s.PatientID = "12345";
    s.NetworkBridgeType = "FOLDERS";
    s.VendorName = "ACME";
    s.VendorRequestTag = "<%DYNAMIC%>";
    s.VendorFormatType = Variant(c.format).upperText();  // the folder names the format
    s.EOFCharacter = "126";
    s.EOLCharacter = "13";
    s.AllowedRetries = "1";
    s.DisplayProperties = "false";
    s.DisplayDebugger = "false";
    s.MEDICNumberDefault = "";

    std::ifstream in(c.expect);
    EXPECT_TRUE(in) << "missing " << c.expect;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line == "strict") {
            e.strict = true;
        } else if (line.rfind("found ", 0) == 0) {
            e.found = line.substr(6) == "true";
        } else if (line.rfind("failure ", 0) == 0) {
            e.failure = line.substr(8);
        } else if (line.rfind("matched ", 0) == 0) {
            e.matched = line.substr(8);
        } else if (line.rfind("error ", 0) == 0) {
            e.errors.push_back(line.substr(6));
        } else if (line.rfind("set ", 0) == 0) {
            size_t equals = line.find('=');
            auto position = GetPatientArguments::find(line.substr(4, equals - 4));
            EXPECT_TRUE(position) << line;
            if (position) s.at(*position) = unescape(line.substr(equals + 1));
        } else {
            size_t equals = line.find('=');
            EXPECT_NE(equals, std::string::npos) << line;
            std::string name = line.substr(0, equals);
            EXPECT_TRUE(findProperty(name)) << "unknown property " << name;
            e.properties[name] = unescape(line.substr(equals + 1));
        }
    }
    return e;
}

class FormatCases : public testing::TestEnvironment,
                    public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatCases, AnswerYieldsTheExpectedPatient) {
    const FormatCase& c = GetParam();
    Expectation e = readExpectation(c);

    // The settings go through the preparation the parse command applies.
    ASSERT_EQ(
        configuration::prepareRequest(lastRequest(), e.settings, configuration::kForAnswerAtHand),
        configuration::Prepared::Ready);

    lastRequest().failures.clear();
    EXPECT_EQ(dispatch(lastRequest(), answerOf(c)), e.found);
    if (!e.found) {
        EXPECT_EQ(failureKindName(lastRequest().failures.latestKind()), e.failure)
            << lastRequest().failures.text();
    }
    EXPECT_EQ(lastRequest().session.identifierMatch, e.matched);

    TrellyBridgeComm comm;
    comm.ReturnPatient();
    for (const auto& [name, value] : e.properties)
        EXPECT_EQ(comm.property(*findProperty(name)).toText(), value) << name;
    for (int i = 0; e.strict && i < kRecordPropertyCount; ++i) {
        std::string name(propertyName(static_cast<ResultProperty>(i)));
        if (!e.properties.count(name)) {
            EXPECT_EQ(comm.property(static_cast<ResultProperty>(i)).toText(), "") << name;
        }
    }
    for (const std::string& id : e.errors) {
        EXPECT_NE(lastRequest().errorList.find("<error id=\"" + id + "\""), std::string::npos)
            << "error " << id;
    }
    if (e.errors.empty()) {
        EXPECT_EQ(lastRequest().errorList, "");
    }
}

class FormatCasesAsFhir : public testing::TestEnvironment {};

// The patient of every case, published and handed over as FHIR, is a valid R4 Bundle:
// all of them go to the validators at once. A case that finds nobody has no Bundle.
TEST_F(FormatCasesAsFhir, EveryPatientIsAValidR4Bundle) {
    std::map<std::string, std::string> bundles;
    for (const FormatCase& c : allCases()) {
        Expectation e = readExpectation(c);
        lastRequest().record.clear();
        lastRequest().patientFound = false;
        // Each case's settings are usable: FormatCases asserts it.
        configuration::prepareRequest(lastRequest(), e.settings, configuration::kForAnswerAtHand);
        lastRequest().patientFound = dispatch(lastRequest(), answerOf(c));
        TrellyBridgeComm comm;
        comm.ReturnPatient();
        std::string bundle = comm.patientAsFhir();
        EXPECT_EQ(bundle.empty(), !lastRequest().patientFound) << c.format << "/" << c.name;
        if (!bundle.empty()) bundles[c.format + "/" + c.name] = bundle;
    }
    EXPECT_EQ(testing::fhirProblems(bundles), "");
}

INSTANTIATE_TEST_SUITE_P(Data, FormatCases, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             std::string name = info.param.format + "_" + info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace trellybridge
