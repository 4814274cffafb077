#include <gtest/gtest.h>

#include "common/BridgeConfiguration.h"

namespace trellybridge {
namespace {

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
