#include "common/NameUuid.h"

#include <gtest/gtest.h>

namespace trellybridge {
namespace {

constexpr UuidBytes kDns = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                            0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
constexpr UuidBytes kUrl = {0x6b, 0xa7, 0xb8, 0x11, 0x9d, 0xad, 0x11, 0xd1,
                            0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};

// The RFC 4122 namespaces and the UUIDs other implementations give: an empty name, a
// short one, and one that takes SHA-1 into a second block.
TEST(NameUuid, IsTheVersion5UuidOfTheName) {
    struct Case {
        const UuidBytes& space;
        std::string name;
        const char* expected;
    } cases[] = {
        {kDns, "python.org", "886313e1-3b8a-5372-9b90-0c9aee199e5d"},
        {kDns, "", "4ebd0208-8328-5d69-8c44-ec50939c0967"},
        {kUrl,
         "urn:trellybridge:account|123456789012345678901234567890123456789012345678901234567890",
         "bbf2c7d6-c96c-53c2-9724-26f10a77c9aa"},
    };
    for (const Case& c : cases) EXPECT_EQ(nameUuid(c.space, c.name), c.expected) << c.name;
}

}  // namespace
}  // namespace trellybridge
