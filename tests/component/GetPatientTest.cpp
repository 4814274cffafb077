#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "SampleRequest.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/ThreadState.h"
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

TEST_F(GetPatientTest, RunsTheWindowAndPublishesWhenSettingsPass) {
    comm.put_p1PatientLastName("stale");
    EXPECT_EQ(comm.GetPatient(hl7ToNowhere("123")), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 1);
    EXPECT_EQ(threadState().config.PatientID, Variant("1-123"));
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("")) << "ReturnPatient ran";
}

struct FailurePropertiesCase {
    const char* name;
    std::function<void(GetPatientArguments&)> change;
    std::string reason;     // the start of FailureReason
    int windows;            // session windows run
    bool published;         // ErrorCodes replaced
    std::string errorList;  // a part of the error list; "" when it must stay empty
};

// The error list stays silent in most of these; the failure properties never are. Those
// refused before the window publish nothing.
TEST_F(GetPatientTest, EveryRequestThatEndsSaysWhyInTheFailureProperties) {
    const FailurePropertiesCase cases[] = {
        {"company number refused", [](GetPatientArguments&) {},
         "the request was not sent: the company number of PatientID 7-42 is not valid", 0, false,
         "ORVEL Parameter: 7 is not a valid company number"},
        {"no company number", [](GetPatientArguments& a) { a.PatientID = "-42"; },
         "the request was not sent: ", 0, false, "id=\"311\""},
        // A host that never called closeConnection.
        {"leftover found flag", [](GetPatientArguments&) { threadState().patientFound = true; },
         "the request was not sent: the company number", 0, false, "id=\"310\""},
        {"no retry count", [](GetPatientArguments& a) { a.AllowedRetries = Variant(); },
         "the request was not sent: AllowedRetries is not set", 0, false, ""},
        {"no retry count, the company valid",
         [](GetPatientArguments& a) {
             a.PatientID = "1-42";
             a.AllowedRetries = Variant();
         },
         "the request was not sent: AllowedRetries is not set", 0, false, ""},
        {"unusable time delay",
         [this](GetPatientArguments& a) {
             a = hl7ToNowhere("1-42");
             a.TimeDelay = "0";
         },
         "TimeDelay must be a whole number of milliseconds from 1 to 2147483647, not \"0\"", 0,
         true, "ORVEL Parameter: TimeDelay must be a whole number"},
        {"empty arguments", [](GetPatientArguments& a) { a = GetPatientArguments(); },
         "the request was not sent: ", 1, true, ""},
        {"unknown bridge", [this](GetPatientArguments& a) { a = hl7ToNowhere("42"); },
         "the request was not sent: NetworkBridgeType NOWHERE is not SERIAL, TCPIP", 1, true, ""},
        {"no bridge",
         [this](GetPatientArguments& a) {
             a = hl7ToNowhere("42");
             a.NetworkBridgeType = Variant();
         },
         "the request was not sent: NetworkBridgeType is not set", 1, true, ""},
    };
    for (const FailurePropertiesCase& c : cases) {
        SCOPED_TRACE(c.name);
        threadState() = ThreadState{};
        toolkit->modalRuns = 0;
        comm.put_ErrorCodes("earlier");
        GetPatientArguments a = hl7OverTcp();
        c.change(a);
        EXPECT_EQ(comm.GetPatient(a), Variant(false));
        EXPECT_TRUE(comm.get_FailureReason().toText().starts_with(c.reason))
            << comm.get_FailureReason().toText();
        EXPECT_EQ(comm.get_FailureKind(), Variant("settings"));
        EXPECT_NE(comm.get_FailureNotes().toText().find(c.reason), std::string::npos);
        EXPECT_EQ(toolkit->modalRuns, c.windows);
        if (!c.published) {
            EXPECT_EQ(comm.get_ErrorCodes(), Variant("earlier")) << "nothing is published";
        }
        EXPECT_TRUE(c.errorList.empty()
                        ? threadState().errorList.empty()
                        : threadState().errorList.find(c.errorList) != std::string::npos)
            << threadState().errorList;
    }
}

struct RefusalCase {
    const char* bridge;
    std::string patientId;
    std::string description;
};

TEST_F(GetPatientTest, UnusableIdentifiersAreRefusedBeforeTheSession) {
    writeDriveCFile("outside/secret.dat", "P_ACT=1\rP_LNM=SECRET\r");
    const RefusalCase cases[] = {
        {"FOLDERS", "../outside/secret",
         "PatientID contains \"/\", which cannot be part of a "
         "results file name"},
        {"FOLDERS", "..\\outside\\secret",
         "PatientID contains \"\\\", which cannot be part of "
         "a results file name"},
        {"FOLDERS", "..", "PatientID \"..\" cannot name a results file"},
        {"FOLDERS", ".", "PatientID \".\" cannot name a results file"},
        {"FOLDERS", std::string("123\0.x", 6), "PatientID contains a control character (code 0)"},
        {"TCPIP", "12\r\n34", "PatientID contains a control character (code 13)"},
        {"POLLING", "12\n", "PatientID contains a control character (code 10)"},
        {"SERIAL", "12\x7f", "PatientID contains a control character (code 127)"},
        {"NOWHERE", "\x1b[2J", "PatientID contains a control character (code 27)"},
    };
    for (const RefusalCase& k : cases) {
        SCOPED_TRACE(std::string(k.bridge) + " " + k.description);
        threadState() = ThreadState{};
        toolkit->progressLines.clear();
        GetPatientArguments a = vendorsim::sampleRequest(k.patientId, k.bridge, "SCAN");
        a.VendorResultsPath = "c:\\results\\";
        a.VendorRequestPath = "c:\\request.inq";
        a.HTTPSSubjectCN = "{PURGE PAT DATA}";
        a.AllowedRetries = "1";
        a.NetworkTimeout = a.SerialTimeout = "0";
        a.TimeDelay = "1";
        comm.put_ErrorDescriptions("earlier");
        EXPECT_EQ(comm.GetPatient(a), Variant(false));
        EXPECT_EQ(toolkit->modalRuns, 0) << "no session, no transport";
        EXPECT_EQ(comm.get_ErrorDescriptions().toText(),
                  errorElement(errc::InvalidParameter, "ORVEL Parameter: " + k.description));
        EXPECT_EQ(threadState().failures.text(), k.description + " (1 attempt)");
        EXPECT_TRUE(toolkit->showedLine("Request not sent: " + k.description + "\r\n"));
    }
    EXPECT_EQ(readDriveCFile("outside/secret.dat"), "P_ACT=1\rP_LNM=SECRET\r")
        << "neither read nor purged";
    EXPECT_FALSE(std::filesystem::exists(onDriveC("request.inq")));

    // The default company goes in front of the identifier: checked again after that.
    threadState() = ThreadState{};
    GetPatientArguments medic = hl7OverTcp();
    medic.NetworkBridgeType = "FOLDERS";
    medic.PatientID = "42";
    medic.MEDICNumberDefault = "../x";
    medic.MEDICNumberValidList = "../X";
    EXPECT_EQ(comm.GetPatient(medic), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 0);
    EXPECT_NE(threadState().errorList.find("PatientID contains \"/\""), std::string::npos);

    // Where the identifier names no file, a slash is just a character of it.
    comm.GetPatient(hl7ToNowhere("1-a/b"));
    EXPECT_EQ(toolkit->modalRuns, 1);
}

struct PagesCase {
    const char* bridge;
    const char* format;
    const char* vendor;
    std::vector<std::string> pages;  // after the common page
};

TEST_F(GetPatientTest, PropertyPagesAppearInOrder) {
    const PagesCase cases[] = {
        {"TCPIP", "HL7", "X", {"frmMEDICProperties", "frmTCPTest"}},
        {"VENDOR", "STANDARD", "HIS", {"frmNetworkProperties", "frmHISProperties"}},
        {"SERIAL", "SCAN", "X", {"frmSerialPropertyPage", "frmMoreSerialProperties"}},
        {"HTTPS", "XML", "X", {"frmNetworkProperties", "frmHTTPSProperties"}},
        {"FOLDERS", "XML", "X", {"frmNetworkProperties"}},
    };
    for (const PagesCase& c : cases) {
        SCOPED_TRACE(c.bridge);
        toolkit->pagesShown.clear();
        GetPatientArguments a = vendorsim::sampleRequest("5", c.bridge, c.format);
        a.VendorName = c.vendor;
        a.DisplayProperties = "true";
        a.AllowedRetries = "0";
        a.NetworkTimeout = a.SerialTimeout = "0";
        a.TimeDelay = "1";
        comm.GetPatient(a);
        std::vector<std::string> pages = {"frmCommonPropertyPage"};
        pages.insert(pages.end(), c.pages.begin(), c.pages.end());
        EXPECT_EQ(toolkit->pagesShown, pages);
    }
    toolkit->pagesShown.clear();
    comm.GetPatient(hl7OverTcp());
    EXPECT_TRUE(toolkit->pagesShown.empty());
}

TEST_F(GetPatientTest, DispatchCallTakesTheOptionalTimeDelay) {
    Variant result =
        comm.GetPatient("7-42", "TCPIP", "", "", "", "HL7", "", "", "", "", "2", "", "false",
                        "false", "", "", "", "", "", "", "", "", "", "1", "", "1", "", "", "", "",
                        "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "");
    EXPECT_EQ(result, Variant(false));
    EXPECT_EQ(threadState().config.TimeDelay, Variant("1000"));
}

}  // namespace
}  // namespace trellybridge
