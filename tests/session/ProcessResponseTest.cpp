#include <gtest/gtest.h>

#include "common/AnswerLimit.h"
#include "common/ThreadState.h"
#include "session/SessionWindow.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class ProcessResponseTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        threadState().config.PatientID = "12345";
        prepareToReadAnswers();
    }
    session::SessionWindow& window() { return session::sessionWindow(); }
};

TEST_F(ProcessResponseTest, FailurePathShowsTheTrimmedAnswerAndCloses) {
    threadState().config.VendorFormatType = "STANDARD";
    window().txtInformation = "earlier progress";
    EXPECT_FALSE(window().engine().processResponse("   NO HEADER HERE \r\n~~ \r"));
    EXPECT_EQ(window().txtInformation, "Receiving response...\r\n  NO HEADER HERE\r\n\r\n");
    EXPECT_FALSE(window().isLoaded());
    EXPECT_FALSE(threadState().patientFound);
}

TEST_F(ProcessResponseTest, FailurePathShowsAtMostTheAnswersFirstBytes) {
    threadState().config.VendorFormatType = "XML";
    const std::string head = "<NOTPATIENT>";
    std::string answer = head + std::string(3 * kShownAnswerBytes, 'x');
    EXPECT_FALSE(window().engine().processResponse(answer));
    const std::string& shown = window().txtInformation;
    ASSERT_TRUE(shown.starts_with("Receiving response...\r\n  " + head));
    EXPECT_LT(shown.size(), kShownAnswerBytes + 200) << "not the whole answer";
    EXPECT_NE(shown.find(std::to_string(answer.size() - kShownAnswerBytes) + " more bytes"),
              std::string::npos)
        << "says how much was left out";
}

TEST_F(ProcessResponseTest, LineFeedsBecomeCarriageReturnsOnRequest) {
    threadState().config.VendorFormatType = "SCAN";
    threadState().config.HTTPSSubjectCN = "{change lf to cr}";
    EXPECT_TRUE(window().engine().processResponse("P_ACT=12345\nP_LNM=DOE\n"));
    EXPECT_EQ(threadState().record[RecordField::p1PatientLastName], "DOE");
    threadState().config.HTTPSSubjectCN = "";
    EXPECT_FALSE(window().engine().processResponse("P_ACT=12345\nP_LNM=DOE\n"))
        << "one line without CR never ends";
}

TEST_F(ProcessResponseTest, UnknownFormatLeavesTheFoundFlag) {
    threadState().config.VendorFormatType = "CSV";
    threadState().patientFound = true;
    threadState().record[RecordField::p1PatientLastName] = "OLD";
    EXPECT_TRUE(window().engine().processResponse("anything"));
    EXPECT_EQ(threadState().record[RecordField::p1PatientLastName], "")
        << "the record is cleared first";
    EXPECT_TRUE(window().isLoaded());
}

TEST_F(ProcessResponseTest, ScanNeverTakesTheFailurePath) {
    threadState().config.VendorFormatType = "SCAN";
    EXPECT_FALSE(window().engine().processResponse("G_LNM=ROE\r"));
    EXPECT_TRUE(window().isLoaded());
}

}  // namespace
}  // namespace trellybridge
