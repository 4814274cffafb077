#include <gtest/gtest.h>

#include <random>

#include "common/XmlHelpers.h"
#include "formats/Parsers.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

struct ElementCase {
    std::string text, name;
    long occurrence;
    std::string element;
};

TEST(XmlHelpers, ElementsByNameAndOccurrence) {
    const ElementCase cases[] = {
        {"<a><P1 x=\"1\"/></a>", "P1", 1, "<P1 x=\"1\"/>"},
        {"<p1 x=\"1\">child</p1>", "P1", 1, "<p1 x=\"1\">child</p1>"},
        {"<P10 x=\"1\"/><P1 y=\"2\"/>", "P1", 1, "<P1 y=\"2\"/>"},
        {"<I a=\"1\"/><I a=\"2\"/>", "I", 2, "<I a=\"2\"/>"},
        {"<I a=\"1\"/><I a=\"2\"/>", "I", 3, ""},
        {"<ICD9 Code=\"1\"/>", "I", 1, ""},
        {"<P1 x=\"1\"", "P1", 1, ""},
        {"", "P1", 1, ""},
    };
    for (const ElementCase& c : cases)
        EXPECT_EQ(xml::getXMLElement(c.text, c.name, c.occurrence), c.element)
            << c.text << " " << c.occurrence;
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

}  // namespace
}  // namespace trellybridge
