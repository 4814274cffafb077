#include <gtest/gtest.h>

#include "common/ThreadState.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class SettingsTest : public testing::TestEnvironment {};

TEST_F(SettingsTest, LastGoodPortIsKeptInTheStore) {
    EXPECT_EQ(settings::getProperty("LastGoodPort"), "");
    settings::saveProperty("LastGoodPort", "9992");
    EXPECT_EQ(settings::getProperty("LastGoodPort"), "9992");
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), "9992");
}

TEST_F(SettingsTest, RestoreOperationsWriteTheirGroups) {
    BridgeConfiguration c;
    SessionState session;
    session.localIP = "1.2.3.4";
    settings::restoreCommonDefaults(c);
    settings::restoreMEDICDefaults(c);
    settings::restoreHISDefaults(c);
    settings::restoreHTTPSDefaults(c);
    settings::restoreNetworkDefaults(c);
    settings::restoreSerialDefaults(c);
    settings::restoreMoreSerialDefaults(c);
    const std::pair<const Variant*, const char*> expected[] = {
        {&c.NetworkBridgeType, "SERIAL"},
        {&c.VendorFacility, "CLIENT"},
        {&c.VendorName, "STANDARD"},
        {&c.VendorRequestTag, "ACCT="},
        {&c.VendorFormatType, "STANDARD"},
        {&c.VendorFormatVersion, "2.0"},
        {&c.stripPaddedZeros, "false"},
        {&c.EOFCharacter, "126"},
        {&c.EOLCharacter, "13,10"},
        {&c.EOFRequest, "13,28"},
        {&c.AllowedRetries, "2"},
        {&c.DisplayProperties, "true"},
        {&c.DisplayDebugger, "true"},
        {&c.InsuranceOverrides, "false"},
        {&c.CaseSensitivity, "false"},
        {&c.LogInsuranceEntries, ""},
        {&c.MEDICNumberDefault, "2"},
        {&c.MEDICNumberLength, "10"},
        {&c.MEDICNumberValidList, "Item1,Item2,Item3,Item4"},
        {&c.MEDICuseGuarantorAddress, "false"},
        {&c.HISDSN, "skljdf"},
        {&c.HISBusinessUnit, "SJC"},
        {&c.HTTPSOrganizationID, ""},
        {&c.HTTPSSubjectCN, ""},
        {&c.VendorApplicationPath, "c:\\winnt\\notepad.exe"},
        {&c.VendorRequestPath, "c:\\vendor\\request.inq"},
        {&c.VendorResultsPath, "c:\\vendor\\patient.dat"},
        {&c.NetworkTimeout, "5"},
        {&c.CommPort, "2"},
        {&c.DTR, "false"},
        {&c.RTS, "false"},
        {&c.EOF_, "false"},
        {&c.Handshaking, "none"},
        {&c.InputMode, "text"},
        {&c.NullDiscard, "false"},
        {&c.BPS, "9600"},
        {&c.DataBits, "8"},
        {&c.Parity, "none"},
        {&c.StopBits, "1"},
        {&c.FlowControl, "none"},
        {&c.InputLength, "1"},
        {&c.InBufferSize, "1024"},
        {&c.OutBufferSize, "512"},
        {&c.RThreshold, "1"},
        {&c.SThreshold, "1"},
        {&c.SerialTimeout, "5"},
    };
    for (const auto& [field, value] : expected) EXPECT_EQ(*field, Variant(value)) << value;

    settings::restoreTcpDefaults(c, session);
    EXPECT_EQ(c.TCPRemotePorts, Variant("9991"));
    EXPECT_EQ(c.SerialTimeout, Variant("8"))
        << "the TCP group's time-out differs from the serial one";
    EXPECT_EQ(c.TCPRemoteHostName, Variant(""));
    EXPECT_EQ(session.localIP, "");
}

TEST_F(SettingsTest, PathHelpers) {
    EXPECT_EQ(settings::fileNameOf("c:\\vendor\\patient.dat"), "patient.dat");
    EXPECT_EQ(settings::fileNameOf("patient.dat"), "patient.dat");
    EXPECT_EQ(settings::folderPartOf("c:\\vendor\\patient.dat"), "c:\\vendor\\");
    EXPECT_EQ(settings::folderPartOf("patient.dat"), "");
    EXPECT_EQ(settings::fileNameOf("/opt/vendor/answer"), "answer");
    EXPECT_EQ(settings::folderPartOf("/opt/vendor/answer"), "/opt/vendor/");
    writeDriveCFile("vendor/patient.dat", "x");
    std::filesystem::create_directories(driveC / "vendor" / "Sub");
    EXPECT_TRUE(settings::folderContains("c:\\vendor", "PATIENT.DAT"));
    EXPECT_TRUE(settings::folderContains(" c:\\vendor\\ ", "sub"));
    EXPECT_FALSE(settings::folderContains("c:\\vendor", "other.dat"));
    EXPECT_FALSE(settings::folderContains("c:\\missing", "patient.dat"));
}

}  // namespace
}  // namespace trellybridge
