#include <gtest/gtest.h>

#include "common/ThreadState.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

class GetPatientTest : public testing::TestEnvironment {
protected:
    GetPatientArguments hl7OverTcp() {
        GetPatientArguments a;
        a.PatientID = "7-42";
        a.NetworkBridgeType = "TCPIP";
        a.VendorFormatType = "HL7";
        a.AllowedRetries = "2";
        a.DisplayProperties = "false";
        a.DisplayDebugger = "false";
        a.MEDICNumberDefault = "1";
        a.MEDICNumberValidList = "1";
        return a;
    }
    TrellyBridgeComm comm;
};

TEST_F(GetPatientTest, CompanyNumberErrorsEndTheRequestBeforeTheWindow) {
    comm.put_ErrorCodes("earlier");
    EXPECT_EQ(comm.GetPatient(hl7OverTcp()), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 0);
    EXPECT_EQ(comm.get_ErrorCodes(), Variant("earlier")) << "nothing is published";
    EXPECT_NE(threadState().errorList.find("ORVEL Parameter: 7 is not a valid company number"),
              std::string::npos);

    threadState() = ThreadState{};
    GetPatientArguments missing = hl7OverTcp();
    missing.PatientID = "-42";
    EXPECT_EQ(comm.GetPatient(missing), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 0);
    EXPECT_NE(threadState().errorList.find("id=\"311\""), std::string::npos);
}

TEST_F(GetPatientTest, NonNumericRetriesForTcpEndTheRequestSilently) {
    GetPatientArguments a = hl7OverTcp();
    a.PatientID = "1-42";
    a.AllowedRetries = Variant();
    EXPECT_EQ(comm.GetPatient(a), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 0);
    EXPECT_EQ(threadState().errorList, "");
}

TEST_F(GetPatientTest, LeftoverFoundFlagDoesNotReportSuccess) {
    threadState().patientFound = true;  // a host that never called closeConnection
    EXPECT_EQ(comm.GetPatient(hl7OverTcp()), Variant(false));
}

TEST_F(GetPatientTest, RunsTheWindowAndPublishesWhenSettingsPass) {
    GetPatientArguments a = hl7OverTcp();
    a.PatientID = "123";
    a.NetworkBridgeType = "NOWHERE";
    a.SerialTimeout = "1";
    a.TimeDelay = "10";
    comm.put_p1PatientLastName("stale");
    EXPECT_EQ(comm.GetPatient(a), Variant(false));
    EXPECT_EQ(toolkit->modalRuns, 1);
    EXPECT_EQ(threadState().config.PatientID, Variant("1-123"));
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("")) << "ReturnPatient ran";
}

TEST_F(GetPatientTest, EmptyArgumentsNeverRaise) {
    GetPatientArguments empty;
    empty.TimeDelay = "10";
    empty.SerialTimeout = "1";
    EXPECT_EQ(comm.GetPatient(empty), Variant(false));
}

struct PagesCase {
    const char* bridge;
    const char* format;
    const char* vendor;
    std::vector<std::string> pages;
};

TEST_F(GetPatientTest, PropertyPagesAppearInOrder) {
    const PagesCase cases[] = {
        {"TCPIP", "HL7", "X", {"frmCommonPropertyPage", "frmMEDICProperties", "frmTCPTest"}},
        {"VENDOR",
         "STANDARD",
         "HIS",
         {"frmCommonPropertyPage", "frmNetworkProperties", "frmHISProperties"}},
        {"SERIAL",
         "SCAN",
         "X",
         {"frmCommonPropertyPage", "frmSerialPropertyPage", "frmMoreSerialProperties"}},
        {"HTTPS",
         "XML",
         "X",
         {"frmCommonPropertyPage", "frmNetworkProperties", "frmHTTPSProperties"}},
        {"FOLDERS", "XML", "X", {"frmCommonPropertyPage", "frmNetworkProperties"}},
    };
    for (const PagesCase& c : cases) {
        SCOPED_TRACE(c.bridge);
        toolkit->pagesShown.clear();
        GetPatientArguments a;
        a.PatientID = "5";
        a.NetworkBridgeType = c.bridge;
        a.VendorFormatType = c.format;
        a.VendorName = c.vendor;
        a.AllowedRetries = "0";
        a.NetworkTimeout = "0";
        a.SerialTimeout = "0";
        a.TimeDelay = "1";
        a.DisplayDebugger = "false";
        comm.GetPatient(a);
        EXPECT_EQ(toolkit->pagesShown, c.pages);
    }
    toolkit->pagesShown.clear();
    GetPatientArguments hidden = hl7OverTcp();
    comm.GetPatient(hidden);
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
