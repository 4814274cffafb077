#include <gtest/gtest.h>

#include "SampleRequest.h"
#include "common/ThreadState.h"
#include "component/RequestPreparation.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using configuration::Prepared;

struct PreparationCase {
    const char* what;
    const char* patientId;
    const char* timeDelay;
    const char* displayProperties;
    Prepared forRequest;
    Prepared forAnswerAtHand;
    std::vector<std::string> requestPages;
};

class RequestPreparationTest : public testing::TestEnvironment {};

// A request refuses what must not reach the vendor and shows the pages it is asked to;
// an answer at hand is read with the same settings, with no pages and nothing refused.
TEST_F(RequestPreparationTest, RequestAndAnswerAtHandDifferOnlyInPagesAndRefusals) {
    const PreparationCase cases[] = {
        {"usable", "12345", "1000", "false", Prepared::Ready, Prepared::Ready, {}},
        {"control character", "12\n345", "1000", "false", Prepared::Refused, Prepared::Ready, {}},
        {"bad delay", "12345", "0.5", "false", Prepared::Refused, Prepared::Ready, {}},
        {"pages",
         "12345",
         "",
         "true",
         Prepared::Ready,
         Prepared::Ready,
         {"frmCommonPropertyPage", "frmMEDICProperties", "frmTCPTest"}},
    };
    for (const PreparationCase& c : cases) {
        SCOPED_TRACE(c.what);
        GetPatientArguments a = vendorsim::sampleRequest(c.patientId, "tcpip", "hl7");
        a.TimeDelay = c.timeDelay;
        a.DisplayProperties = c.displayProperties;

        threadState() = ThreadState{};
        toolkit->pagesShown.clear();
        EXPECT_EQ(configuration::prepareRequest(threadState(), a), c.forRequest);
        EXPECT_EQ(toolkit->pagesShown, c.requestPages);
        EXPECT_EQ(bridgeKind(threadState().config), BridgeKind::TcpIp) << "stored upper-cased";
        if (c.forRequest == Prepared::Refused) {
            EXPECT_NE(threadState().errorList.find("<error id=\"300\""), std::string::npos);
        }

        threadState() = ThreadState{};
        toolkit->pagesShown.clear();
        EXPECT_EQ(configuration::prepareRequest(threadState(), a, configuration::kForAnswerAtHand),
                  c.forAnswerAtHand);
        EXPECT_TRUE(toolkit->pagesShown.empty());
        EXPECT_EQ(threadState().errorList, "");
        EXPECT_EQ(threadState().config.VendorResultsPath.toText(), "N/A") << "paths assigned";
    }
}

}  // namespace
}  // namespace trellybridge
