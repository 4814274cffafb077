#include <gtest/gtest.h>

#include <random>

#include "common/BridgeConfiguration.h"
#include "common/XmlHelpers.h"
#include "formats/Codecs.h"
#include "formats/Hl7Primitives.h"

namespace trellybridge {
namespace {

TEST(XmlHelpers, ElementsByNameAndOccurrence) {
    const std::tuple<const char*, const char*, long, const char*> cases[] = {
        {"<a><P1 x=\"1\"/></a>", "P1", 1, "<P1 x=\"1\"/>"},
        {"<p1 x=\"1\">child</p1>", "P1", 1, "<p1 x=\"1\">child</p1>"},
        {"<P10 x=\"1\"/><P1 y=\"2\"/>", "P1", 1, "<P1 y=\"2\"/>"},
        {"<I a=\"1\"/><I a=\"2\"/>", "I", 2, "<I a=\"2\"/>"},
        {"<I a=\"1\"/><I a=\"2\"/>", "I", 3, ""},
        {"<ICD9 Code=\"1\"/>", "I", 1, ""},
        {"<P1 x=\"1\"", "P1", 1, ""},
        {"", "P1", 1, ""},
    };
    for (const auto& [text, name, occurrence, element] : cases)
        EXPECT_EQ(xml::getXMLElement(text, name, occurrence), element) << text << " " << occurrence;
    EXPECT_EQ(xml::countXMLElements("<I/><I/><ICD9/><I/>", "I"), 3);
    EXPECT_EQ(xml::countXMLElements("<I a=\"1\"", "I"), 0);
}

// The parser walks each kind of element once; what it gets must be what asking for one
// occurrence after another gives, on any text.
TEST(XmlHelpers, AllElementsAtOnceAgreeWithOneAtATime) {
    const std::string alphabet = "<<<>>//  P1p1IiADRESS\"=x";
    std::mt19937 random(20261206);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        size_t length = random() % 120;
        for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        if (round % 4 == 0) text += "<P1 A=\"v\"><ADDRESS S=\"1\"/><I/></P1>";
        SCOPED_TRACE(::testing::PrintToString(text));
        xml::Document document(text);
        for (const char* name : {"P1", "I", "ADDRESS", "p1"}) {
            std::vector<xml::Searchable> elements = xml::getXMLElements(document.whole(), name);
            ASSERT_EQ(static_cast<long>(elements.size()), xml::countXMLElements(text, name));
            for (size_t n = 1; n <= elements.size() + 1; ++n) {
                std::string one = xml::getXMLElement(text, name, static_cast<long>(n));
                if (n > elements.size()) {
                    EXPECT_EQ(one, "") << name << " " << n;
                    continue;
                }
                EXPECT_EQ(elements[n - 1].text, one) << name << " " << n;
                for (const char* attribute : {"A", "S", "x"})
                    EXPECT_EQ(xml::getXMLAttribute(elements[n - 1], attribute),
                              xml::getXMLAttribute(one, attribute));
                // Elements inside an element, searched through the same upper-cased copy.
                std::vector<xml::Searchable> inner =
                    xml::getXMLElements(elements[n - 1], "ADDRESS");
                ASSERT_EQ(static_cast<long>(inner.size()), xml::countXMLElements(one, "ADDRESS"));
                for (size_t k = 0; k < inner.size(); ++k)
                    EXPECT_EQ(inner[k].text,
                              xml::getXMLElement(one, "ADDRESS", static_cast<long>(k + 1)));
            }
        }
    }
}

TEST(XmlHelpers, AttributesAndTagValues) {
    EXPECT_EQ(xml::getXMLAttribute("<P1 lastname=\"DOE\" FirstName=\" J \"/>", "LastName"), "DOE");
    EXPECT_EQ(xml::getXMLAttribute("<P1 FirstName=\" J \"/>", "FirstName"), " J ") << "not trimmed";
    EXPECT_EQ(xml::getXMLAttribute("<P1 LastName=\"DOE\"/>", "Name"), "DOE")
        << "the end of a longer name matches";
    EXPECT_EQ(xml::getXMLAttribute("<P1 A=\"&amp;\"/>", "A"), "&amp;") << "no entity decoding";
    EXPECT_EQ(xml::getXMLAttribute("<P1 A=\"x/>", "A"), "");
    EXPECT_EQ(xml::getXMLAttribute("<P1/>", "A"), "");
    EXPECT_EQ(xml::getXMLTagValue("<r><UserInfo>u</UserInfo></r>", "userinfo", true),
              "<UserInfo>u</UserInfo>");
    EXPECT_EQ(xml::getXMLTagValue("<r><UserInfo>u</UserInfo></r>", "UserInfo", false), "u");
    EXPECT_EQ(xml::getXMLTagValue("</A><A>", "A", false), "") << "closing before opening";
    EXPECT_EQ(xml::getXMLTagValue("<A>x", "A", false), "");
    EXPECT_EQ(xml::getXMLTagValue("<A>x</A>", "", false), "");
}

TEST(ScanLines, TagAndValue) {
    EXPECT_EQ(formats::getScanTag(" P_LNM = DOE \r"), "P_LNM");
    EXPECT_EQ(formats::getScanValue("P_LNM = DOE \r"), "DOE");
    EXPECT_EQ(formats::getScanValue("P_LNM=A=B\r"), "A=B");
    EXPECT_EQ(formats::getScanTag("NOTAG\r"), "");
    EXPECT_EQ(formats::getScanValue("NOTAG\r"), "");
    EXPECT_EQ(formats::getScanValue("P_LNM=\r"), "");
    EXPECT_EQ(formats::getScanValue("P_LNM="), "");
}

using namespace hl7;

TEST(Hl7PrimitivesTest, FieldsComeBackWrapped) {
    const std::tuple<std::string, long, std::string> cases[] = {
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
        {std::string(40000, 'x') + "|a|b|", 2, "|b|"},  // beyond 16-bit positions
    };
    for (const auto& [stream, level, wrapped] : cases)
        EXPECT_EQ(getHL7Field(stream, "|", level), wrapped) << stream.substr(0, 40) << " " << level;
}

TEST(Hl7PrimitivesTest, ComponentsAndRepetitions) {
    const std::tuple<const char*, const char*, long, const char*> cases[] = {
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
    for (const auto& [stream, tag, level, wrapped] : cases)
        EXPECT_EQ(getHL7SubField(stream, "|", tag, level, '\r'), wrapped) << stream << " " << level;
    EXPECT_EQ(stripDelimiters(getHL7SubField("|A^B~C^D|", "|", "~", 2, '\r')), "C^D");
}

TEST(Hl7PrimitivesTest, EndOfLineSettingThatIsNoSingleCodeHasNoComponentTerminator) {
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

TEST(Hl7PrimitivesTest, RecordsAreFoundAnywhereByOccurrence) {
    const std::string text = "MSH|x\rPID|1\rXPID|2\rPID|3";
    EXPECT_EQ(getHL7Record(text, "PID", 1), "PID|1\r");
    EXPECT_EQ(getHL7Record(text, "PID", 2), "PID|2\r") << "matched inside another segment";
    EXPECT_EQ(getHL7Record(text, "PID", 3), "") << "no carriage return after the last one";
    EXPECT_EQ(getHL7Record(text, "PID", 4), "");
    EXPECT_EQ(getHL7Record("PID|1\r", "PID", 2), "");
    EXPECT_EQ(getHL7Record("PID|1\r", "PID", 0), "");
    EXPECT_EQ(getHL7Record("AAAA\r", "AA", 2), "AA\r")
        << "the next search starts two characters on";
    EXPECT_EQ(getHL7Record(std::string(40000, 'x') + "\rPID|1\r", "PID", 1), "PID|1\r")
        << "beyond 16-bit positions";
}

TEST(Hl7PrimitivesTest, HelpersFollowTheirRules) {
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
    for (const char* bad : {"Texas", "T", "", "-1"}) EXPECT_EQ(filterStateCode(bad), "") << bad;
    EXPECT_EQ(filterStateCode("TX"), "TX");
}

}  // namespace
}  // namespace trellybridge
