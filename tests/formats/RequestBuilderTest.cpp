#include <gtest/gtest.h>

#include "common/Text.h"
#include "formats/Codecs.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class RequestBuilderTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
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

TEST_F(RequestBuilderTest, Hl7CompanySplitKeywordsAndTrailer) {
    // the case, PatientID, company number length and default, keywords, EOFRequest, QRD-8 on
    const std::tuple<const char*, const char*, const char*, const char*, const char*, const char*,
                     std::string>
        cases[] = {
            {"no split with length 0", "7-42", "0", "", "", "", "7-42|DEM|||T|\r\x1c"},
            {"company upper-cased", "ab-42", "1", "", "", "", "42|DEM|AB||T|\r\x1c"},
            {"default company without a dash", " 42 ", "1", "9", "", "", "42|DEM|9||T|\r\x1c"},
            {"N/A default ignored", "42", "1", "N/A", "", "", "42|DEM|||T|\r\x1c"},
            {"entity suffix", "7-42", "1", "", "x{hl7 entity mrn}", "",
             "42^^^^^^^^^^^E|DEM|7||T|\r\x1c"},
            {"own trailer", "7-42", "1", "", "", "13,10", "42|DEM|7||T|\r\n"},
            {"bad trailer falls back", "7-42", "1", "", "", "13,,10", "42|DEM|7||T|\r\x1c"},
        };
    for (const auto& [name, patientId, length, defaultCompany, keywords, eofRequest, qrdTail] :
         cases) {
        SCOPED_TRACE(name);
        c.PatientID = patientId;
        c.MEDICNumberLength = length;
        c.MEDICNumberDefault = defaultCompany;
        c.HTTPSSubjectCN = keywords;
        c.EOFRequest = *eofRequest ? Variant(eofRequest) : Variant(kInvalidMarker);
        EXPECT_EQ(request::buildHL7Query(c, notices, march),
                  kMsh + "QRD|201303010905+0000^S|R|I|0001|||1^RD|" + qrdTail);
    }
}

TEST_F(RequestBuilderTest, UniqueControlIdComesFromTheTickCounter) {
    march.advance(123456);
    c.HTTPSSubjectCN = "{HL7 UNIQUE MSH-10}";
    std::string query = request::buildHL7Query(c, notices, march);
    EXPECT_NE(query.find("|QRY^Q01|123456|P|2.3|"), std::string::npos) << query;
}

TEST_F(RequestBuilderTest, RequestsByFormatAndTag) {
    c.HISDSN = "dsn";
    c.HISBusinessUnit = "BU1";
    // the format, vendor, request tag, PatientID, whether the format is known, the request
    const std::tuple<const char*, const char*, const char*, const char*, bool, std::string>
        cases[] = {
            {"STANDARD", "X", "ACCT=", "12345", true, "ACCT=12345"},
            {"STANDARD", "X", "Q|[PID]|X", "12345", true, "Q|12345|X"},
            {"STANDARD", "X", "Q|[pid]|X", "12345", true, "Q|[pid]|X"},
            {"STANDARD", "X", "REQ [PID];[PID]", "x[PID]", true, "REQ x[PID];x[PID]"},
            {"STANDARD", "X", "<%DYNAMIC%>", "12345", true, "<%DYNAMIC%>12345"},
            {"STANDARD", "HIS", "<%DYNAMIC%>", "12345", true,
             "[Orvel]\r\nAccount=12345\r\nDSN=dsn\r\nBU=BU1\r\n"},
            {"SCAN", "X", "<%DYNAMIC%>", "12345", true, "ACCT=12345,PGI\r\n"},
            {"SCAN", "X", "FIXED", "12345", true, "FIXED"},
            {"XML", "X", "<%DYNAMIC%>", "3-77", true,
             "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENT id=\"3-77\" CompanyNumber=\"3\" "
             "/>"},
            {"XML", "X", "<%DYNAMIC%>", "77", true,
             "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENT id=\"77\" CompanyNumber=\"\" />"},
            {"HL7", "MEDIC", "<%DYNAMIC%>", "7-42", true,
             kMsh + "QRD|201303010905+0000^S|R|I|0001|||1^RD|42|DEM|7||T|\r\x1c"},
            {"HL7", "X", "GET [PID]", "5", true, "GET 5"},
            {"HL7", "X", "GET", "5", true, "GET"},
            {"CSV", "X", "<%DYNAMIC%>", "5", false, "<%DYNAMIC%>"},
            {"CSV", "X", "A[PID]", "5", false, "A5"},
        };
    for (const auto& [format, vendor, tag, patientId, known, text] : cases) {
        SCOPED_TRACE(std::string(format) + " " + tag);
        c.VendorFormatType = format;
        c.VendorName = vendor;
        c.VendorRequestTag = tag;
        c.PatientID = patientId;
        request::BuiltRequest built = request::buildRequest(c, march);
        EXPECT_EQ(built.text, text);
        EXPECT_EQ(built.formatKnown, known);
    }
}

TEST_F(RequestBuilderTest, ReplaceAllIsOnePassThatNeverRescansInsertedText) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
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
    for (const auto& [text, from, to, expected] : cases)
        EXPECT_EQ(text::replaceAll(text, from, to), expected) << text << " / " << to;
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
