// GetPatientData without a vendor: how the request is read into the settings, the search
// request and the result texts, and the searches that end before any contact.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "common/ThreadState.h"
#include "session/EnhancedWindow.h"
#include "session/SearchRequest.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class GetPatientDataTest : public testing::RequestFixture {
protected:
    const BridgeConfiguration& config() { return threadState().config; }
};

struct KeyCase {
    const char* key;
    const char* given;
    Variant BridgeConfiguration::*field;
    const char* stored;  // after the normalisation of this path
};

// Every BridgeParameters key, the renamed ones under their request names. The bridge is
// one the enhanced window does not run, so the search ends without any contact.
const KeyCase kKeys[] = {
    {"NetworkBridgeType", "usb", &BridgeConfiguration::NetworkBridgeType, "USB"},
    {"VendorFacility", "LAB1", &BridgeConfiguration::VendorFacility, "LAB1"},
    {"VendorName", "medic", &BridgeConfiguration::VendorName, "MEDIC"},
    {"Debug", "FALSE", &BridgeConfiguration::DisplayDebugger, "false"},
    {"DisplayProperties", "False", &BridgeConfiguration::DisplayProperties, "false"},
    {"EOFCharacter", "28", &BridgeConfiguration::EOFCharacter, "28"},
    {"EOLCharacter", "13", &BridgeConfiguration::EOLCharacter, "13"},
    {"EOFRequest", "13,10", &BridgeConfiguration::EOFRequest, "13,10"},
    {"LogInsuranceEntries", "50", &BridgeConfiguration::LogInsuranceEntries, "50"},
    {"TimeDelay", "250", &BridgeConfiguration::TimeDelay, "250"},
    {"VendorRequestTag", "ACCT=", &BridgeConfiguration::VendorRequestTag, "ACCT="},
    {"VendorFormatType", "hl7", &BridgeConfiguration::VendorFormatType, "HL7"},
    {"VendorFormatVersion", "2.3", &BridgeConfiguration::VendorFormatVersion, "2.3"},
    {"TrimPaddingZeros", "TRUE", &BridgeConfiguration::stripPaddedZeros, "true"},
    {"CaseSensitivity", "True", &BridgeConfiguration::CaseSensitivity, "true"},
    {"AllowedRetries", "3", &BridgeConfiguration::AllowedRetries, "3"},
    {"ComPort", "2", &BridgeConfiguration::CommPort, "2"},
    {"InputLength", "0", &BridgeConfiguration::InputLength, "0"},
    {"DTR", "true", &BridgeConfiguration::DTR, "true"},
    {"InBufferSize", "1024", &BridgeConfiguration::InBufferSize, "1024"},
    {"RTS", "yes", &BridgeConfiguration::RTS, "false"},
    {"OutBufferSize", "512", &BridgeConfiguration::OutBufferSize, "512"},
    {"EOF", "TRUE", &BridgeConfiguration::EOF_, "true"},
    {"RThreshold", "1", &BridgeConfiguration::RThreshold, "1"},
    {"Handshaking", "0", &BridgeConfiguration::Handshaking, "0"},
    {"SThreshold", "0", &BridgeConfiguration::SThreshold, "0"},
    {"InputMode", "1", &BridgeConfiguration::InputMode, "1"},
    {"SerialTimeout", "4", &BridgeConfiguration::SerialTimeout, "4"},
    {"NullDiscard", "true", &BridgeConfiguration::NullDiscard, "true"},
    {"BitsPerSecond", "9600", &BridgeConfiguration::BPS, "9600"},
    {"DataBits", "8", &BridgeConfiguration::DataBits, "8"},
    {"Parity", "N", &BridgeConfiguration::Parity, "n"},
    {"StopBits", "1", &BridgeConfiguration::StopBits, "1"},
    {"FlowControl", "none", &BridgeConfiguration::FlowControl, "none"},
    {"TCPRemoteHostName", "vendor.example", &BridgeConfiguration::TCPRemoteHostName,
     "vendor.example"},
    {"TCPRemotePorts", "9991,9992", &BridgeConfiguration::TCPRemotePorts, "9991,9992"},
    {"NetworkRequestPath", "C:\\req.txt", &BridgeConfiguration::VendorRequestPath, "C:\\req.txt"},
    {"NetworkResultsPath", "C:\\res.txt", &BridgeConfiguration::VendorResultsPath, "C:\\res.txt"},
    {"VendorApplicationPath", "C:\\v.exe", &BridgeConfiguration::VendorApplicationPath,
     "C:\\v.exe"},
    {"NetworkTimeout", "7", &BridgeConfiguration::NetworkTimeout, "7"},
    {"MEDICNumberDefault", "1", &BridgeConfiguration::MEDICNumberDefault, "1"},
    {"MEDICNumberLength", "9", &BridgeConfiguration::MEDICNumberLength, "9"},
    {"MEDICNumberValidList", "1,2", &BridgeConfiguration::MEDICNumberValidList, "1,2"},
    {"MEDICUseGuarantorAddress", "TRUE", &BridgeConfiguration::MEDICuseGuarantorAddress, "true"},
    {"HTTPSOrganizationID", "ORG", &BridgeConfiguration::HTTPSOrganizationID, "ORG"},
    {"HTTPSSubjectCN", "{TCP FORCE}", &BridgeConfiguration::HTTPSSubjectCN, "{TCP FORCE}"},
    {"HISDSN", "dsn", &BridgeConfiguration::HISDSN, "dsn"},
    {"HISBusinessUnit", "bu", &BridgeConfiguration::HISBusinessUnit, "bu"},
};

TEST_F(GetPatientDataTest, EveryBridgeParameterReachesItsSetting) {
    std::string parameters;
    for (const KeyCase& k : kKeys)
        parameters += "<" + std::string(k.key) + ">" + k.given + "</" + k.key + ">";
    std::string request =
        "<UserInfo><UserName>nurse</UserName></UserInfo>"
        "<SearchInfo><SearchOn>name</SearchOn><PatientID> 1-42 </PatientID>"
        "<CompanyName>7</CompanyName><LastName>VAN DYKE</LastName><FirstName>Ann</FirstName>"
        "<Social>123456789</Social></SearchInfo><BridgeParameters>" +
        parameters + "</BridgeParameters>";
    EXPECT_EQ(search(request), "") << "nothing sent, nothing recorded";
    for (const KeyCase& k : kKeys) EXPECT_EQ(config().*k.field, Variant(k.stored)) << k.key;
    EXPECT_EQ(config().SearchOn, "name");
    EXPECT_EQ(config().PatientID, Variant("1-42"));
    EXPECT_EQ(config().CompanyName, "7");
    EXPECT_EQ(config().LastName, "VANDYKE") << "spaces are removed from the whole section";
    EXPECT_EQ(config().FirstName, "Ann");
    EXPECT_EQ(config().Social, "123456789");
}

TEST_F(GetPatientDataTest, AbsentKeysTakeTheirDefaultsAndNoBridgeIsInvalid) {
    threadState().config.VendorFacility = "from an earlier request";
    EXPECT_EQ(search("<SearchInfo><SearchOn>PID</SearchOn><PatientID>42</PatientID></SearchInfo>"),
              "");
    EXPECT_TRUE(toolkit->showedText("Invalid bridge type requested..."));
    // Nothing of the earlier request stays; the common defaults themselves are
    // ConfigurationTest.CommonParametersNormaliseInPlace's.
    const std::pair<Variant BridgeConfiguration::*, Variant> defaults[] = {
        {&BridgeConfiguration::NetworkBridgeType, kInvalidMarker},
        {&BridgeConfiguration::AllowedRetries, kInvalidMarker},
        {&BridgeConfiguration::MEDICNumberLength, kInvalidMarker},
        {&BridgeConfiguration::VendorFacility, ""},
        {&BridgeConfiguration::DisplayDebugger, "true"},
        {&BridgeConfiguration::stripPaddedZeros, "false"},
    };
    for (const auto& [field, expected] : defaults) EXPECT_EQ(config().*field, expected);
}

TEST_F(GetPatientDataTest, TagsMatchInAnyCaseAndValuesLoseTheirSpaces) {
    search(
        "<searchinfo><searchon>pid</searchon><lastname> Smith </lastname>"
        "<PATIENTID> 42 </PATIENTID></searchinfo>"
        "<bridgeparameters><networkbridgetype>usb</networkbridgetype></bridgeparameters>");
    EXPECT_EQ(config().SearchOn, "pid");
    EXPECT_EQ(config().LastName, "Smith");
    EXPECT_EQ(config().PatientID, Variant("42"));
    EXPECT_EQ(config().NetworkBridgeType, Variant("USB"));
}

struct EndCase {
    const char* name;
    const char* parameters;
    const char* result;
    std::string search = "<SearchInfo><SearchOn>PID</SearchOn></SearchInfo>";
};

constexpr const char* kTcp =
    "<NetworkBridgeType>TCPIP</NetworkBridgeType><AllowedRetries>1</AllowedRetries>";

TEST_F(GetPatientDataTest, SearchesThatCannotRunEndWithoutContact) {
    const EndCase cases[] = {
        {"a serial port that cannot be set up ends as a search without an answer",
         "<NetworkBridgeType>SERIAL</NetworkBridgeType><AllowedRetries>2</AllowedRetries>",
         "<Result><RecordCount>0</RecordCount><Error>Error 328. No patient found or timeout "
         "waiting for response</Error></Result>"},
        {"a TCP/IP retry count that is no number ends at once",
         "<NetworkBridgeType>TCPIP</NetworkBridgeType><AllowedRetries>x</AllowedRetries>", ""},
        {"a timer of 0 ms would spin",
         "<NetworkBridgeType>TCPIP</NetworkBridgeType><AllowedRetries>1</AllowedRetries>"
         "<TimeDelay>0</TimeDelay>",
         "<Result><RecordCount>0</RecordCount><Error>ORVEL Parameter: TimeDelay must be a whole "
         "number of milliseconds from 1 to 2147483647, not \"0\"</Error></Result>"},
        // The section reaches the vendor as it stands: a CR LF would split it into lines.
        {"a line end in a last name", kTcp,
         "<Result><RecordCount>0</RecordCount><Error>ORVEL Parameter: LastName contains a control "
         "character (code 13)</Error></Result>",
         "<SearchInfo><SearchOn>NAME</SearchOn><LastName>DOE\r\nX</LastName></SearchInfo>"},
        {"an escape in a social security number", kTcp,
         "<Result><RecordCount>0</RecordCount><Error>ORVEL Parameter: Social contains a control "
         "character (code 27)</Error></Result>",
         "<SearchInfo><SearchOn>SSN</SearchOn><Social>123\x1b[2J</Social></SearchInfo>"},
        {"a delete in an element the component does not read", kTcp,
         "<Result><RecordCount>0</RecordCount><Error>ORVEL Parameter: BirthDate contains a "
         "control character (code 127)</Error></Result>",
         "<SearchInfo><SearchOn>PID</SearchOn><BirthDate>1960\x7f</BirthDate></SearchInfo>"},
        {"a request over 1 MiB", kTcp,
         "<Result><RecordCount>0</RecordCount><Error>ORVEL Parameter: the request is larger than "
         "1048576 bytes</Error></Result>",
         "<SearchInfo><SearchOn>NAME</SearchOn><LastName>" + std::string(1024 * 1024, 'A') +
             "</LastName></SearchInfo>"},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The previous search's result and found flag must not come back.
        threadState().enhancedResult = "<Result><Patient>ANOTHER</Patient></Result>";
        threadState().patientFound = true;
        EXPECT_EQ(search(c.search + "<BridgeParameters><Debug>false</Debug>" + c.parameters +
                         "</BridgeParameters>"),
                  c.result);
        EXPECT_FALSE(threadState().patientFound);
        comm.closeEnhancedBridgeConnection();
    }
}

// The cases are data: tests/component/data/search-requests.txt.
TEST_F(GetPatientDataTest, SearchRequestsCarryTheIndexAndTheCompany) {
    std::ifstream in(TRELLYBRIDGE_TEST_DATA "/component/data/search-requests.txt");
    std::vector<std::map<std::string, std::string>> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = std::min(line.find(' '), line.size());
        if (line.starts_with("case ")) cases.emplace_back();
        ASSERT_FALSE(cases.empty()) << line;
        cases.back()[line.substr(0, space)] = line.substr(std::min(space + 1, line.size()));
    }
    ASSERT_GE(cases.size(), 14u);
    for (std::map<std::string, std::string>& c : cases) {
        SCOPED_TRACE(c["case"]);
        BridgeConfiguration config;
        config.SearchOn = c["SearchOn"];
        config.PatientID = c["PatientID"];
        config.LastName = c["LastName"];
        config.FirstName = c["FirstName"];
        config.Social = c["Social"];
        config.CompanyName = c["CompanyName"];
        config.MEDICNumberLength = c["MEDICNumberLength"];
        config.MEDICNumberDefault = c["MEDICNumberDefault"];
        session::SearchRequest built = session::buildSearchRequest(config, c["section"]);
        EXPECT_EQ(built.text, c["request"]);
        EXPECT_EQ(session::buildSearchRequest(config, c["section"]).text, built.text)
            << "built again from the same section, the request is the same";
    }
}

struct ResultCase {
    const char* name;
    const char* answer;
    const char* error;
    const char* result;
};

TEST_F(GetPatientDataTest, AnswersBecomeResults) {
    const ResultCase cases[] = {
        {"the element alone, in any case",
         "junk<result><transactionid>1</transactionid>"
         "<PATIENT>x</PATIENT></result>junk",
         "",
         "<result><transactionid>1</transactionid><RecordCount>1</RecordCount><PATIENT>x"
         "</PATIENT></result>"},
        {"no result, an error", "BUSY",
         "Error 328. No patient found or timeout waiting for response",
         "<Result><Message>BUSY</Message><Error>Error 328. No patient found or timeout waiting for "
         "response</Error></Result>"},
    };
    for (const ResultCase& c : cases)
        EXPECT_EQ(session::enhancedResultFor(c.answer, c.error), c.result) << c.name;
}

}  // namespace
}  // namespace trellybridge
