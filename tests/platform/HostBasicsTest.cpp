// Host basics: variants, each thread's context, and the event loop's timers and watches.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <thread>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Sockets.h"
#include "platform/ThreadContext.h"
#include "platform/Toolkit.h"
#include "support/TestEnvironment.h"
#include "trellybridge/Variant.h"

namespace trellybridge {
namespace {

TEST(Variant, TextOfEachKindAndWhatCountsAsEmptyOrTrue) {
    const struct {
        Variant value;
        std::string text, lower, upper;
        bool emptyText = false, isTrue = false;
    } cases[] = {
        {Variant(), "", "", "", true},
        {Variant(""), "", "", "", true},
        {Variant(true), "True", "true", "TRUE", false, true},
        {Variant(false), "False", "false", "FALSE"},
        {Variant("True"), "True", "true", "TRUE"},  // text is never true
        {Variant(0), "0", "0", "0"},
        {Variant(20000), "20000", "20000", "20000"},
        {Variant(-7LL), "-7", "-7", "-7"},
        {Variant(2013.1), "2013.1", "2013.1", "2013.1"},
        {Variant(4.0), "4", "4", "4"},
        {Variant("TcpIp"), "TcpIp", "tcpip", "TCPIP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.value.toText(), c.text);
        EXPECT_EQ(c.value.lowerText(), c.lower);
        EXPECT_EQ(c.value.upperText(), c.upper);
        EXPECT_EQ(c.value.isEmptyText(), c.emptyText);
        EXPECT_EQ(c.value.isTrue(), c.isTrue);
        EXPECT_EQ(c.value.object(), nullptr) << "only an object reference holds one";
    }
    EXPECT_NE(Variant(1), Variant("1"));
}

TEST(Variant, StrictConversionFailsWhereLenientYieldsZero) {
    const std::tuple<Variant, std::optional<double>, double> cases[] = {
        // the value, toNumber, numericValue
        {Variant("42"), 42, 42},
        {Variant(" 42 "), 42, 42},
        {Variant("-3.5"), -3.5, -3.5},
        {Variant("+8"), 8, 8},
        {Variant("1e3"), 1000, 1000},
        {Variant("12abc"), std::nullopt, 12},
        {Variant("1 2"), std::nullopt, 12},
        {Variant("abc"), std::nullopt, 0},
        {Variant("<INVALID!>"), std::nullopt, 0},
        {Variant(""), std::nullopt, 0},
        {Variant("-"), std::nullopt, 0},
        {Variant("--5"), std::nullopt, 0},
        {Variant(), 0, 0},
        {Variant(true), -1, -1},
        {Variant(7), 7, 7},
    };
    for (const auto& [value, strict, lenient] : cases) {
        SCOPED_TRACE(value.toText());
        EXPECT_EQ(value.toNumber(), strict);
        EXPECT_EQ(value.numericValue(), lenient);
    }
    // Whole numbers round halves to even.
    const std::pair<const char*, std::optional<std::int64_t>> whole[] = {
        {"2.5", 2}, {"3.5", 4}, {"3.7", 4}, {"x", std::nullopt}};
    for (const auto& [text, rounded] : whole) EXPECT_EQ(Variant(text).toWholeNumber(), rounded);
}

class ThreadContextTest : public testing::TestEnvironment {
protected:
    struct Seen {
        int socketError;
        bool virtualClock, installedToolkit, ownLoop;
        bool operator==(const Seen&) const = default;
    };
    // What the platform layer holds for the calling thread, compared with what the test
    // installed on its own thread.
    Seen look(const ui::EventLoop* testLoop) {
        return {sockets::lastError(), &platform::clock() == &clock, &ui::toolkit() == toolkit.get(),
                &ui::EventLoop::current() != testLoop};
    }
};

TEST_F(ThreadContextTest, EachThreadStartsWithItsOwnStateAndResetGoesBackToIt) {
    EXPECT_FALSE(sockets::close(sockets::kInvalidSocket));
    const ui::EventLoop* loop = &ui::EventLoop::current();
    Seen other{};
    std::thread([&] { other = look(loop); }).join();
    EXPECT_EQ(other, (Seen{0, false, false, true}));
    EXPECT_EQ(look(loop), (Seen{10038, true, true, false}))  // WSAENOTSOCK
        << "another thread leaves this one's state alone";
    EXPECT_NE(sockets::lastErrorText(), "");
    platform::resetThreadContext();
    // The system clock and a headless toolkit again; the loop stays, as its timers
    // belong to live objects.
    EXPECT_EQ(look(loop), (Seen{0, false, false, false}));
    EXPECT_EQ(sockets::lastErrorText(), "");
}

class EventLoopTest : public testing::TestEnvironment {};

TEST_F(EventLoopTest, TimersFireByIntervalAndRestartWhenChanged) {
    std::vector<int> fast, slow;
    ui::Timer a([&] { fast.push_back(clock.tickCount()); });
    ui::Timer b([&] { slow.push_back(clock.tickCount()); });
    a.setInterval(100);
    b.setInterval(250);
    EXPECT_FALSE(ui::EventLoop::current().runOnce()) << "a disabled timer wakes nobody";
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
    b.setEnabled(false);
    a.setEnabled(true);
    a.setInterval(0);
    EXPECT_FALSE(ui::EventLoop::current().runOnce()) << "nor does one of interval 0";
    EXPECT_TRUE(ui::EventLoop::current().runOnce(5));
}

// Readiness comes in real time. A pending connection makes a listener readable; a
// descriptor that hangs up (its writer gone, or itself closed) is not watched again.
TEST_F(EventLoopTest, WatchedDescriptorWakesTheLoopUntilItHangsUp) {
    platform::setClock(nullptr);
    ui::EventLoop& loop = ui::EventLoop::current();
    sockets::Socket listener = sockets::listenOn(sockets::inetAddr("127.0.0.1"), 0);
    sockets::Socket client = sockets::createStream();
    ASSERT_TRUE(sockets::connect(client, sockets::inetAddr("127.0.0.1"),
                                 sockets::localPort(listener), 1000));
    int ready = 0;
    int handle = loop.watch(listener, [&] { ++ready; });
    loop.runOnce(1000);
    EXPECT_EQ(ready, 1);
    loop.unwatch(handle);
    loop.runOnce(0);
    EXPECT_EQ(ready, 1);
    sockets::close(client);
    sockets::close(listener);
    for (bool closeWatched : {false, true}) {
        SCOPED_TRACE(closeWatched ? "descriptor closed" : "writer gone");
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        int readyPipe = 0, hungUp = 0;
        handle = loop.watch(
            ends[0], [&] { ++readyPipe; }, [&] { ++hungUp; });
        ::close(ends[closeWatched ? 0 : 1]);
        for (int turn = 0; turn < 100; ++turn) loop.runOnce(0);
        EXPECT_LE(readyPipe, 1) << "a watcher that ignores the hang-up is not called again";
        EXPECT_EQ(hungUp, 1);
        EXPECT_FALSE(loop.watching(handle));
        ::close(ends[closeWatched ? 1 : 0]);
    }
    platform::setClock(&clock);
}

}  // namespace
}  // namespace trellybridge
