#include <gtest/gtest.h>

#include "common/BridgeConfiguration.h"
#include "common/Text.h"
#include "formats/Hl7Primitives.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using namespace hl7;

class Hl7PrimitivesTest : public testing::TestEnvironment {};

struct FieldCase {
    std::string stream;
    long level;
    std::string wrapped;
};

TEST_F(Hl7PrimitivesTest, FieldsComeBackWrapped) {
    const FieldCase cases[] = {
        {"PID|1||12345^^^A||DOE^JOHN^Q|", 3, "|12345^^^A|"},
        {"PID|1||12345^^^A||DOE^JOHN^Q|", 5, "|DOE^JOHN^Q|"},
        {"PID|1||12345^^^A||DOE^JOHN^Q|", 1, "|1|"},
        {"PID|a|b\r", 2, "|b\r"},
        {"PID|a|b", 2, ""},
        {"PID|a|b|", 3, "|"},
        {"NO SEPARATOR\rMORE", 1, "NO SEPARATOR\r"},
        {"PID|a|b\r", 7, ""},
        {"MSH|^~\\&|APP|", 1, "|^~\\&|"},
        {"|a|b", 2, "|"},
        {"", 1, ""},
    };
    for (const FieldCase& c : cases)
        EXPECT_EQ(getHL7Field(c.stream, "|", c.level), c.wrapped) << c.stream << " " << c.level;
}

struct SubFieldCase {
    std::string stream;
    std::string tag;
    long level;
    std::string wrapped;
};

TEST_F(Hl7PrimitivesTest, ComponentsAndRepetitions) {
    const SubFieldCase cases[] = {
        {"|DOE^JOHN^Q|", "^", 1, "|DOE^"},
        {"|DOE^JOHN^Q|", "^", 2, "^JOHN^"},
        {"|DOE^JOHN^Q|", "^", 3, "^Q|"},
        {"|DOE^JOHN^Q|", "^", 4, ""},
        {"|DOE|", "^", 1, ""},
        {"|A^B~C^D|", "~", 1, "|A^B~"},
        {"|A^B~C^D|", "~", 2, "~C^D|"},
        {"|A^B\r", "^", 2, "^B\r"},
        {"|A^B~C|", "^", 2, "^B~C|"},
    };
    for (const SubFieldCase& c : cases)
        EXPECT_EQ(getHL7SubField(c.stream, "|", c.tag, c.level, '\r'), c.wrapped)
            << c.stream << " " << c.level;
    EXPECT_EQ(stripDelimiters(getHL7SubField("|A^B~C^D|", "|", "~", 2, '\r')), "C^D");
}

TEST_F(Hl7PrimitivesTest, EndOfLineSettingThatIsNoSingleCodeHasNoComponentTerminator) {
    BridgeConfiguration c;
    const std::pair<const char*, std::optional<char>> cases[] = {{"13", '\r'},
                                                                 {"126", '~'},
                                                                 {"13,10", std::nullopt},
                                                                 {"x", std::nullopt},
                                                                 {"256", std::nullopt}};
    for (const auto& [setting, terminator] : cases) {
        c.EOLCharacter = setting;
        EXPECT_EQ(componentTerminator(c), terminator) << setting;
    }
}

TEST_F(Hl7PrimitivesTest, RecordsAreFoundAnywhereByOccurrence) {
    const std::string text = "MSH|x\rPID|1\rXPID|2\rPID|3";
    EXPECT_EQ(getHL7Record(text, "PID", 1), "PID|1\r");
    EXPECT_EQ(getHL7Record(text, "PID", 2), "PID|2\r") << "matched inside another segment";
    EXPECT_EQ(getHL7Record(text, "PID", 3), "") << "no carriage return after the last one";
    EXPECT_EQ(getHL7Record(text, "PID", 4), "");
    EXPECT_EQ(getHL7Record("PID|1\r", "PID", 2), "");
    EXPECT_EQ(getHL7Record("PID|1\r", "PID", 0), "");
    EXPECT_EQ(getHL7Record("AAAA\r", "AA", 2), "AA\r")
        << "the next search starts two characters on";
}

TEST_F(Hl7PrimitivesTest, HelpersFollowTheirRules) {
    EXPECT_TRUE(verifySubFields("|A^B^C|", "^", 3));
    EXPECT_FALSE(verifySubFields("|A^B^C|", "^", 4));
    EXPECT_FALSE(verifySubFields("A^", "^", 2)) << "the last character is never looked at";
    EXPECT_TRUE(verifySubFields("", "^", 1));
    EXPECT_EQ(getASCII("65"), "A");
    EXPECT_THROW(getASCII("x"), std::invalid_argument);
    EXPECT_THROW(getASCII("300"), std::invalid_argument);
    EXPECT_EQ(stripDelimiters("|x|"), "x");
    EXPECT_EQ(stripDelimiters("|"), "");
    EXPECT_EQ(stripDelimiters(""), "");
    EXPECT_EQ(stripDelimiters("|\"A\"|"), "\"A\"");
    EXPECT_EQ(stripDelimiters("|\"A\"|", true), "A") << "{REMOVE QUOTES}";
    EXPECT_EQ(countOccurrences("aaaa", "aa"), 3);
    EXPECT_EQ(countOccurrences("abc", ""), 0);
    EXPECT_EQ(text::replaceAll("1-2-3", "-", ""), "123");
    for (const char* bad : {"Texas", "T", "", "-1"}) EXPECT_EQ(filterStateCode(bad), "") << bad;
    EXPECT_EQ(filterStateCode("TX"), "TX");
}

TEST_F(Hl7PrimitivesTest, LongAnswersAreNotLimitedTo16BitPositions) {
    std::string padding(40000, 'x');
    std::string message = "MSH|" + padding + "\rPID|1|2|3||DOE^JOHN^Q|\r";
    std::string_view pid = getHL7Record(message, "PID", 1);
    EXPECT_EQ(stripDelimiters(getHL7SubField(getHL7Field(pid, "|", 5), "|", "^", 2, '\r')), "JOHN");
}

}  // namespace
}  // namespace trellybridge
