#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

#include "SampleRequest.h"
#include "common/Errors.h"
#include "component/LastRequest.h"
#include "component/RequestPreparation.h"
#include "platform/CancelSignal.h"
#include "session/RequestRun.h"
#include "session/SearchRequest.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class GetPatientTest : public testing::TestEnvironment {
protected:
    GetPatientArguments hl7OverTcp() {
        GetPatientArguments a = vendorsim::sampleRequest("7-42", "TCPIP", "HL7");
        a.MEDICNumberDefault = "1";
        a.MEDICNumberValidList = "1";
        return a;
    }
    // As above, for a bridge that names no transport: the session runs and finds nothing.
    GetPatientArguments hl7ToNowhere(const char* patientId) {
        GetPatientArguments a = hl7OverTcp();
        a.PatientID = patientId;
        a.NetworkBridgeType = "NOWHERE";
        a.SerialTimeout = "1";
        a.TimeDelay = "10";
        return a;
    }
    TrellyBridgeComm comm;
};

// The error list stays silent in most of these; the failure properties never are. Those
// refused before the window publish nothing.
TEST_F(GetPatientTest, EveryRequestThatEndsSaysWhyInTheFailureProperties) {
    // The change to the request; the start of FailureReason; the progress windows run; whether
    // ErrorCodes is replaced; a part of the error list ("" when it must stay empty).
    using Row = std::tuple<const char*, std::function<void(GetPatientArguments&)>, std::string, int,
                           bool, std::string>;
    const Row cases[] = {
        {"company number refused", [](GetPatientArguments&) {},
         "the request was not sent: the company number of PatientID 7-42 is not valid", 0, false,
         "ORVEL Parameter: 7 is not a valid company number"},
        {"no retry count", [](GetPatientArguments& a) { a.AllowedRetries = Variant(); },
         "the request was not sent: AllowedRetries is not set", 0, false, ""},
        {"unknown bridge", [this](GetPatientArguments& a) { a = hl7ToNowhere("42"); },
         "the request was not sent: NetworkBridgeType NOWHERE is not SERIAL, TCPIP", 1, true, ""},
        {"no bridge",
         [this](GetPatientArguments& a) {
             a = hl7ToNowhere("42");
             a.NetworkBridgeType = Variant();
         },
         "the request was not sent: NetworkBridgeType is not set", 1, true, ""},
    };
    for (const Row& row : cases) {
        onNewThread([&] {
            const auto& [name, change, reason, windows, published, errorList] = row;
            SCOPED_TRACE(name);
            lastRequest().patientFound = true;  // a host that never called closeConnection
            toolkit->modalRuns = 0;
            comm.put_ErrorCodes("earlier");
            GetPatientArguments a = hl7OverTcp();
            change(a);
            EXPECT_EQ(comm.GetPatient(a), Variant(false));
            EXPECT_TRUE(comm.get_FailureReason().toText().starts_with(reason))
                << comm.get_FailureReason().toText();
            EXPECT_EQ(comm.get_FailureKind(), Variant("settings"));
            EXPECT_NE(comm.get_FailureNotes().toText().find(reason), std::string::npos);
            EXPECT_EQ(toolkit->modalRuns, windows);
            EXPECT_EQ(comm.get_ErrorCodes() == Variant("earlier"), !published)
                << "ReturnPatient ran";
            EXPECT_TRUE(errorList.empty()
                            ? lastRequest().errorList.empty()
                            : lastRequest().errorList.find(errorList) != std::string::npos)
                << lastRequest().errorList;
        });
    }
    EXPECT_TRUE(toolkit->pagesShown.empty()) << "no pages where DisplayProperties is false";
}

TEST_F(GetPatientTest, UnusableIdentifiersAndSettingsAreRefusedBeforeTheSession) {
    writeDriveCFile("outside/secret.dat", "P_ACT=1\rP_LNM=SECRET\r");
    const struct {
        const char* bridge;
        std::string patientId;
        std::string description;  // why it is refused
        std::string setting{};    // NAME=VALUE the row sets
    } cases[] = {
        {"FOLDERS", "../outside/secret",
         "PatientID contains \"/\", which cannot be part of a results file name"},
        {"FOLDERS", "..\\outside\\secret",
         "PatientID contains \"\\\", which cannot be part of a results file name"},
        {"FOLDERS", "..", "PatientID \"..\" cannot name a results file"},
        {"FOLDERS", ".", "PatientID \".\" cannot name a results file"},
        {"FOLDERS", std::string("123\0.x", 6), "PatientID contains a control character (code 0)"},
        {"TCPIP", "12\r\n34", "PatientID contains a control character (code 13)"},
        {"SERIAL", "12\x7f", "PatientID contains a control character (code 127)"},
        {"NOWHERE", "\x1b[2J", "PatientID contains a control character (code 27)"},
        // Settings that can never work (unset ones keep their described handling).
        {"SERIAL", "12345", "AllowedRetries must be a whole number of 0 or more, not \"nan\"",
         "AllowedRetries=nan"},
        {"HTTPS", "12345",
         "VendorApplicationPath must be the web service's https:// address, not \"http://x/\"",
         "VendorApplicationPath=http://x/"},
    };
    for (const auto& row : cases)
        onNewThread([&] {
            const auto& [bridge, patientId, description, setting] = row;
            SCOPED_TRACE(std::string(bridge) + " " + description);
            toolkit->progressLines.clear();
            GetPatientArguments a = vendorsim::sampleRequest(patientId, bridge, "SCAN");
            a.VendorResultsPath = "c:\\results\\";
            a.VendorRequestPath = "c:\\request.inq";
            a.HTTPSSubjectCN = "{PURGE PAT DATA}";
            a.AllowedRetries = "1";
            a.NetworkTimeout = a.SerialTimeout = "0";
            a.TimeDelay = "1";
            if (size_t equals = setting.find('='); equals != std::string::npos)
                a.at(*GetPatientArguments::find(setting.substr(0, equals))) =
                    setting.substr(equals + 1);
            comm.put_ErrorDescriptions("earlier");
            EXPECT_EQ(comm.GetPatient(a), Variant(false));
            EXPECT_EQ(toolkit->modalRuns, 0) << "no session, no transport";
            EXPECT_EQ(comm.get_ErrorDescriptions().toText(),
                      errorElement(errc::InvalidParameter, "ORVEL Parameter: " + description));
            EXPECT_EQ(lastRequest().failures.text(), description + " (1 attempt)");
            EXPECT_TRUE(toolkit->showedLine("Request not sent: " + description + "\r\n"));
        });
    EXPECT_EQ(readDriveCFile("outside/secret.dat"), "P_ACT=1\rP_LNM=SECRET\r")
        << "neither read nor purged";
    EXPECT_FALSE(std::filesystem::exists(onDriveC("request.inq")));

    // The default company goes in front of the identifier: checked again after that (on
    // this thread, which none of the requests above ran on).
    GetPatientArguments medic = hl7OverTcp();
    medic.NetworkBridgeType = "FOLDERS";
    medic.PatientID = "42";
    medic.MEDICNumberDefault = "../x";
    medic.MEDICNumberValidList = "../X";
    EXPECT_EQ(comm.GetPatient(medic), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 0);
    EXPECT_NE(lastRequest().errorList.find("PatientID contains \"/\""), std::string::npos);

    // Where the identifier names no file, a slash is just a character of it.
    comm.GetPatient(hl7ToNowhere("1-a/b"));
    EXPECT_EQ(toolkit->modalRuns, 1);
}

// A request a silent vendor would keep for its ten attempts ends at the next turn of its
// loop when another thread cancels it, or when its deadline passes, and says which.
TEST_F(GetPatientTest, CancelFromAnotherThreadOrADeadlineEndsTheRequest) {
    const struct {
        const char* name;
        bool cancelled;  // by the vendor's thread, once the request is in
        int deadlineMs;
        const char* note;
    } cases[] = {
        {"cancelled", true, 0, "the request was cancelled"},
        {"deadline", false, 2500, "the request did not end within its deadline of 2500 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::CancelSignal cancel;
        testing::ScriptedPeer silent([&](sockets::Socket connection) {
            testing::readRequest(connection);
            if (c.cancelled) cancel.raise();
            testing::readRequest(connection, 10000);  // until the request lets go
        });
        GetPatientArguments a = hl7OverTcp();
        a.PatientID = "1-42";
        a.TCPRemoteHostName = "127.0.0.1";
        a.TCPRemotePorts = std::to_string(silent.port());
        a.AllowedRetries = "10";
        RequestState state;
        ASSERT_EQ(configuration::prepareRequest(state, a), configuration::Prepared::Ready);
        session::RequestOptions options;
        options.cancel = &cancel;
        options.deadlineMs = c.deadlineMs;
        int started = clock.tickCount();
        session::Outcome outcome = session::runRequest(std::move(state), options);
        EXPECT_FALSE(outcome.found());
        EXPECT_EQ(outcome.failures().notes().back().what, c.note);
        EXPECT_LT(clock.tickCount() - started, 5000) << "long before its attempts ran out";
    }
}

TEST_F(GetPatientTest, PropertyPagesAppearInOrder) {
    // The bridge, the format, the vendor, the pages after the common page.
    const std::tuple<const char*, const char*, const char*, std::vector<std::string>> cases[] = {
        {"TCPIP", "HL7", "X", {"frmMEDICProperties", "frmTCPTest"}},
        {"VENDOR", "STANDARD", "HIS", {"frmNetworkProperties", "frmHISProperties"}},
        {"SERIAL", "SCAN", "X", {"frmSerialPropertyPage", "frmMoreSerialProperties"}},
        {"HTTPS", "XML", "X", {"frmNetworkProperties", "frmHTTPSProperties"}},
        {"FOLDERS", "XML", "X", {"frmNetworkProperties"}},
    };
    for (const auto& [bridge, format, vendor, after] : cases) {
        SCOPED_TRACE(bridge);
        toolkit->pagesShown.clear();
        GetPatientArguments a = vendorsim::sampleRequest("5", bridge, format);
        a.VendorName = vendor;
        a.DisplayProperties = "true";
        a.AllowedRetries = "0";
        a.NetworkTimeout = a.SerialTimeout = "0";
        a.TimeDelay = "1";
        comm.GetPatient(a);
        std::vector<std::string> pages = {"frmCommonPropertyPage"};
        pages.insert(pages.end(), after.begin(), after.end());
        EXPECT_EQ(toolkit->pagesShown, pages);
    }
}

TEST_F(GetPatientTest, DispatchCallTakesTheOptionalTimeDelay) {
    Variant result =
        comm.GetPatient("7-42", "TCPIP", "", "", "", "HL7", "", "", "", "", "2", "", "false",
                        "false", "", "", "", "", "", "", "", "", "", "1", "", "1", "", "", "", "",
                        "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "");
    EXPECT_EQ(result, Variant(false));
    EXPECT_EQ(lastRequest().config.TimeDelay, Variant("1000"));
}

// GetPatientData without a vendor: how the request is read into the settings, the search
// request and the result texts, and the searches that end before any contact.
class GetPatientDataTest : public testing::RequestFixture {
protected:
    const BridgeConfiguration& config() { return lastRequest().config; }
};

// Every BridgeParameters key, the renamed ones under their request names (tags match in
// any case): the key, the value given, the setting, the value stored after this path's
// normalisation. The bridge is one the enhanced window does not run, so the search ends
// without any contact.
using Settings = BridgeConfiguration;
const std::tuple<const char*, const char*, Variant Settings::*, const char*> kKeys[] = {
    {"networkbridgetype", "usb", &Settings::NetworkBridgeType, "USB"},
    {"VendorFacility", "LAB1", &Settings::VendorFacility, "LAB1"},
    {"VendorName", "medic", &Settings::VendorName, "MEDIC"},
    {"Debug", "FALSE", &Settings::DisplayDebugger, "false"},
    {"DisplayProperties", "False", &Settings::DisplayProperties, "false"},
    {"EOFCharacter", "28", &Settings::EOFCharacter, "28"},
    {"EOLCharacter", "13", &Settings::EOLCharacter, "13"},
    {"EOFRequest", "13,10", &Settings::EOFRequest, "13,10"},
    {"LogInsuranceEntries", "50", &Settings::LogInsuranceEntries, "50"},
    {"TimeDelay", "250", &Settings::TimeDelay, "250"},
    {"VendorRequestTag", "ACCT=", &Settings::VendorRequestTag, "ACCT="},
    {"VendorFormatType", "hl7", &Settings::VendorFormatType, "HL7"},
    {"VendorFormatVersion", "2.3", &Settings::VendorFormatVersion, "2.3"},
    {"TrimPaddingZeros", "TRUE", &Settings::stripPaddedZeros, "true"},
    {"CaseSensitivity", "True", &Settings::CaseSensitivity, "true"},
    {"AllowedRetries", "3", &Settings::AllowedRetries, "3"},
    {"ComPort", "2", &Settings::CommPort, "2"},
    {"InputLength", "0", &Settings::InputLength, "0"},
    {"DTR", "true", &Settings::DTR, "true"},
    {"InBufferSize", "1024", &Settings::InBufferSize, "1024"},
    {"RTS", "yes", &Settings::RTS, "false"},
    {"OutBufferSize", "512", &Settings::OutBufferSize, "512"},
    {"EOF", "TRUE", &Settings::EOF_, "true"},
    {"RThreshold", "1", &Settings::RThreshold, "1"},
    {"Handshaking", "0", &Settings::Handshaking, "0"},
    {"SThreshold", "0", &Settings::SThreshold, "0"},
    {"InputMode", "1", &Settings::InputMode, "1"},
    {"SerialTimeout", "4", &Settings::SerialTimeout, "4"},
    {"NullDiscard", "true", &Settings::NullDiscard, "true"},
    {"BitsPerSecond", "9600", &Settings::BPS, "9600"},
    {"DataBits", "8", &Settings::DataBits, "8"},
    {"Parity", "N", &Settings::Parity, "n"},
    {"StopBits", "1", &Settings::StopBits, "1"},
    {"FlowControl", "none", &Settings::FlowControl, "none"},
    {"TCPRemoteHostName", "vendor.example", &Settings::TCPRemoteHostName, "vendor.example"},
    {"TCPRemotePorts", "9991,9992", &Settings::TCPRemotePorts, "9991,9992"},
    {"NetworkRequestPath", "C:\\req.txt", &Settings::VendorRequestPath, "C:\\req.txt"},
    {"NetworkResultsPath", "C:\\res.txt", &Settings::VendorResultsPath, "C:\\res.txt"},
    {"VendorApplicationPath", "C:\\v.exe", &Settings::VendorApplicationPath, "C:\\v.exe"},
    {"NetworkTimeout", "7", &Settings::NetworkTimeout, "7"},
    {"MEDICNumberDefault", "1", &Settings::MEDICNumberDefault, "1"},
    {"MEDICNumberLength", "9", &Settings::MEDICNumberLength, "9"},
    {"MEDICNumberValidList", "1,2", &Settings::MEDICNumberValidList, "1,2"},
    {"MEDICUseGuarantorAddress", "TRUE", &Settings::MEDICuseGuarantorAddress, "true"},
    {"HTTPSOrganizationID", "ORG", &Settings::HTTPSOrganizationID, "ORG"},
    {"HTTPSSubjectCN", "{TCP FORCE}", &Settings::HTTPSSubjectCN, "{TCP FORCE}"},
    {"HISDSN", "dsn", &Settings::HISDSN, "dsn"},
    {"HISBusinessUnit", "bu", &Settings::HISBusinessUnit, "bu"},
};

TEST_F(GetPatientDataTest, EveryBridgeParameterReachesItsSetting) {
    std::string parameters;
    for (const auto& [key, given, field, stored] : kKeys)
        parameters += "<" + std::string(key) + ">" + given + "</" + key + ">";
    std::string request =
        "<UserInfo><UserName>nurse</UserName></UserInfo>"
        "<searchinfo><searchon>name</searchon><PATIENTID> 1-42 </PATIENTID>"
        "<CompanyName>7</CompanyName><LastName>VAN DYKE</LastName><FirstName>Ann</FirstName>"
        "<Social>123456789</Social></searchinfo><bridgeparameters>" +
        parameters + "</bridgeparameters>";
    EXPECT_EQ(search(request), "") << "nothing sent, nothing recorded";
    for (const auto& [key, given, field, stored] : kKeys)
        EXPECT_EQ(config().*field, Variant(stored)) << key;
    EXPECT_EQ(config().SearchOn, "name");
    EXPECT_EQ(config().PatientID, Variant("1-42"));
    EXPECT_EQ(config().CompanyName, "7");
    EXPECT_EQ(config().LastName, "VANDYKE") << "spaces are removed from the whole section";
    EXPECT_EQ(config().FirstName, "Ann");
    EXPECT_EQ(config().Social, "123456789");

    // A search without the keys keeps nothing of this one; the common defaults themselves are
    // ConfigurationTest.CommonParametersNormaliseInPlace's.
    EXPECT_EQ(search("<SearchInfo><SearchOn>PID</SearchOn></SearchInfo>"), "");
    EXPECT_EQ(config().NetworkBridgeType.toText(), kInvalidMarker);
    EXPECT_EQ(config().VendorFacility, Variant(""));
    EXPECT_EQ(config().DisplayDebugger, Variant("true"));
    EXPECT_EQ(config().stripPaddedZeros, Variant("false"));
}

struct EndCase {
    const char* name;
    std::string parameters;
    std::string result;
    std::string search = "<SearchInfo><SearchOn>PID</SearchOn></SearchInfo>";
};

constexpr const char* kTcp =
    "<NetworkBridgeType>TCPIP</NetworkBridgeType><AllowedRetries>1</AllowedRetries>";

std::string noRecord(const std::string& error) {
    return "<Result><RecordCount>0</RecordCount><Error>" + error + "</Error></Result>";
}

TEST_F(GetPatientDataTest, SearchesThatCannotRunEndWithoutContact) {
    const EndCase cases[] = {
        {"a serial port that cannot be set up ends as a search without an answer",
         "<NetworkBridgeType>SERIAL</NetworkBridgeType><AllowedRetries>2</AllowedRetries>",
         noRecord("Error 328. No patient found or timeout waiting for response")},
        {"a retry count that is no number is refused",
         "<NetworkBridgeType>TCPIP</NetworkBridgeType><AllowedRetries>x</AllowedRetries>",
         noRecord(
             "ORVEL Parameter: AllowedRetries must be a whole number of 0 or more, not \"x\"")},
        {"a timer of 0 ms would spin", kTcp + std::string("<TimeDelay>0</TimeDelay>"),
         noRecord("ORVEL Parameter: TimeDelay must be a whole number of milliseconds from 1 to "
                  "2147483647, not \"0\"")},
        // The section reaches the vendor as it stands: a CR LF would split it into lines.
        {"a line end in a last name", kTcp,
         noRecord("ORVEL Parameter: LastName contains a control character (code 13)"),
         "<SearchInfo><SearchOn>NAME</SearchOn><LastName>DOE\r\nX</LastName></SearchInfo>"},
        // White space between elements is dropped; any other control character is refused.
        {"a line of its own between two elements", kTcp,
         noRecord("ORVEL Parameter: the text after </SearchOn> contains a control character "
                  "(code 13)"),
         "<SearchInfo>\r\n<SearchOn>NAME</SearchOn>\r\nMSH|EVIL\r\n<LastName>DOE</LastName>"
         "</SearchInfo>"},
        {"a line end inside a tag", kTcp,
         noRecord("ORVEL Parameter: a tag contains a control character (code 10)"),
         "<SearchInfo><SearchOn>NAME</SearchOn><Last\nName>DOE</Last\nName></SearchInfo>"},
        {"a delete in an element the component does not read", kTcp,
         noRecord("ORVEL Parameter: BirthDate contains a control character (code 127)"),
         "<SearchInfo><SearchOn>PID</SearchOn><BirthDate>1960\x7f</BirthDate></SearchInfo>"},
        {"a request over 1 MiB", kTcp,
         noRecord("ORVEL Parameter: the request is larger than 1048576 bytes"),
         "<SearchInfo><SearchOn>NAME</SearchOn><LastName>" +
             std::string(std::size_t{1024} * 1024, 'A') + "</LastName></SearchInfo>"},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The previous search's result and found flag must not come back.
        lastRequest().enhancedResult = "<Result><Patient>ANOTHER</Patient></Result>";
        lastRequest().patientFound = true;
        EXPECT_EQ(search(c.search + "<BridgeParameters><Debug>false</Debug>" + c.parameters +
                         "</BridgeParameters>"),
                  c.result);
        EXPECT_FALSE(lastRequest().patientFound);
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
        EXPECT_EQ(session::buildSearchRequest(config, c["section"]).text, c["request"]);
    }
}

TEST_F(GetPatientDataTest, AnswersBecomeResults) {
    // What the row shows, the answer, the error, the result.
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"the element alone, in any case",
         "junk<result><transactionid>1</transactionid>"
         "<PATIENT>x</PATIENT></result>junk",
         "",
         "<result><transactionid>1</transactionid><RecordCount>1</RecordCount><PATIENT>x"
         "</PATIENT></result>"},
        {"without a transaction the count comes first", "<Result><Patient>A</Patient></Result>", "",
         "<Result><RecordCount>1</RecordCount><Patient>A</Patient></Result>"},
        // One count, the component's: of Patient elements, attributes or not, none in an Error.
        {"the vendor's counts replaced",
         "<Result><RecordCount>99</RecordCount><TransactionID>2</TransactionID><recordcount/>"
         "<Patient id=\"7\">A</Patient><PatientID>8</PatientID><Error><Patient>B</Patient>"
         "</Error></Result>",
         "",
         "<Result><TransactionID>2</TransactionID><RecordCount>1</RecordCount><Patient id=\"7\">A"
         "</Patient><PatientID>8</PatientID><Error><Patient>B</Patient></Error></Result>"},
        {"no result, an error", "BUSY",
         "Error 328. No patient found or timeout waiting for response",
         "<Result><Message>BUSY</Message><Error>Error 328. No patient found or timeout waiting for "
         "response</Error></Result>"},
    };
    for (const auto& [name, answer, error, result] : cases) {
        EXPECT_EQ(session::enhancedResultFor(answer, error), result) << name;
        EXPECT_EQ(session::listedPatients(result), std::string(name).starts_with("no") ? 0 : 1);
    }
}

}  // namespace
}  // namespace trellybridge
