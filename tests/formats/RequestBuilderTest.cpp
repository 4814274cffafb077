#include <gtest/gtest.h>

#include "common/Text.h"
#include "formats/RequestBuilder.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class RequestBuilderTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        platform::setClock(&march);
        c.VendorRequestTag = std::string(request::kDynamicTag);
        c.VendorName = "MEDIC";
        c.VendorFacility = "LAB1";
        c.VendorFormatVersion = "2.3";
        c.PatientID = "7-42";
        c.MEDICNumberLength = "1";
        c.MEDICNumberDefault = "";
        c.EOFRequest = kInvalidMarker;
        c.HTTPSSubjectCN = kInvalidMarker;
        c.VendorFormatType = "HL7";
    }
    platform::VirtualClock march{{2013, 3, 1, 9, 5, 0}};
    BridgeConfiguration c;
    ErrorNotices notices;
};

const std::string kMsh =
    "\vMSH|^~\\&|LUMAK|ORVEL|MEDIC|LAB1|201303010905+0000^S||QRY^Q01|0001|P|2.3|\r";

TEST_F(RequestBuilderTest, Hl7QueryByteForByte) {
    EXPECT_EQ(request::buildRequest(c).text,
              kMsh + "QRD|201303010905+0000^S|R|I|0001|||1^RD|42|DEM|7||T|\r\x1c");
    EXPECT_EQ(request::endOfRequest(c, notices), "\r\x1c") << "followed on the wire by CR FS again";
}

struct Hl7Case {
    const char* name;
    const char* patientId;
    const char* length;
    const char* defaultCompany;
    const char* keywords;
    const char* eofRequest;
    std::string qrdTail;  // from QRD-8 on
};

TEST_F(RequestBuilderTest, Hl7CompanySplitKeywordsAndTrailer) {
    const Hl7Case cases[] = {
        {"no split with length 0", "7-42", "0", "", "", "", "7-42|DEM|||T|\r\x1c"},
        {"company upper-cased", "ab-42", "1", "", "", "", "42|DEM|AB||T|\r\x1c"},
        {"default company without a dash", " 42 ", "1", "9", "", "", "42|DEM|9||T|\r\x1c"},
        {"N/A default ignored", "42", "1", "N/A", "", "", "42|DEM|||T|\r\x1c"},
        {"entity suffix", "7-42", "1", "", "x{hl7 entity mrn}", "",
         "42^^^^^^^^^^^E|DEM|7||T|\r\x1c"},
        {"own trailer", "7-42", "1", "", "", "13,10", "42|DEM|7||T|\r\n"},
        {"bad trailer falls back", "7-42", "1", "", "", "13,,10", "42|DEM|7||T|\r\x1c"},
    };
    for (const Hl7Case& k : cases) {
        SCOPED_TRACE(k.name);
        c.PatientID = k.patientId;
        c.MEDICNumberLength = k.length;
        c.MEDICNumberDefault = k.defaultCompany;
        c.HTTPSSubjectCN = k.keywords;
        c.EOFRequest = *k.eofRequest ? Variant(k.eofRequest) : Variant(kInvalidMarker);
        std::string query = request::buildHL7Query(c, notices);
        EXPECT_EQ(query, kMsh + "QRD|201303010905+0000^S|R|I|0001|||1^RD|" + k.qrdTail);
    }
}

TEST_F(RequestBuilderTest, UniqueControlIdComesFromTheTickCounter) {
    march.advance(123456);
    c.HTTPSSubjectCN = "{HL7 UNIQUE MSH-10}";
    std::string query = request::buildHL7Query(c, notices);
    EXPECT_NE(query.find("|QRY^Q01|123456|P|2.3|"), std::string::npos) << query;
}

struct RequestCase {
    const char* format;
    const char* vendor;
    const char* tag;
    const char* patientId;
    std::string request;
    bool known;
};

TEST_F(RequestBuilderTest, RequestsByFormatAndTag) {
    c.HISDSN = "dsn";
    c.HISBusinessUnit = "BU1";
    const RequestCase cases[] = {
        {"STANDARD", "X", "ACCT=", "12345", "ACCT=12345", true},
        {"STANDARD", "X", "Q|[PID]|X", "12345", "Q|12345|X", true},
        {"STANDARD", "X", "Q|[pid]|X", "12345", "Q|[pid]|X", true},
        {"STANDARD", "X", "<%DYNAMIC%>", "12345", "<%DYNAMIC%>12345", true},
        {"STANDARD", "HIS", "<%DYNAMIC%>", "12345",
         "[Orvel]\r\nAccount=12345\r\nDSN=dsn\r\nBU=BU1\r\n", true},
        {"SCAN", "X", "<%DYNAMIC%>", "12345", "ACCT=12345,PGI\r\n", true},
        {"SCAN", "X", "FIXED", "12345", "FIXED", true},
        {"XML", "X", "<%DYNAMIC%>", "3-77",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENT id=\"3-77\" CompanyNumber=\"3\" />",
         true},
        {"XML", "X", "<%DYNAMIC%>", "77",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENT id=\"77\" CompanyNumber=\"\" />",
         true},
        {"HL7", "X", "GET [PID]", "5", "GET 5", true},
        {"HL7", "X", "GET", "5", "GET", true},
        {"CSV", "X", "<%DYNAMIC%>", "5", "<%DYNAMIC%>", false},
        {"CSV", "X", "A[PID]", "5", "A5", false},
    };
    for (const RequestCase& k : cases) {
        SCOPED_TRACE(std::string(k.format) + " " + k.tag);
        c.VendorFormatType = k.format;
        c.VendorName = k.vendor;
        c.VendorRequestTag = k.tag;
        c.PatientID = k.patientId;
        request::BuiltRequest built = request::buildRequest(c);
        EXPECT_EQ(built.text, k.request);
        EXPECT_EQ(built.formatKnown, k.known);
    }
}

struct ReplaceCase {
    const char* text;
    const char* from;
    const char* to;
    const char* expected;
};

TEST_F(RequestBuilderTest, ReplaceAllIsOnePassThatNeverRescansInsertedText) {
    const ReplaceCase cases[] = {
        {"Q|[PID]|X", "[PID]", "12345", "Q|12345|X"},
        {"[PID][PID]", "[PID]", "7", "77"},
        {"[PID]", "[PID]", "x[PID]", "x[PID]"},
        {"a[PID]b[PID]", "[PID]", "[PID][PID]", "a[PID][PID]b[PID][PID]"},
        {"1-2 3", "-", "", "12 3"},
        {"aaaa", "aa", "a", "aa"},
        {"abb", "ab", "a", "ab"},
        {"no placeholder", "[PID]", "1", "no placeholder"},
        {"", "[PID]", "1", ""},
        {"abc", "", "x", "abc"},
    };
    for (const ReplaceCase& k : cases)
        EXPECT_EQ(text::replaceAll(k.text, k.from, k.to), k.expected) << k.text << " / " << k.to;

    c.VendorFormatType = "STANDARD";
    c.VendorRequestTag = "REQ [PID];[PID]";
    c.PatientID = "x[PID]";
    EXPECT_EQ(request::buildRequest(c).text, "REQ x[PID];x[PID]");
}

TEST_F(RequestBuilderTest, EndOfRequestByFormat) {
    const std::tuple<const char*, Variant, std::string> cases[] = {
        {"STANDARD", Variant(kInvalidMarker), "\r\n"},
        {"HL7", Variant(kInvalidMarker), "\r\x1c"},
        {"SCAN", Variant("3"), "\x03"},
        {"XML", Variant(kInvalidMarker), ""},
        {"STANDARD", Variant("126"), "~"},
    };
    for (const auto& [format, list, expected] : cases) {
        c.VendorFormatType = format;
        c.EOFRequest = list;
        EXPECT_EQ(request::endOfRequest(c, notices), expected) << format;
    }
    EXPECT_EQ(
        notices,
        (ErrorNotices{{errc::InvalidParameter, "<INVALID!> is an invalid EOFrequest string"}}));
}

TEST_F(RequestBuilderTest, CharacterCodeLists) {
    const std::pair<std::string, std::string> good[] = {
        {"4", "\x04"},        {"13,10", "\r\n"}, {"13,28", "\r\x1c"},         {"13", "\r"},
        {" 13 , 10", "\r\n"}, {"65.6", "B"},     {"0", std::string(1, '\0')}, {"255", "\xff"},
    };
    for (const auto& [codes, characters] : good)
        EXPECT_EQ(request::parseEOFRequest(codes, notices), characters) << codes;
    EXPECT_EQ(notices, ErrorNotices{});

    std::string many;
    for (int i = 0; i < 25; ++i) many += (i ? "," : "") + std::to_string(65 + i);
    EXPECT_EQ(request::parseEOFRequest(many, notices), "ABCDEFGHIJKLMNOPQRSTU")
        << "at most 21 codes";

    for (const char* bad : {"13,,10", "256", "-1", "x", "", ",13", "13,"}) {
        notices.clear();
        EXPECT_EQ(request::parseEOFRequest(bad, notices), "") << bad;
        EXPECT_EQ(notices, (ErrorNotices{{errc::InvalidParameter,
                                          bad + std::string(" is an invalid EOFrequest string")}}));
    }
}

}  // namespace
}  // namespace trellybridge
