#include <gtest/gtest.h>

#include "common/BridgeConfiguration.h"

namespace trellybridge {
namespace {

struct BridgeCase {
    const char* text;
    BridgeKind kind;
};

// The kinds are read exactly as the stored text was compared: GetPatient stores the
// names upper-cased, so any other spelling is no bridge at all.
TEST(BridgeKindTest, BridgeNamesAreReadExactly) {
    const BridgeCase cases[] = {
        {"SERIAL", BridgeKind::Serial},   {"TCPIP", BridgeKind::TcpIp},
        {"VENDOR", BridgeKind::Vendor},   {"POLLING", BridgeKind::Polling},
        {"FOLDERS", BridgeKind::Folders}, {"HTTPS", BridgeKind::Https},
        {"USB", BridgeKind::Usb},         {"tcpip", BridgeKind::Invalid},
        {"TCPIP ", BridgeKind::Invalid},  {"TCP/IP", BridgeKind::Invalid},
        {"", BridgeKind::Invalid},        {"<INVALID!>", BridgeKind::Invalid},
    };
    for (const BridgeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(bridgeKindOf(c.text), c.kind);
        BridgeConfiguration config;
        config.NetworkBridgeType = c.text;
        EXPECT_EQ(bridgeKind(config), c.kind);
        EXPECT_EQ(config.NetworkBridgeType.toText(), c.text) << "the text stays as stored";
    }
}

struct FormatCase {
    const char* text;
    FormatKind kind;
};

TEST(BridgeKindTest, FormatNamesAreReadExactly) {
    const FormatCase cases[] = {
        {"STANDARD", FormatKind::Standard}, {"HL7", FormatKind::Hl7},
        {"SCAN", FormatKind::Scan},         {"XML", FormatKind::Xml},
        {"hl7", FormatKind::Unknown},       {"CSV", FormatKind::Unknown},
        {"", FormatKind::Unknown},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formatKindOf(c.text), c.kind);
        BridgeConfiguration config;
        config.VendorFormatType = c.text;
        EXPECT_EQ(formatKind(config), c.kind);
    }
}

}  // namespace
}  // namespace trellybridge
