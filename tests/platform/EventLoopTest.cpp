#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/EventLoop.h"
#include "platform/Sockets.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class EventLoopTest : public testing::TestEnvironment {};

TEST_F(EventLoopTest, TimersFireByIntervalAndRestartWhenChanged) {
    std::vector<int> fast, slow;
    ui::Timer a([&] { fast.push_back(clock.tickCount()); });
    ui::Timer b([&] { slow.push_back(clock.tickCount()); });
    a.setInterval(100);
    b.setInterval(250);
    a.setEnabled(true);
    b.setEnabled(true);
    while (clock.tickCount() < 500) ui::EventLoop::current().runOnce();
    EXPECT_EQ(fast, (std::vector<int>{100, 200, 300, 400, 500}));
    EXPECT_EQ(slow, (std::vector<int>{250, 500}));
    a.setEnabled(false);
    b.setInterval(1000);  // restarts the countdown
    while (clock.tickCount() < 1500) ui::EventLoop::current().runOnce();
    EXPECT_EQ(fast.size(), 5u);
    EXPECT_EQ(slow.back(), 1500);
}

TEST_F(EventLoopTest, NothingToWaitForEndsTheWait) {
    ui::Timer idle;
    idle.setInterval(100);
    EXPECT_FALSE(ui::EventLoop::current().runOnce()) << "a disabled timer wakes nobody";
    idle.setEnabled(true);
    idle.setInterval(0);
    EXPECT_FALSE(ui::EventLoop::current().runOnce()) << "nor does one of interval 0";
    EXPECT_TRUE(ui::EventLoop::current().runOnce(5));
}

TEST_F(EventLoopTest, WatchedDescriptorWakesTheLoop) {
    platform::setClock(nullptr);  // readiness comes in real time
    sockets::Socket listener = sockets::listenOn(sockets::inetAddr("127.0.0.1"), 0);
    sockets::Socket client = sockets::createStream();
    ASSERT_TRUE(sockets::connect(client, sockets::inetAddr("127.0.0.1"),
                                 sockets::localPort(listener), 1000));
    int ready = 0;
    int handle = ui::EventLoop::current().watch(listener, [&] { ++ready; });
    ui::EventLoop::current().runOnce(1000);
    EXPECT_EQ(ready, 1) << "the pending connection makes the listener readable";
    ui::EventLoop::current().unwatch(handle);
    ui::EventLoop::current().runOnce(0);
    EXPECT_EQ(ready, 1);
    sockets::close(client);
    sockets::close(listener);
    platform::setClock(&clock);
}

struct HangUpCase {
    const char* what;
    bool closeWriter;   // the other end goes: a hang-up
    bool closeWatched;  // the watched descriptor itself is closed: an invalid one
};

TEST_F(EventLoopTest, DescriptorThatHangsUpIsNotWatchedAgain) {
    platform::setClock(nullptr);
    const HangUpCase cases[] = {{"writer gone", true, false}, {"descriptor closed", false, true}};
    for (const HangUpCase& c : cases) {
        SCOPED_TRACE(c.what);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        int ready = 0, hungUp = 0;
        ui::EventLoop& loop = ui::EventLoop::current();
        int handle = loop.watch(
            ends[0], [&] { ++ready; }, [&] { ++hungUp; });
        if (c.closeWriter) ::close(ends[1]);
        if (c.closeWatched) ::close(ends[0]);
        for (int turn = 0; turn < 100; ++turn) loop.runOnce(0);
        EXPECT_LE(ready, 1) << "a watcher that ignores the hang-up is not called again";
        EXPECT_EQ(hungUp, 1);
        EXPECT_FALSE(loop.watching(handle));
        if (!c.closeWriter) ::close(ends[1]);
        if (!c.closeWatched) ::close(ends[0]);
    }
    platform::setClock(&clock);
}

}  // namespace
}  // namespace trellybridge
