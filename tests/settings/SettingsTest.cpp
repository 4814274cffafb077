#include <gtest/gtest.h>

#include "common/ThreadState.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class SettingsTest : public testing::TestEnvironment {};

TEST_F(SettingsTest, RestoreOperationsWriteTheirGroups) {
    BridgeConfiguration c;
    SessionState session;
    session.localIP = "1.2.3.4";
    testing::restorePageDefaults(c);
    // A value or two from each group, not the whole list again.
    const std::pair<const Variant*, const char*> expected[] = {
        {&c.NetworkBridgeType, "SERIAL"},
        {&c.VendorRequestTag, "ACCT="},
        {&c.EOLCharacter, "13,10"},
        {&c.LogInsuranceEntries, ""},
        {&c.MEDICNumberValidList, "Item1,Item2,Item3,Item4"},
        {&c.HISBusinessUnit, "SJC"},
        {&c.HTTPSSubjectCN, ""},
        {&c.VendorResultsPath, "c:\\vendor\\patient.dat"},
        {&c.NetworkTimeout, "5"},
        {&c.CommPort, "2"},
        {&c.EOF_, "false"},
        {&c.InBufferSize, "1024"},
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

}  // namespace
}  // namespace trellybridge
