// The small common pieces: the answer limit, the format names, name-based UUIDs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/AnswerLimit.h"
#include "common/BridgeConfiguration.h"
#include "common/NameUuid.h"

namespace trellybridge {
namespace {

struct LimitCase {
    const char* configured;  // TRELLYBRIDGE_MAX_ANSWER_BYTES, or null
    std::size_t applies;
    bool refused;
};

TEST(AnswerLimit, OnlyAWholeNumberFromOneKiBTo64MiBIsTakenElseTheDefaultApplies) {
    const LimitCase cases[] = {
        {nullptr, kDefaultAnswerLimit, false},
        {"1024", 1024, false},
        {"67108864", 67108864, false},
        {"1023", kDefaultAnswerLimit, true},
        {"67108865", kDefaultAnswerLimit, true},
        {"0", kDefaultAnswerLimit, true},
        {"-1", kDefaultAnswerLimit, true},
        {"1MB", kDefaultAnswerLimit, true},
        {"18446744073709551615", kDefaultAnswerLimit, true},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.configured ? c.configured : "unset");
        if (c.configured)
            ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.configured, 1);
        else
            ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        EXPECT_EQ(maxAnswerBytes(), c.applies);
        std::string problem = answerLimitProblem();
        EXPECT_EQ(!problem.empty(), c.refused) << problem;
        if (c.refused) {
            EXPECT_NE(problem.find(std::string("not \"") + c.configured + "\""), std::string::npos)
                << problem;
        }
    }
    ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
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
