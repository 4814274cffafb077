// The small common pieces: the answer limit, the format names, name-based UUIDs, and the
// error codes with the list they are recorded in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "common/AnswerLimit.h"
#include "common/BridgeConfiguration.h"
#include "common/Errors.h"
#include "common/Keywords.h"
#include "common/NameUuid.h"
#include "common/Text.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

TEST(AnswerLimit, OnlyAWholeNumberFromOneKiBTo64MiBIsTakenElseTheDefaultApplies) {
    const std::tuple<const char*, std::size_t, bool> cases[] = {
        // TRELLYBRIDGE_MAX_ANSWER_BYTES or null, the limit that applies, refused
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
    for (const auto& [configured, applies, refused] : cases) {
        SCOPED_TRACE(configured ? configured : "unset");
        if (configured)
            ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", configured, 1);
        else
            ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        EXPECT_EQ(maxAnswerBytes(), applies);
        std::string problem = answerLimitProblem();
        EXPECT_EQ(!problem.empty(), refused) << problem;
        if (refused) {
            EXPECT_NE(problem.find(std::string("not \"") + configured + "\""), std::string::npos)
                << problem;
        }
    }
    ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
}

TEST(BridgeKindTest, FormatNamesAreReadExactly) {
    const std::pair<const char*, FormatKind> cases[] = {
        {"STANDARD", FormatKind::Standard}, {"HL7", FormatKind::Hl7},
        {"SCAN", FormatKind::Scan},         {"XML", FormatKind::Xml},
        {"hl7", FormatKind::Unknown},       {"CSV", FormatKind::Unknown},
        {"", FormatKind::Unknown},
    };
    for (const auto& [text, kind] : cases) EXPECT_EQ(formatKindOf(text), kind) << text;
}

// Keywords are found in any case, anywhere in the text, and only where written whole.
TEST(KeywordTest, IsInForceWhereverWrittenInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"{NO INS}", true},
        {"x{no ins}y", true},
        {"{No Ins}{M}", true},
        {"{NO IN}", false},
        {"NO INS", false},
        {"{NO\xE9INS}", false},
        {"", false},
        {"{", false},
        {"{{NO INS}}", true},
        {"{NO INS", false},
        // Texts longer than 32 characters are searched by their first character.
        {"{USE IN2.61 FOR POLICY}{REMOVE QUOTES}{no ins}", true},
        {"{USE IN2.61 FOR POLICY}{REMOVE QUOTES}{NO IN", false},
        {"{USE IN2.61 FOR POLICY}{REMOVE QUOTES} NO INS}", false},
    };
    BridgeConfiguration config;
    for (const auto& [text, expected] : cases) {
        config.HTTPSSubjectCN = text;
        EXPECT_EQ(inForce(config, keyword::NoInsurance), expected) << text;
    }
}

// The case-blind search finds what a search of the upper-cased copy finds: parts taken
// from the text (first character a letter or not), texts short and past 32 characters.
TEST(KeywordTest, CaseBlindSearchFindsWhatTheUpperCasedCopyFinds) {
    std::mt19937 random(44);
    const std::string alphabet = "aAbB<>/{} \xe9";
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (size_t i = 0, length = random() % 70; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        size_t from = text.empty() ? 0 : random() % text.size();
        std::string part = text::upper(text.substr(from, 1 + random() % 4));
        if (round % 3 == 0) part += alphabet[random() % alphabet.size()];  // may be absent
        ASSERT_EQ(text::findUpperCased(text, part), text::upper(text).find(part))
            << text << " / " << part;
    }
}

// The RFC 4122 namespaces and the UUIDs other implementations give: an empty name, a
// short one, and one that takes SHA-1 into a second block.
TEST(NameUuid, IsTheVersion5UuidOfTheName) {
    constexpr UuidBytes kDns = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                                0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
    UuidBytes url = kDns;
    url[3] = 0x11;
    const std::tuple<const UuidBytes&, std::string, const char*> cases[] = {
        {kDns, "python.org", "886313e1-3b8a-5372-9b90-0c9aee199e5d"},
        {kDns, "", "4ebd0208-8328-5d69-8c44-ec50939c0967"},
        {url,
         "urn:trellybridge:account|123456789012345678901234567890123456789012345678901234567890",
         "bbf2c7d6-c96c-53c2-9724-26f10a77c9aa"},
    };
    for (const auto& [space, name, expected] : cases) EXPECT_EQ(nameUuid(space, name), expected);
}

class ErrorsTest : public testing::TestEnvironment {};

// Every code and the message the standard recorder gives it, byte for byte, with the
// description "D".
const std::pair<errc, const char*> kTable[] = {
    {errc::SocketLibrary, "D"},
    {errc::WebServiceUndetermined,
     "NETWORK Server: undetermined network error attempting to connect to remote web service"},
    {errc::PageTimedOut, "ORVEL Server: page request timed out"},
    {errc::UrlNotParsed, "ORVEL Server: URL could not be parsed"},
    {errc::SaveWriteFailed, "ORVEL Server: writing the file on save failed"},
    {errc::SaveCreateFailed, "ORVEL Server: creating the file on save failed"},
    {errc::RedirectWithoutDestination,
     "ORVEL Server: redirect was requested, no destination supplied"},
    {errc::RedirectWithDestination,
     "ORVEL Server: redirect was requested, destination was supplied"},
    {errc::Hl7ParseFailed, "HL7 Parser: error attempting to parse hl7 stream"},
    {errc::Hl7Parser, "HL7 Parser: D"},
    {errc::XmlParseFailed, "XML Parser: error attempting to parse XML stream"},
    {errc::XmlParser, "XML Parser: D"},
    {errc::InvalidParameter, "ORVEL Parameter: D"},
    {errc::InvalidCompanyNumber, "ORVEL Parameter: D"},
    {errc::MissingCompanyNumber,
     "ORVEL Parameter: a company number must precede the patientID (ie. 1-123456789) or a "
     "default must be defined"},
    {errc::PortOpenFailed, "ORVEL TCP: error attempting to open following port(s): D"},
    {errc::SendFailed, "ORVEL TCP: error attempting to send request"},
    {errc::SendWithoutConnection,
     "ORVEL TCP: error attempting to send data without establishing a connection"},
    {errc::ReceiveWithoutConnection,
     "ORVEL TCP: error attempting to receive data without establishing a connection"},
    {errc::ReceiveFailed, "ORVEL TCP: error attempting to receive data"},
    {errc::ClosePortFailed, "ORVEL TCP: error attempting to close port"},
    {errc::ReceivingDataFailed, "ORVEL TCP: error receiving data"},
    {errc::HostTimedOut, "ORVEL TCP: timed out waiting for host to respond to request"},
    {errc::SerialTimerFailed, "ORVEL TCP: undefined serial timer error in bridge"},
    {errc::LoadTcpSettingsFailed, "ORVEL TCP: undefined load tcp settings error in bridge"},
    {errc::ShutdownFailed, "ORVEL TCP: error attempting to shutdown connection"},
    {errc::SocketCloseFailed, "ORVEL TCP: error attempting to close windows socket"},
    {errc::SocketEndFailed, "ORVEL TCP: error attempting to end windows socket"},
    {errc::ForcedShutdown, "ORVEL TCP: required to force tcp shutdown"},
    {errc::InsuranceLogFailed, "ORVEL LOG: unable to save insurance log"},
    {errc::DebugLogFailed, "ORVEL LOG: unable to save debug log"},
    {errc::SerialCloseFailed, "SERIAL Port: error attempting to close serial port"},
    {static_cast<errc>(999), "D"},  // a number outside the table
};

TEST_F(ErrorsTest, EveryCodeHasItsMessage) {
    for (const auto& [code, message] : kTable) {
        EXPECT_EQ(errorMessage(code, "D", Recorder::Standard), message) << errorNumber(code);
        if (code != errc::HostTimedOut) {
            EXPECT_EQ(errorMessage(code, "D", Recorder::Enhanced), message) << errorNumber(code);
        }
    }
    // A failed open recorded without ports names the ones the session was configured with.
    testing::threadRequest().session.configuredPorts = "5001,5002";
    testing::threadRequest().reasons().record(errc::PortOpenFailed);
    EXPECT_EQ(testing::threadRequest().errorList,
              errorElement(errc::PortOpenFailed,
                           "ORVEL TCP: error attempting to open following port(s): 5001,5002"));
}

// Written byte for byte without escaping; an empty message appends nothing; while an
// attempt runs, standard errors are dropped but enhanced ones kept.
TEST_F(ErrorsTest, ElementsAreAppendedAsRecorded) {
    const Reasons reasons = testing::threadRequest().reasons();
    reasons.record(errc::ReceiveWithoutConnection, "ignored");
    reasons.record(static_cast<errc>(999), "say \"<&>\"");
    reasons.record(errc::SocketLibrary, "");
    reasons.record(errc::Hl7Parser, "");  // "HL7 Parser: " is not empty
    EXPECT_EQ(testing::threadRequest().errorList,
              "<error id=\"323\" description=\"ORVEL TCP: error attempting to receive data without "
              "establishing a connection\">ORVEL TCP: error attempting to receive data without "
              "establishing a connection</error>\r\n"
              "<error id=\"999\" description=\"say \"<&>\"\">say \"<&>\"</error>\r\n"
              "<error id=\"102\" description=\"HL7 Parser: \">HL7 Parser: </error>\r\n");
    testing::threadRequest().enhancedError = "old";
    reasons.recordEnhanced(static_cast<errc>(555), "");
    EXPECT_EQ(testing::threadRequest().enhancedError, "");

    testing::threadRequest().errorList.clear();
    testing::threadRequest().session.attemptCount = 2;
    reasons.record(errc::SendFailed);
    EXPECT_EQ(testing::threadRequest().errorList, "");
    reasons.recordEnhanced(errc::HostTimedOut);
    const std::string timedOut = "Error 328. No patient found or timeout waiting for response";
    EXPECT_EQ(testing::threadRequest().enhancedError, timedOut);
    EXPECT_EQ(testing::threadRequest().errorList, errorElement(errc::HostTimedOut, timedOut));
    testing::threadRequest().session.attemptCount = 0;
    reasons.record(errc::SendFailed);
    EXPECT_EQ(testing::threadRequest().errorList,
              errorElement(errc::HostTimedOut, timedOut) +
                  errorElement(errc::SendFailed, "ORVEL TCP: error attempting to send request"));
}

TEST_F(ErrorsTest, ListIsReadBackIntoTheEntriesThatWroteIt) {
    // Messages holding what the element's own markup looks like read back whole.
    const std::vector<ErrorListEntry> lists[] = {
        {},
        {{328, "Error 328. No patient found or timeout waiting for response"}},
        {{-1, "socket library"}, {999, "say \"<&>\""}, {2, ""}},
        {{201, "quote\" and \">\">"}, {202, "</error>\r\n<error id=\"7\" description=\"x"}},
        {{203, "a\">a</error>\r\n"}, {204, "a"}},
    };
    for (const auto& entries : lists) {
        std::string list;
        for (const auto& entry : entries)
            list += errorElement(static_cast<errc>(entry.code), entry.message);
        EXPECT_EQ(errorListEntries(list), entries) << list;
    }
    // Text that is no element ends the reading; what came before it stands.
    std::string first = errorElement(errc::SendFailed, "sent");
    EXPECT_EQ(errorListEntries(first + "<error id=\"x\">").size(), 1U);
    EXPECT_EQ(errorListEntries(first + "garbage" + first).size(), 1U);
    EXPECT_TRUE(
        errorListEntries("<error id=\"12345678901234\" description=\"a\">a</error>\r\n").empty());
}

}  // namespace
}  // namespace trellybridge
