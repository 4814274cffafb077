// One reset of the thread's state starts the thread afresh: what a test installed or an
// earlier request left behind in the transports, the TCP connection and the TCP table
// does not reach the next test.
#include <gtest/gtest.h>

#include "common/ThreadState.h"
#include "session/SessionWindow.h"
#include "session/Transports.h"
#include "support/TestEnvironment.h"
#include "tcp/ConnectionTable.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge {
namespace {

class SilentWebService : public session::WebServiceTransport {
public:
    std::string readPatientStream(session::SessionWindow&) override { return {}; }
};

class ThreadStateResetTest : public testing::TestEnvironment {};

TEST_F(ThreadStateResetTest, ResetStartsTheThreadAfresh) {
    auto fake = std::make_shared<SilentWebService>();
    session::setWebServiceTransport(fake);
    ASSERT_EQ(&session::webServiceTransport(), fake.get());
    tcp::connectionState().connected = true;
    tcp::connectionState().portNumber = 5001;
    tcp::tcpTableSnapshot().count = 3;
    threadState().insuranceLogPath = "c:\\elsewhere.log";

    threadState() = ThreadState{};

    EXPECT_NE(&session::webServiceTransport(), fake.get()) << "the built-in service again";
    EXPECT_EQ(fake.use_count(), 1) << "the thread no longer holds the fake";
    EXPECT_FALSE(tcp::connectionState().connected);
    EXPECT_EQ(tcp::connectionState().portNumber, 0);
    EXPECT_EQ(tcp::tcpTableSnapshot().count, 0);
    EXPECT_EQ(threadState().insuranceLogPath, kInsuranceLogFile);
}

}  // namespace
}  // namespace trellybridge
