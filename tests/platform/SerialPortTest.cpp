// The serial-port control on a pseudo-terminal: what reaches the line, who may open it,
// and when it raises its events.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/EventLoop.h"
#include "platform/SerialPort.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class SerialPortTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        platform::setClock(nullptr);  // the line lives in real time
        std::string error;
        ASSERT_TRUE(vendor.open(error)) << error;
        mapPort(vendor.devicePath());
        control.setCommPort(1);
        control.setOnComm([this](serial::CommEvent event) { events.push_back(event); });
    }
    void TearDown() override {
        serial::setDeviceMapping({});
        platform::setClock(&clock);
        TestEnvironment::TearDown();
    }
    static void mapPort(const std::string& path) {
        serial::setDeviceMapping(
            [path](int port) -> std::optional<std::string> { return port == 1 ? path : ""; });
    }
    // Runs the loop until `done` or a second has passed.
    template <typename Done>
    void runUntil(Done done) {
        for (int turn = 0; turn < 50 && !done(); ++turn) ui::EventLoop::current().runOnce(20);
    }
    int errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const serial::CommError& e) {
            return e.number();
        }
        return 0;
    }

    serial::PseudoTerminal vendor;
    serial::CommControl control;
    std::vector<serial::CommEvent> events;
};

TEST_F(SerialPortTest, LineTakesTheSettingsInRawModeOrRefusesThemAndBoundsItsOutput) {
    const std::tuple<const char*, int, const char*> cases[] = {
        // the settings, the handshaking, what reads back (null: the line refuses them)
        {"9600,N,8,1", 0, "9600,N,8,1"},
        {"19200,N,8,2", 1, "19200,N,8,2"},
        {"115200,n,8,1.5", 2, "115200,N,8,2"},
        {"4800,N,8,1", 3, "4800,N,8,1"},
        // A pseudo-terminal always carries 8 data bits without parity: only reading the
        // settings back shows that they did not take.
        {"9600,N,7,1", 0, nullptr},
        {"9600,E,8,1", 0, nullptr},
    };
    for (const auto& [settings, handshaking, readBack] : cases) {
        SCOPED_TRACE(settings);
        control.setSettings(settings);
        control.setHandshaking(handshaking);
        if (!readBack) {
            EXPECT_EQ(errorOf([&] { control.setPortOpen(true); }), 8015);
            EXPECT_FALSE(control.portOpen());
            continue;
        }
        control.setPortOpen(true);
        serial::CommControl::LineState line = control.lineState();
        EXPECT_EQ(line.settings, readBack);
        EXPECT_EQ(line.handshaking, handshaking);
        EXPECT_TRUE(line.raw);
        control.setPortOpen(false);
    }
    // The bytes that a cooked line would take for signals or translate go through as sent.
    control.setSettings("9600,N,8,1");
    control.setPortOpen(true);
    control.output(std::string("A\r\x1c\x03\n", 5));
    std::string received;
    while (received.size() < 5 && vendor.read(received, 1000)) {
    }
    EXPECT_EQ(received, std::string("A\r\x1c\x03\n", 5));
    // When nobody reads the vendor's side, the line's buffers fill and stay full: output
    // fails within its bound, and the port stays open.
    EXPECT_EQ(errorOf([&] { control.output(std::string(4 << 20, 'x'), 200); }), 1010);
    EXPECT_TRUE(control.portOpen());
}

TEST_F(SerialPortTest, PropertiesTheControlRejects) {
    const std::pair<std::function<void()>, int> cases[] = {
        {[&] { control.setSettings("9601,N,8,1"); }, 380},
        {[&] { control.setSettings("9600,X,8,1"); }, 380},
        {[&] { control.setSettings("9600,N,9,1"); }, 380},
        {[&] { control.setSettings("9600,N,8"); }, 380},
        {[&] { control.setSettings("INVALID,N,INVALID,INVALID"); }, 380},
        {[&] { control.setHandshaking(4); }, 380},
        {[&] { control.setInputMode(2); }, 380},
        {[&] { control.setCommPort(0); }, 8002},
        {[&] { control.output("x"); }, 8018},
    };
    for (const auto& [action, number] : cases) EXPECT_EQ(errorOf(action), number);
    EXPECT_EQ(control.settings(), "9600,N,8,1") << "a rejected value leaves the property as it was";
}

TEST_F(SerialPortTest, OnlyATerminalDeviceOpens) {
    std::string file = root.string() + "/not-a-line";
    std::ofstream(file) << "data";
    std::string fifo = root.string() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, fifo, root.string() + "/missing", root.string()}) {
        SCOPED_TRACE(path);
        mapPort(path);
        EXPECT_EQ(errorOf([&] { control.setPortOpen(true); }), 8002);
        EXPECT_FALSE(control.portOpen());
    }
    // A character device that is no terminal (a watchdog would start counting on a
    // write-open) is looked at read-only and never opened to write.
    std::string device = root.string() + "/null-device";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device node can be made here: " << std::strerror(errno);
    int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, device.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    mapPort(device);
    EXPECT_EQ(errorOf([&] { control.setPortOpen(true); }), 8002);
    alignas(inotify_event) char buffer[4096];
    ssize_t got = ::read(opens, buffer, sizeof buffer);
    ::close(opens);
    ASSERT_GT(got, 0) << "the device was looked at through a descriptor";
    for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        EXPECT_FALSE(event->mask & IN_CLOSE_WRITE) << "opened to write";
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
}

// While the control holds the line nobody else may open it; once let go, the line is as
// it was found and the next user may.
TEST_F(SerialPortTest, PortIsHeldByOneUserAtATimeAndGivenBackAsItWasFound) {
    int other = ::open(vendor.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0);
    termios cooked{};
    ASSERT_EQ(::tcgetattr(other, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL;
    ASSERT_EQ(::tcsetattr(other, TCSANOW, &cooked), 0);
    control.setPortOpen(true);
    serial::CommControl next;
    next.setCommPort(1);
    EXPECT_EQ(errorOf([&] { next.setPortOpen(true); }), 8010);
    EXPECT_EQ(errorOf([&] { control.setPortOpen(true); }), 8005);
    EXPECT_EQ(errorOf([&] { control.setCommPort(2); }), 8005);
    control.setPortOpen(false);
    termios after{};
    ASSERT_EQ(::tcgetattr(other, &after), 0);
    ::close(other);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), ICANON | ECHO | ISIG);
    EXPECT_EQ(after.c_iflag & ICRNL, tcflag_t{ICRNL});
    EXPECT_NO_THROW(next.setPortOpen(true));
}

// What waited on the line before the first open is dropped, not read as the answer.
TEST_F(SerialPortTest, ReceiveEventAtTheThresholdAndReadsOfInputLen) {
    ASSERT_TRUE(vendor.write("an earlier patient"));
    const struct {
        int rThreshold;
        int inputLen;
        std::vector<std::string> chunks;  // what Input returns after all has come
        bool eventRaised;
    } cases[] = {
        {1, 1, {"A", "B", "C", "D", "E"}, true},
        {5, 2, {"AB", "CD", "E"}, true},
        {6, 0, {"ABCDE"}, false},  // fewer bytes than the threshold raise nothing
        {0, 0, {"ABCDE"}, false},  // threshold 0: no events at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rThreshold);
        events.clear();
        control.setRThreshold(c.rThreshold);
        control.setInputLen(c.inputLen);
        control.setPortOpen(true);
        ASSERT_TRUE(vendor.write("ABCDE"));
        runUntil([&] { return control.inBufferCount() == 5 && !events.empty(); });
        for (int turn = 0; turn < 3; ++turn) ui::EventLoop::current().runOnce(10);
        EXPECT_EQ(!events.empty(), c.eventRaised);
        EXPECT_EQ(control.inBufferCount(), 5);
        std::vector<std::string> chunks;
        while (control.inBufferCount() > 0 && chunks.size() < 10) chunks.push_back(control.input());
        EXPECT_EQ(chunks, c.chunks);
        control.setPortOpen(false);
    }
}

TEST_F(SerialPortTest, HangUpClosesThePortAndIsReportedOnce) {
    control.setRThreshold(1);
    control.setPortOpen(true);
    vendor.hangUp();
    runUntil([&] { return !control.portOpen(); });
    for (int turn = 0; turn < 20; ++turn) ui::EventLoop::current().runOnce(5);
    EXPECT_FALSE(control.portOpen());
    EXPECT_EQ(events, std::vector<serial::CommEvent>{serial::CommEvent::HangUp});
    EXPECT_NO_THROW(control.close()) << "closing a closed port does nothing";
    // The device went away with its line, and its name is not another line's while the
    // vendor lives: opening it again fails rather than reaching a stranger.
    serial::PseudoTerminal next;
    std::string error;
    ASSERT_TRUE(next.open(error)) << error;
    EXPECT_NE(next.devicePath(), vendor.devicePath());
    EXPECT_EQ(errorOf([&] { control.setPortOpen(true); }),
              static_cast<int>(serial::CommErrorCode::PortInvalid));
}

}  // namespace
}  // namespace trellybridge
