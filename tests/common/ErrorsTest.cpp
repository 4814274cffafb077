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

// One code of each kind the table holds: a fixed text, the description after a prefix,
// the configured ports filled in, and a code the table does not know.
const TableRow kTable[] = {
    {2, "NETWORK Server: undetermined network error attempting to connect to remote web service"},
    {24, "ORVEL Server: redirect was requested, no destination supplied"},
    {101, "HL7 Parser: error attempting to parse hl7 stream"},
    {102, "HL7 Parser: D"},
    {112, "XML Parser: D"},
    {310, "ORVEL Parameter: D"},
    {311,
     "ORVEL Parameter: a company number must precede the patientID (ie. 1-123456789) or a "
     "default must be defined"},
    {320, "ORVEL TCP: error attempting to open following port(s): 5001,5002"},
    {328, "ORVEL TCP: timed out waiting for host to respond to request"},
    {343, "ORVEL TCP: required to force tcp shutdown"},
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
