// The fast pace against the standard schedule: the same vendor behaviour gives the same
// result, properties, errors, progress lines and debug log, and a vendor that never
// answers ends the request at the same (virtual) time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "Answers.h"
#include "VendorSimulator.h"
#include "common/ThreadState.h"
#include "session/SerialPeer.h"
#include "session/TcpFixture.h"
#include "support/ScriptedPeer.h"

namespace trellybridge {
namespace {

using vendorsim::Fault;

// What a request leaves for the host and the user to see.
struct Outcome {
    bool found = false;
    std::vector<std::string> properties;
    std::vector<std::string> progress;
    std::string debugLog;
    int elapsedMs = 0;
};

std::string maskedDigits(const std::string& text) {
    return std::regex_replace(text, std::regex("[0-9]"), "#");
}

class PaceTest : public testing::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        a.DisplayDebugger = "true";  // the debug log is compared too
        a.AllowedRetries = "1";
        std::filesystem::create_directories(driveC / "BridgeLogs");
    }
    void TearDown() override {
        ::unsetenv("TRELLYBRIDGE_PACE");
        TcpFixture::TearDown();
    }
    Outcome run(bool fast) {
        if (fast)
            ::setenv("TRELLYBRIDGE_PACE", "fast", 1);
        else
            ::unsetenv("TRELLYBRIDGE_PACE");
        std::filesystem::remove(driveC / "BridgeLogs" / "BRIDGEDEBUG.log");
        store->set("Properties", "LastGoodPort", "");  // each pace starts from the same settings
        toolkit->progressLines.clear();
        Outcome outcome;
        int started = clock.tickCount();
        outcome.found = fetch();
        outcome.elapsedMs = clock.tickCount() - started;
        comm.ReturnPatient();
        for (int i = 0; i < kResultPropertyCount; ++i) {
            auto which = static_cast<ResultProperty>(i);
            std::string value = comm.property(which).toText();
            // The dump's times differ between any two runs.
            if (which == ResultProperty::DebugDataDump) value = maskedDigits(value);
            outcome.properties.push_back(std::string(propertyName(which)) + "=" + value);
        }
        for (const std::string& line : toolkit->progressLines)
            if (!line.starts_with("Pace: fast")) outcome.progress.push_back(maskedDigits(line));
        std::string log = testing::readHostFile(driveC / "BridgeLogs" / "BRIDGEDEBUG.log");
        for (size_t at = log.find("  pace:fast\r\n"); at != std::string::npos;
             at = log.find("  pace:fast\r\n"))
            log.erase(at, 13);
        outcome.debugLog = maskedDigits(log);
        comm.closeConnection();
        return outcome;
    }
    void expectSameOutcome(const Outcome& scheduled, const Outcome& fast) {
        EXPECT_EQ(fast.found, scheduled.found);
        EXPECT_EQ(fast.properties, scheduled.properties);
        EXPECT_EQ(fast.progress, scheduled.progress);
        EXPECT_EQ(fast.debugLog, scheduled.debugLog);
        EXPECT_FALSE(scheduled.debugLog.empty());
    }
};

struct TcpPaceCase {
    const char* name;
    Fault fault;
    bool found;
    bool sameEnd;         // nothing to wait for ever came: both paces end at the same time
    bool resets = false;  // the vendor reads the request and resets the connection
};

TEST_F(PaceTest, OverTcpTheFastPaceEndsAlikeAndWaitsOnlyWhereNothingCame) {
    const TcpPaceCase cases[] = {
        {"answers", Fault::None, true, false},
        {"split answer", Fault::Split, true, false},
        // Another patient's answer is read again on each tick until the attempts run out.
        {"another patient", Fault::WrongPatient, false, true},
        {"garbage", Fault::Garbage, false, false},

        {"refuses", Fault::Refuse, false, true},
        {"silent", Fault::Silent, false, true},
    };
    for (const TcpPaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        vendorsim::SimulatorOptions options;
        options.fault = c.fault;
        options.splitDelayMs = 200;
        vendorsim::VendorSimulator vendor(options);
        std::string error;
        ASSERT_TRUE(vendor.start(error)) << error;
        a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
        a.SerialTimeout = "5";
        Outcome scheduled = run(false);
        Outcome fast = run(true);
        EXPECT_EQ(scheduled.found, c.found);
        expectSameOutcome(scheduled, fast);
        if (c.sameEnd)
            EXPECT_EQ(fast.elapsedMs, scheduled.elapsedMs);
        else if (c.found)
            EXPECT_EQ(fast.elapsedMs, 0) << "nothing waited on: no tick was needed";
        else
            EXPECT_LT(fast.elapsedMs, scheduled.elapsedMs);
    }
}

// A vendor that resets each connection as soon as the request is in: on the real clock,
// since on the virtual one the reset's real-time latency counts ticks in one pace only.
TEST_F(PaceTest, OverTcpAResetIsSeenAlikeInBothPaces) {
    platform::setClock(nullptr);
    a.TimeDelay = "50";
    a.SerialTimeout = "2";
    auto reset = [](sockets::Socket connection) {
        std::string request;
        if (sockets::waitReadable(connection, 3000) == 1)
            sockets::receive(connection, request, 10000);
        testing::resetConnection(connection);
    };
    Outcome outcomes[2];
    for (int fast = 0; fast < 2; ++fast) {
        testing::ScriptedPeer vendor(std::vector<testing::ScriptedPeer::Script>(4, reset));
        a.TCPRemotePorts = std::to_string(vendor.port());
        outcomes[fast] = run(fast != 0);
    }
    platform::setClock(&clock);
    EXPECT_FALSE(outcomes[0].found);
    expectSameOutcome(outcomes[0], outcomes[1]);
}

struct SerialPaceCase {
    const char* name;
    const char* reply;  // null: the patient's answer; empty: the vendor is silent
    bool found;
};

TEST_F(PaceTest, OverASerialLineTheFastPaceEndsAlike) {
    testing::SerialPeer vendor;
    ASSERT_TRUE(vendor.open());
    vendor.mapAs(3);
    a = vendorsim::sampleRequest("12345", "SERIAL", "STANDARD", 3);
    a.DisplayDebugger = "true";
    a.AllowedRetries = "1";
    a.InputLength = "0";
    a.SerialTimeout = "5";
    const SerialPaceCase cases[] = {
        {"answers", nullptr, true},
        {"garbage", "THIS IS NOT A PATIENT RECORD~", false},
        {"silent", "", false},
    };
    for (const SerialPaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reply = c.reply ? c.reply
                                    : vendorsim::answerFor(vendorsim::Format::Standard,
                                                           vendorsim::builtInPatients().front()) +
                                          "~";
        vendor.script = [reply](const std::string&) { return reply; };
        Outcome scheduled = run(false);
        Outcome fast = run(true);
        EXPECT_EQ(scheduled.found, c.found);
        expectSameOutcome(scheduled, fast);
        if (reply.empty())
            EXPECT_EQ(fast.elapsedMs, scheduled.elapsedMs);
        else
            EXPECT_LT(fast.elapsedMs, scheduled.elapsedMs);
    }
}

}  // namespace
}  // namespace trellybridge
