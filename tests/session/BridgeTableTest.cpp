// The table of bridges: every kind has one name and one factory, and each factory makes
// a bridge of its own.
#include <gtest/gtest.h>

#include <set>
#include <typeindex>

#include "session/Bridges.h"
#include "session/SerialLine.h"

namespace trellybridge {
namespace {

TEST(BridgeTableTest, EveryKindHasOneNameAndOneBridgeOfItsOwn) {
    std::set<BridgeKind> named, made;
    std::set<int> pageRows;
    std::set<std::type_index> types{typeid(*session::makeInvalidBridge())};
    BridgeConfiguration config;
    for (const BridgeName& bridge : kBridgeNames) {
        config.NetworkBridgeType = bridge.name;
        EXPECT_EQ(bridgeKind(config), bridge.kind) << bridge.name;
        EXPECT_TRUE(named.insert(bridge.kind).second) << bridge.name << " named twice";
        pageRows.insert(bridge.pageRow);
    }
    for (const session::BridgeRow& row : session::kBridgeTable) {
        EXPECT_TRUE(made.insert(row.kind).second);
        std::unique_ptr<session::BridgeSession> bridge = session::makeBridge(row.kind);
        ASSERT_NE(bridge, nullptr);
        EXPECT_TRUE(types.insert(typeid(*bridge)).second) << "a bridge of another kind's type";
        EXPECT_EQ(session::serialControl(bridge.get()) != nullptr, row.kind == BridgeKind::Serial);
    }
    EXPECT_EQ(named, made) << "a named bridge without a factory, or the reverse";
    EXPECT_EQ(named.count(BridgeKind::Invalid), 0u);
    EXPECT_EQ(pageRows.size(), std::size(kBridgeNames));
    EXPECT_EQ(*pageRows.rbegin() + 1, static_cast<int>(std::size(kBridgeNames)));
    EXPECT_EQ(bridgeNameList(), "SERIAL, TCPIP, HTTPS, VENDOR, POLLING, FOLDERS or USB");
    // GetPatient stores the names upper-cased, so any other spelling is no bridge at all.
    for (const char* other : {"serial", "TCPIP ", "TCP/IP", "", "<INVALID!>"}) {
        config.NetworkBridgeType = other;
        EXPECT_EQ(bridgeKind(config), BridgeKind::Invalid) << "names compare exactly: " << other;
    }
}

}  // namespace
}  // namespace trellybridge
