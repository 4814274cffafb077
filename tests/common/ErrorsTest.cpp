#include <gtest/gtest.h>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class ErrorsTest : public testing::TestEnvironment {};

struct TableRow {
    std::int16_t code;
    const char* message;
};

// Every code of the table with its text for the description "D".
const TableRow kTable[] = {
    {2, "NETWORK Server: undetermined network error attempting to connect to remote web service"},
    {20, "ORVEL Server: page request timed out"},
    {21, "ORVEL Server: URL could not be parsed"},
    {22, "ORVEL Server: writing the file on save failed"},
    {23, "ORVEL Server: creating the file on save failed"},
    {24, "ORVEL Server: redirect was requested, no destination supplied"},
    {25, "ORVEL Server: redirect was requested, destination was supplied"},
    {101, "HL7 Parser: error attempting to parse hl7 stream"},
    {102, "HL7 Parser: D"},
    {111, "XML Parser: error attempting to parse XML stream"},
    {112, "XML Parser: D"},
    {300, "ORVEL Parameter: D"},
    {310, "ORVEL Parameter: D"},
    {311,
     "ORVEL Parameter: a company number must precede the patientID (ie. 1-123456789) or a "
     "default must be defined"},
    {320, "ORVEL TCP: error attempting to open following port(s): 5001,5002"},
    {321, "ORVEL TCP: error attempting to send request"},
    {322, "ORVEL TCP: error attempting to send data without establishing a connection"},
    {323, "ORVEL TCP: error attempting to receive data without establishing a connection"},
    {324, "ORVEL TCP: error attempting to receive data"},
    {325, "ORVEL TCP: error attempting to close port"},
    {327, "ORVEL TCP: error receiving data"},
    {328, "ORVEL TCP: timed out waiting for host to respond to request"},
    {330, "ORVEL TCP: undefined serial timer error in bridge"},
    {332, "ORVEL TCP: undefined load tcp settings error in bridge"},
    {340, "ORVEL TCP: error attempting to shutdown connection"},
    {341, "ORVEL TCP: error attempting to close windows socket"},
    {342, "ORVEL TCP: error attempting to end windows socket"},
    {343, "ORVEL TCP: required to force tcp shutdown"},
    {400, "ORVEL LOG: unable to save insurance log"},
    {401, "ORVEL LOG: unable to save debug log"},
    {8012, "SERIAL Port: error attempting to close serial port"},
    {999, "D"},
    {-1, "D"},
};

TEST_F(ErrorsTest, EveryCodeHasItsMessage) {
    threadState().session.configuredPorts = "5001,5002";
    for (const TableRow& row : kTable) {
        EXPECT_EQ(errorMessage(row.code, "D", Recorder::Standard), row.message) << row.code;
        if (row.code != 328) {
            EXPECT_EQ(errorMessage(row.code, "D", Recorder::Enhanced), row.message) << row.code;
        }
    }
    EXPECT_EQ(errorMessage(328, "", Recorder::Enhanced),
              "Error 328. No patient found or timeout waiting for response");
}

TEST_F(ErrorsTest, ElementIsWrittenByteForByteWithoutEscaping) {
    recordError(323, "ignored");
    recordError(999, "say \"<&>\"");
    EXPECT_EQ(threadState().errorList,
              "<error id=\"323\" description=\"ORVEL TCP: error attempting to receive data without "
              "establishing a connection\">ORVEL TCP: error attempting to receive data without "
              "establishing a connection</error>\r\n"
              "<error id=\"999\" description=\"say \"<&>\"\">say \"<&>\"</error>\r\n");
}

TEST_F(ErrorsTest, EmptyMessagesAppendNothing) {
    recordError(-1, "");
    recordError(102, "");  // "HL7 Parser: " is not empty
    EXPECT_EQ(threadState().errorList,
              "<error id=\"102\" description=\"HL7 Parser: \">HL7 Parser: </error>\r\n");
    threadState().enhancedError = "old";
    recordEnhancedError(555, "");
    EXPECT_EQ(threadState().enhancedError, "");
}

TEST_F(ErrorsTest, RunningAttemptDropsStandardButNotEnhancedErrors) {
    threadState().session.attemptCount = 2;
    recordError(321);
    EXPECT_EQ(threadState().errorList, "");
    EXPECT_EQ(recordEnhancedError(328), "");
    EXPECT_EQ(threadState().enhancedError,
              "Error 328. No patient found or timeout waiting for response");
    EXPECT_EQ(threadState().errorList, errorElement(328, threadState().enhancedError));
    threadState().session.attemptCount = 0;
    recordError(321);
    EXPECT_EQ(threadState().errorList,
              errorElement(328, threadState().enhancedError) +
                  errorElement(321, "ORVEL TCP: error attempting to send request"));
}

}  // namespace
}  // namespace trellybridge
