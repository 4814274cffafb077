#include "platform/ThreadContext.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "platform/Toolkit.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class ThreadContextTest : public testing::TestEnvironment {};

struct Seen {
    int socketError = -1;
    bool virtualClock = true;
    bool installedToolkit = true;
    bool ownLoop = false;
};

// What the platform layer holds for the calling thread, compared with what the test
// installed on its own thread.
Seen look(const platform::Clock* testClock, const ui::Toolkit* testToolkit,
          const ui::EventLoop* testLoop) {
    return {sockets::lastError(), &platform::clock() == testClock, &ui::toolkit() == testToolkit,
            &ui::EventLoop::current() != testLoop};
}

TEST_F(ThreadContextTest, EachThreadStartsWithItsOwnState) {
    EXPECT_FALSE(sockets::close(sockets::kInvalidSocket));
    ASSERT_EQ(sockets::lastError(), 10038);  // WSAENOTSOCK
    const ui::EventLoop* loop = &ui::EventLoop::current();

    Seen other;
    std::thread([&] { other = look(&clock, toolkit.get(), loop); }).join();
    EXPECT_EQ(other.socketError, 0);
    EXPECT_FALSE(other.virtualClock);
    EXPECT_FALSE(other.installedToolkit);
    EXPECT_TRUE(other.ownLoop);

    Seen here = look(&clock, toolkit.get(), loop);
    EXPECT_EQ(here.socketError, 10038) << "another thread leaves this one's state alone";
    EXPECT_TRUE(here.virtualClock);
    EXPECT_TRUE(here.installedToolkit);
    EXPECT_FALSE(here.ownLoop);
}

TEST_F(ThreadContextTest, ResetGoesBackToANewThreadsState) {
    EXPECT_FALSE(sockets::close(sockets::kInvalidSocket));
    ASSERT_NE(sockets::lastErrorText(), "");
    const ui::EventLoop* loop = &ui::EventLoop::current();
    platform::resetThreadContext();
    Seen after = look(&clock, toolkit.get(), loop);
    EXPECT_EQ(after.socketError, 0);
    EXPECT_EQ(sockets::lastErrorText(), "");
    EXPECT_FALSE(after.virtualClock) << "the system clock again";
    EXPECT_FALSE(after.installedToolkit) << "a headless toolkit again";
    EXPECT_FALSE(after.ownLoop) << "the loop stays: its timers belong to live objects";
}

}  // namespace
}  // namespace trellybridge
