// Host basics: variants, the paths the component uses, and each thread's context.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Sockets.h"
#include "platform/ThreadContext.h"
#include "platform/Toolkit.h"
#include "support/TestEnvironment.h"
#include "trellybridge/Variant.h"

namespace trellybridge {
namespace {

struct TextCase {
    Variant value;
    std::string text, lower, upper;
};

TEST(Variant, TextOfEachKind) {
    const TextCase cases[] = {
        {Variant(), "", "", ""},
        {Variant(true), "True", "true", "TRUE"},
        {Variant(false), "False", "false", "FALSE"},
        {Variant(20000), "20000", "20000", "20000"},
        {Variant(-7LL), "-7", "-7", "-7"},
        {Variant(2013.1), "2013.1", "2013.1", "2013.1"},
        {Variant(4.0), "4", "4", "4"},
        {Variant("TcpIp"), "TcpIp", "tcpip", "TCPIP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.toText(), c.text);
        EXPECT_EQ(c.value.lowerText(), c.lower);
        EXPECT_EQ(c.value.upperText(), c.upper);
    }
}

struct NumberCase {
    Variant value;
    std::optional<double> strict;
    double lenient;
};

TEST(Variant, StrictConversionFailsWhereLenientYieldsZero) {
    const NumberCase cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toText());
        EXPECT_EQ(c.value.toNumber(), c.strict);
        EXPECT_EQ(c.value.numericValue(), c.lenient);
    }
}

TEST(Variant, WholeNumberRoundsHalvesToEven) {
    EXPECT_EQ(Variant("2.5").toWholeNumber(), 2);
    EXPECT_EQ(Variant("3.5").toWholeNumber(), 4);
    EXPECT_EQ(Variant("3.7").toWholeNumber(), 4);
    EXPECT_EQ(Variant("x").toWholeNumber(), std::nullopt);
}

TEST(Variant, EmptinessAndTruth) {
    EXPECT_TRUE(Variant().isEmptyText());
    EXPECT_TRUE(Variant("").isEmptyText());
    EXPECT_FALSE(Variant(0).isEmptyText());
    EXPECT_TRUE(Variant(true).isTrue());
    EXPECT_FALSE(Variant("True").isTrue());
    EXPECT_EQ(Variant(Variant("a")), Variant("a"));
    EXPECT_NE(Variant(1), Variant("1"));
}

TEST(Variant, HoldsObjectReferences) {
    auto object = std::make_shared<Object>();
    Variant held(object);
    EXPECT_EQ(held.kind(), Variant::Kind::Object);
    EXPECT_EQ(held.object(), object);
    EXPECT_EQ(Variant("x").object(), nullptr);
}

class PathsTest : public testing::TestEnvironment {};

TEST_F(PathsTest, SplitsWindowsAndPosixPaths) {
    EXPECT_EQ(fs::fileNameOf("c:\\vendor\\patient.dat"), "patient.dat");
    EXPECT_EQ(fs::fileNameOf("patient.dat"), "patient.dat");
    EXPECT_EQ(fs::folderPartOf("c:\\vendor\\patient.dat"), "c:\\vendor\\");
    EXPECT_EQ(fs::folderPartOf("patient.dat"), "");
    EXPECT_EQ(fs::fileNameOf("/opt/vendor/answer"), "answer");
    EXPECT_EQ(fs::folderPartOf("/opt/vendor/answer"), "/opt/vendor/");
}

TEST_F(PathsTest, FolderContainsAnEntryWhateverItsCase) {
    writeDriveCFile("vendor/patient.dat", "x");
    std::filesystem::create_directories(driveC / "vendor" / "Sub");
    EXPECT_TRUE(fs::folderContains("c:\\vendor", "PATIENT.DAT"));
    EXPECT_TRUE(fs::folderContains(" c:\\vendor\\ ", "sub"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "other.dat"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "patient.da"));
    EXPECT_FALSE(fs::folderContains("c:\\missing", "patient.dat"));
}

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
