#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <set>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class ErrorsTest : public testing::TestEnvironment {};

struct TableRow {
    errc code;
    const char* message;  // with the description "D"
};

// Every code and the message the standard recorder gives it, byte for byte.
const TableRow kTable[] = {
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

bool listed(errc code) {
    return std::find(std::begin(kErrorCodes), std::end(kErrorCodes), code) != std::end(kErrorCodes);
}

TEST_F(ErrorsTest, EveryCodeHasItsMessage) {
    for (const TableRow& row : kTable) {
        const int number = errorNumber(row.code);
        EXPECT_EQ(errorMessage(row.code, "D", Recorder::Standard), row.message) << number;
        if (row.code != errc::HostTimedOut) {
            EXPECT_EQ(errorMessage(row.code, "D", Recorder::Enhanced), row.message) << number;
        }
    }
    EXPECT_EQ(errorMessage(errc::HostTimedOut, "", Recorder::Enhanced),
              "Error 328. No patient found or timeout waiting for response");
    // A failed open recorded without ports names the ones the session was configured with.
    threadState().session.configuredPorts = "5001,5002";
    threadState().reasons().record(errc::PortOpenFailed);
    EXPECT_EQ(threadState().errorList,
              errorElement(errc::PortOpenFailed,
                           "ORVEL TCP: error attempting to open following port(s): 5001,5002"));
}

// Walks every number a code can have: the listed codes are the table (the socket
// library's code aside, whose message is its description), no number is listed twice,
// and every other number falls back to the description.
TEST_F(ErrorsTest, TableHoldsExactlyTheListedCodes) {
    std::set<int> numbers;
    for (errc code : kErrorCodes)
        EXPECT_TRUE(numbers.insert(errorNumber(code)).second) << "reused: " << errorNumber(code);
    int inTable = 0;
    for (int n = std::numeric_limits<std::int16_t>::min();
         n <= std::numeric_limits<std::int16_t>::max(); ++n) {
        const errc code = static_cast<errc>(n);
        const bool hasMessage = tableMessage(code, "", Recorder::Standard).has_value();
        EXPECT_EQ(hasMessage, listed(code) && code != errc::SocketLibrary) << n;
        inTable += hasMessage;
    }
    EXPECT_EQ(inTable, static_cast<int>(std::size(kErrorCodes)) - 1);
}

TEST_F(ErrorsTest, ElementIsWrittenByteForByteWithoutEscaping) {
    threadState().reasons().record(errc::ReceiveWithoutConnection, "ignored");
    threadState().reasons().record(static_cast<errc>(999), "say \"<&>\"");
    EXPECT_EQ(threadState().errorList,
              "<error id=\"323\" description=\"ORVEL TCP: error attempting to receive data without "
              "establishing a connection\">ORVEL TCP: error attempting to receive data without "
              "establishing a connection</error>\r\n"
              "<error id=\"999\" description=\"say \"<&>\"\">say \"<&>\"</error>\r\n");
}

TEST_F(ErrorsTest, EmptyMessagesAppendNothing) {
    threadState().reasons().record(errc::SocketLibrary, "");
    threadState().reasons().record(errc::Hl7Parser, "");  // "HL7 Parser: " is not empty
    EXPECT_EQ(threadState().errorList,
              "<error id=\"102\" description=\"HL7 Parser: \">HL7 Parser: </error>\r\n");
    threadState().enhancedError = "old";
    threadState().reasons().recordEnhanced(static_cast<errc>(555), "");
    EXPECT_EQ(threadState().enhancedError, "");
}

TEST_F(ErrorsTest, RunningAttemptDropsStandardButNotEnhancedErrors) {
    threadState().session.attemptCount = 2;
    threadState().reasons().record(errc::SendFailed);
    EXPECT_EQ(threadState().errorList, "");
    threadState().reasons().recordEnhanced(errc::HostTimedOut);
    EXPECT_EQ(threadState().enhancedError,
              "Error 328. No patient found or timeout waiting for response");
    EXPECT_EQ(threadState().errorList,
              errorElement(errc::HostTimedOut, threadState().enhancedError));
    threadState().session.attemptCount = 0;
    threadState().reasons().record(errc::SendFailed);
    EXPECT_EQ(threadState().errorList,
              errorElement(errc::HostTimedOut, threadState().enhancedError) +
                  errorElement(errc::SendFailed, "ORVEL TCP: error attempting to send request"));
}

TEST_F(ErrorsTest, ListIsReadBackIntoTheEntriesThatWroteIt) {
    // Messages holding what the element's own markup looks like read back whole.
    const std::vector<ErrorListEntry> kTable[] = {
        {},
        {{328, "Error 328. No patient found or timeout waiting for response"}},
        {{-1, "socket library"}, {999, "say \"<&>\""}, {2, ""}},
        {{201, "quote\" and \">\">"}, {202, "</error>\r\n<error id=\"7\" description=\"x"}},
        {{203, "a\">a</error>\r\n"}, {204, "a"}},
    };
    for (const auto& entries : kTable) {
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
