// The HL7 members of the class (the primitives as variants, and the public parser, which
// publishes into the instance it runs on) and real HL7 feeds read through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <vector>

#include "SampleRequest.h"
#include "component/CommandLine.h"
#include "component/LastRequest.h"
#include "component/RequestPreparation.h"
#include "support/FhirValidation.h"
#include "support/RunProgram.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

class Hl7MethodsTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        BridgeConfiguration& c = lastRequest().config;
        c.EOLCharacter = "13";
        c.DisplayDebugger = "false";
        c.VendorFormatType = "HL7";
        c.NetworkBridgeType = "FOLDERS";
        c.PatientID = "12345";
    }
};

TEST_F(Hl7MethodsTest, ClassMethodsWrapThePrimitives) {
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.getHL7Field("PID|1||12345^^^A|", "|", 3), Variant("|12345^^^A|"));
    EXPECT_EQ(comm.getHL7SubField("|DOE^JOHN^Q|", "|", "^", 2), Variant("^JOHN^"));
    EXPECT_EQ(comm.getHL7Record("A\rPID|1\r", "PID", 1), Variant("PID|1\r"));
    EXPECT_EQ(comm.verifySubFields("|A^B|", "^", 2), Variant(true));
    EXPECT_EQ(comm.getASCII("126"), Variant("~"));
    // Text that is no code fails the call: the error reaches the caller.
    for (const auto& [code, number] : {std::pair{"abc", 13}, std::pair{"256", 5}}) {
        CallError error;
        EXPECT_EQ(comm.getASCII(code, &error), Variant());
        EXPECT_EQ(error.number, number) << code;
    }
}

TEST_F(Hl7MethodsTest, ALookupThatCannotBeMadeOrAnotherPatientEndsTheExchange) {
    SessionState& s = lastRequest().session;
    s.completionCode = 1;
    s.elapsedTicks = 4;
    lastRequest().config.EOLCharacter = "13,10";
    lastRequest().config.DisplayDebugger = "true";
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.getHL7SubField("|DOE^JOHN|", "|", "^", 1), Variant(""));
    EXPECT_EQ(s.completionCode, 0);
    EXPECT_EQ(s.elapsedTicks, 0);
    ASSERT_EQ(toolkit->messageBoxes.size(), 2u);
    EXPECT_EQ(toolkit->messageBoxes[1], "Attention!: ERROR capturing HL7 <subfield>");

    // The parser ends its segments at the carriage return whatever the setting says.
    s.completionCode = 1;
    s.elapsedTicks = 4;
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\r"), Variant(true));
    EXPECT_EQ(comm.property(ResultProperty::p1PatientLastName), Variant("DOE"));
    EXPECT_EQ(s.completionCode, 1);
    EXPECT_EQ(s.elapsedTicks, 4);
    EXPECT_EQ(toolkit->messageBoxes.size(), 2u);

    // Another patient's answer is no patient, and ends the exchange.
    lastRequest().config.NetworkBridgeType = "TCPIP";
    lastRequest().config.PatientID = "999";
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\r"), Variant(false));
    EXPECT_EQ(s.completionCode, 0);
}

TEST_F(Hl7MethodsTest, TheParserPublishesTheRecordAsReadBeforeTheGuarantorIsSubstituted) {
    lastRequest().config.HTTPSSubjectCN = "{USE IN1 FOR GT1}";
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\rGT1|1||ROE^RICHARD\r"
                                  "IN1|1|P|C|ACME||||||||||||SMITH^ANN\r"),
              Variant(true));
    EXPECT_EQ(comm.property(ResultProperty::p1PatientLastName), Variant("DOE"));
    EXPECT_EQ(comm.property(ResultProperty::i1InsuredCompanyName), Variant("ACME"));
    EXPECT_EQ(comm.property(ResultProperty::g1GuarantorLastName), Variant("ROE"))
        << "the substitution changes the record only";
    EXPECT_EQ(lastRequest().record[RecordField::g1GuarantorLastName], "SMITH");
    EXPECT_EQ(lastRequest().debugDataDump.substr(0, 4), "MSH|");
}

// Real HL7 feeds: messages from the test data and documentation of public HL7 projects,
// kept beside the checkout (../shared/hl7-corpus/msgs), never inside it. Each is read as
// a TCP/IP answer to a request for the number a user would type, with the settings
// pages' end of line (none given) and the debugger's message boxes on.
namespace stdfs = std::filesystem;
class Hl7Corpus : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        if (!stdfs::is_directory(TRELLYBRIDGE_HL7_CORPUS))
            GTEST_SKIP() << "no HL7 corpus at " << TRELLYBRIDGE_HL7_CORPUS;
        for (const auto& file : stdfs::directory_iterator(TRELLYBRIDGE_HL7_CORPUS))
            if (file.path().extension() == ".hl7") files.push_back(file.path());
        std::sort(files.begin(), files.end());
    }

    // The message read as the answer to a request for `patientId` and published on `comm`;
    // whether it was found.
    bool read(const stdfs::path& file, const std::string& patientId) {
        toolkit->messageBoxes.clear();
        GetPatientArguments s = vendorsim::sampleRequest(patientId, "TCPIP", "HL7", 9991);
        s.EOLCharacter = Variant();  // as the settings pages leave it
        s.AllowedRetries = "1";
        s.DisplayDebugger = "true";
        return readAnswerAtHand(comm, s, testing::readHostFile(file));
    }

    TrellyBridgeComm comm;
    std::vector<stdfs::path> files;
};

// The number a user types: the first identifier PID-3 lists (PID-2 where it lists none).
std::string numberAUserTypes(const std::string& message) {
    size_t pid = message.find("\rPID|");
    if (pid == std::string::npos) return "";
    std::vector<std::string> fields;
    size_t end = message.find('\r', pid + 1);
    std::string segment = message.substr(pid + 1, end - pid - 1);
    for (size_t start = 0; start <= segment.size();) {
        size_t bar = std::min(segment.find('|', start), segment.size());
        fields.push_back(segment.substr(start, bar - start));
        start = bar + 1;
    }
    auto first = [&](size_t n) {
        std::string field = n < fields.size() ? fields[n] : "";
        return field.substr(0, field.find_first_of("^~"));
    };
    return first(3).empty() ? first(2) : first(3);
}

TEST_F(Hl7Corpus, EveryPatientIsFoundByTheNumberAUserTypes) {
    ASSERT_GE(files.size(), 20u);
    for (const stdfs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::string number = numberAUserTypes(testing::readHostFile(file));
        EXPECT_TRUE(read(file, number)) << number;
        EXPECT_EQ(comm.get_ErrorCodes().toText(), "");
        // No failed lookup ("Type mismatch", "ERROR capturing HL7"), no identifier box.
        EXPECT_EQ(toolkit->messageBoxes, std::vector<std::string>{});
    }
}

// Written from the message text: the segment each value comes from is named by the file.
// The number the file's name starts with; the number a user types; the last and first
// names, birth date, sex, first address line, postal code and first insurer.
const std::array<const char*, 9> kExpected[] = {
    {"001", "555-44-4444", "EVERYWOMAN", "EVE", "19620352", "F", "153 FERNWOOD DR.", "35292", ""},
    {"003", "2148790", "RUFUSS", "MELLODIAL", "19521129", "F", "221 CANVIEW AVENUE", "10454",
     "HIP COMP MCAID"},
    {"004", "566-554-3423", "SURNAME", "NAME", "", "M", "1111 SOMEWHERE STREET", "", ""},
    // A query segment before PID names "@PID.3.1".
    {"005", "10101", "JOHN", "SMITH", "19690113", "M", "VIA DELLE VIE", "", ""},
    {"006", "123-456-789", "SURNAME", "NAME", "", "M", "1111 SOMEWHERE STREET", "",
     "INSURANCE COMPANY, INC."},
    {"007", "56782445", "KLEINSAMPLE", "BARRY", "19620910", "M", "260 GOODWIN CREST DRIVE", "35209",
     ""},
    {"008", "252430", "Curry", "Qiang", "20090819", "M", "", "", ""},
    {"011", "12345", "EVERYMAN", "ADAM", "19800101", "M", "", "", ""},
    // A name and an address without components.
    {"015", "0699999", "XXXXXX", "", "20071006", "F", "10 THE ADDRESS", "", ""},
    {"018", "2019877", "LOPEZ1", "JAMES", "19740804", "M", "", "", ""},
    {"022", "397979797", "Williams", "Rory", "19641028", "M", "", "", "ACME HealthCare"},
    {"026", "JD256960", "Test", "Patient", "20040229", "M", "10 Main St", "94100",
     "Anthem Blue Cross"},
    // No PID-3: the number is PID-2. Two addresses.
    {"030", "987654", "Smith", "John", "19600411", "M", "123 Main St.", "11101", ""},
    {"032", "987654", "Smith", "John", "19600411", "M", "123 Main St.", "11101", "Some Carrier"},
    {"038", "1005555", "OSTRICH", "DODUO", "19820605", "M", "000 PARK AVE SOUTH", "10010", ""},
    // An error segment before PID names "@PID.3.1".
    {"043", "1011848460", "WXSSXY", "MARIE", "19740209", "F", "22 Marvell Blvd.", "L1G 2B0", ""},
    {"046", "429314294", "WASHINGTON-HARPER", "VOLA", "19541218", "F", "2146 E HARRIS", "63107",
     "HEALTHLINK, INC"},
    {"053", "00001122", "SMITH", "JOHN", "19581119", "F", "564 SPRING ST", "02494", "BLUE CROSS"},
    // Two patients: the first is read.
    {"057", "3678347", "LEIGHTON", "RACHEL", "19310313", "F", "200 ANYWHERE ST", "M6H 2T9", ""},
    {"060", "000005222", "TEST", "BRIAN", "19700623", "M", "30815 RAYBURN", "48154-0000",
     "BCBSM BC OF MI"},
    {"062", "00J8804997", "Aalan", "Angus", "19620404", "F", "101 Ames Ave", "M2N7J6", ""},
    // "PV1|" inside the PID line.
    {"066", "000010004", "SENTARA10004", "PAT", "19251008", "F", "", "", ""},
    {"068", "MR1", "DOE", "JANE", "", "F", "", "", "Large Blue Organization"},
    {"070", "MR12345678", "DOE", "JANE", "", "F", "19 Raymond St", "56321",
     "Blue Cross Blue Shield"},
    {"073", "3002505", "CHILD", "AMB", "20150122", "F", "123 STREET", "11233", ""},
};

TEST_F(Hl7Corpus, FieldsAgreeWithTheMessageText) {
    for (const auto& [prefix, number, last, first, birthDate, sex, address1, postal, insurer] :
         kExpected) {
        auto file =
            std::find_if(files.begin(), files.end(), [&, prefix = prefix](const stdfs::path& path) {
                return path.filename().string().starts_with(prefix);
            });
        ASSERT_NE(file, files.end()) << prefix;
        SCOPED_TRACE(file->filename().string());
        EXPECT_TRUE(read(*file, number));
        auto property = [&](ResultProperty p) { return comm.property(p).toText(); };
        EXPECT_EQ(property(ResultProperty::p1PatientLastName), last);
        EXPECT_EQ(property(ResultProperty::p1PatientFirstName), first);
        EXPECT_EQ(property(ResultProperty::p1PatientDOB), birthDate);
        EXPECT_EQ(property(ResultProperty::p1PatientGender), sex);
        EXPECT_EQ(property(ResultProperty::p1PatientAddress1), address1);
        EXPECT_EQ(property(ResultProperty::p1PatientPostal), postal);
        EXPECT_EQ(property(ResultProperty::i1InsuredCompanyName), insurer);
    }
}

// Each message as a support engineer reads it into FHIR, `trellybridge parse --output fhir`
// with the format's working settings: a Bundle that the validators pass.
TEST_F(Hl7Corpus, EveryPatientReadByTheCommandIsAValidR4Bundle) {
    std::map<std::string, std::string> bundles;
    for (const stdfs::path& file : files) {
        std::string number = numberAUserTypes(testing::readHostFile(file));
        testing::ProgramResult result =
            testing::runProgram({{TRELLYBRIDGE_CLI_PATH, "parse", "--format", "HL7", "--output",
                                  "fhir", "--set", "PatientID=" + number, file.string()},
                                 {}});
        EXPECT_EQ(result.exitCode, 0) << file.filename() << " " << number << "\n" << result.err;
        bundles[file.filename().string()] = result.out;
    }
    EXPECT_EQ(testing::fhirProblems(bundles), "");
}

}  // namespace
}  // namespace trellybridge
