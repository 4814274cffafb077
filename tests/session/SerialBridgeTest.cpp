// The SERIAL bridge end to end: GetPatient over a pseudo-terminal whose other end is a
// vendor served from the test's own loop, on the virtual clock.
#include <gtest/gtest.h>

#include "Answers.h"
#include "SampleRequest.h"
#include "common/FailureNote.h"
#include "session/ProgressWindow.h"
#include "session/SerialLine.h"
#include "session/SerialPeer.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using vendorsim::Format;

class SerialBridgeTest : public testing::RequestFixture {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        ASSERT_TRUE(peer.open());
        peer.mapAs(3);
        // The settings pages' serial defaults, as a site starts from, on COM3.
        GetPatientArguments defaults = testing::pageDefaultArguments();
        a = vendorsim::sampleRequest("12345", "SERIAL", "STANDARD", 3);
        using A = GetPatientArguments;
        for (Variant A::*field :
             {&A::Handshaking, &A::InputMode, &A::BPS, &A::DataBits, &A::Parity, &A::StopBits,
              &A::InputLength, &A::RThreshold, &A::SThreshold, &A::SerialTimeout})
            a.*field = defaults.*field;
        a.VendorName = "ACME";
        a.AllowedRetries = "3";
    }
    void TearDown() override {
        ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        TestEnvironment::TearDown();
    }
    // Runs the request; how long it took, and when each request reached the vendor
    // counted from its start.
    int run() {
        int start = clock.tickCount();
        peer.requests.clear();
        found = comm.GetPatient(a).isTrue();
        for (auto& request : peer.requests) request.atMs -= start;
        return clock.tickCount() - start;
    }
    bool portOpen() {
        const serial::CommControl* control =
            session::serialControl(session::progressWindow().engine().bridge());
        return control && control->portOpen();
    }

    testing::SerialPeer peer;
    bool found = false;
};

// The host never closes a request that found its patient: each next request must still find
// its own patient, so the patients alternate.
TEST_F(SerialBridgeTest, FindsThePatientAndClosesThePort) {
    const struct {
        Format format;
        const char* inputLength;
        const char* patient;
        const char* lastName;
    } cases[] = {
        {Format::Standard, "1", "12345", "DOE"},
        // The whole answer at once: the chunk holds the end and more.
        {Format::Standard, "0", "20001", "RIVERA"},
        {Format::Hl7, "1", "12345", "DOE"},
        {Format::Hl7, "7", "20001", "RIVERA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vendorsim::formatName(c.format) + " InputLength " + c.inputLength);
        a.PatientID = c.patient;
        bool hl7 = c.format == Format::Hl7;
        a.VendorFormatType = vendorsim::formatName(c.format);
        a.EOFCharacter = hl7 ? "28" : "126";
        a.InputLength = c.inputLength;
        a.VendorRequestTag = hl7 ? "<%DYNAMIC%>" : "ACCT=";
        // The HL7 query ends with CR FS of its own; the line adds its end characters.
        const std::string requestEnd = hl7 ? "\r\x1c" : "\r\n";
        peer.requestEnd = std::string(hl7 ? "\r\x1c" : "") + requestEnd;
        // The vendor answers with the patient the request asks for.
        peer.script = [format = c.format, end = hl7 ? '\x1c' : '~'](const std::string& request) {
            std::string account = vendorsim::requestedAccount(format, request);
            for (const vendorsim::SamplePatient& patient : vendorsim::builtInPatients())
                if (patient.account == account) return vendorsim::answerFor(format, patient) + end;
            return std::string();
        };
        toolkit->progressLines.clear();

        int elapsed = run();
        EXPECT_TRUE(found);
        EXPECT_EQ(comm.get_p1PatientLastName().toText(), c.lastName);
        ASSERT_EQ(peer.requests.size(), 1u) << "the port opened again and the request went out";
        EXPECT_EQ(peer.requests[0].bytes, testing::threadRequest().session.requestText + requestEnd)
            << "the request and its end characters, nothing more";
        EXPECT_EQ(peer.requests[0].atMs, 5000);
        EXPECT_EQ(elapsed, 6000) << "closed on the tick after the answer";
        const std::string sent =
            "Sending: " + testing::threadRequest().session.requestText + "\r\n";
        for (std::string_view line :
             {"Connected to:  COM3", sent.c_str(), "Waiting...\r\n",
              "Attempting to close serial port...\r\n", "  closing COM3\r\n\r\n"})
            EXPECT_TRUE(toolkit->showedLine(line)) << line;
        EXPECT_FALSE(portOpen());
    }
}

TEST_F(SerialBridgeTest, WithoutAWholeAnswerSendsEveryTimeoutThenCloses) {
    const struct {
        const char* what;
        const char* rThreshold;
        const char* reply;  // null: the vendor is silent
        const char* kind;   // part of an answer is cut off, not a silent line
    } cases[] = {
        {"a silent vendor", "1", nullptr, "unreachable"},
        {"RThreshold 0 raises no event: the answer is never read", "0", "H|1|DOE~", "unreachable"},
        {"data without the end character is no answer", "1", "H|1|DOE|JOHN", "incomplete"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        a.RThreshold = c.rThreshold;
        std::string reply = c.reply ? c.reply : "";
        peer.script = [reply](const std::string&) { return reply; };
        int elapsed = run();
        std::vector<int> sentAt;
        for (const auto& request : peer.requests) sentAt.push_back(request.atMs);
        EXPECT_EQ(sentAt, (std::vector<int>{5000, 10000, 15000}));
        EXPECT_EQ(elapsed, 21000) << "closePending on tick 20, closed on the next";
        EXPECT_FALSE(found);
        EXPECT_FALSE(portOpen());
        comm.ReturnPatient();
        EXPECT_EQ(comm.get_FailureKind(), Variant(c.kind));
    }
}

TEST_F(SerialBridgeTest, PortThatCannotBeConfiguredShowsTheBoxOnEveryAttempt) {
    const struct {
        const char* what;
        const char* bps;
        const char* commPort;
        const char* failure = "could not open COM";  // how the failure begins
    } cases[] = {
        {"a rate the line has not", "9601", "3"},
        {"no such port", "9600", "4"},
        {"a port that is no number", "9600", "INVALID"},
        // The control takes ports 1 to 255 only: the failure names the device asked for.
        {"port 0", "9600", "0", "could not open COM0 (no device: ports are numbered from 1)"},
        {"port 256", "9600", "256", "could not open COM256 (/dev/ttyS255): Invalid port number"},
    };
    a.DisplayDebugger = "true";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        a.BPS = c.bps;
        a.CommPort = c.commPort;
        toolkit->messageBoxes.clear();
        run();
        EXPECT_FALSE(found);
        EXPECT_TRUE(peer.requests.empty());
        EXPECT_EQ(
            std::count(toolkit->messageBoxes.begin(), toolkit->messageBoxes.end(),
                       "Attention!: Undetermined ERROR loading one or more serial properties"),
            3);
        EXPECT_TRUE(testing::threadRequest().failures.text().starts_with(c.failure))
            << testing::threadRequest().failures.text();
    }
}

TEST_F(SerialBridgeTest, ParityOtherThanNoneStillRunsWithoutAndPageStopBitsApply) {
    const struct {
        const char* stopBits;  // as the settings page offers them, or as the control takes them
        const char* applied;
    } cases[] = {
        {"2", "19200,N,8,2"},
        {"2.0", "19200,N,8,2"},
        {"1.0", "19200,N,8,1"},
        {"1.5", "19200,N,8,2"},  // 1.5 exists with 5 data bits only: the line uses 2
    };
    a.Parity = "even";
    a.BPS = "19200";
    a.Handshaking = "RTS";  // compared in lower case
    a.AllowedRetries = "1";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopBits);
        a.StopBits = c.stopBits;
        std::string settings;
        int handshaking = -1;
        peer.script = [&](const std::string&) {
            serial::CommControl::LineState line =
                session::serialControl(session::progressWindow().engine().bridge())->lineState();
            settings = line.settings;
            handshaking = line.handshaking;
            return std::string();
        };
        run();
        EXPECT_EQ(settings, c.applied) << testing::threadRequest().failures.text();
        EXPECT_EQ(handshaking, 2);
    }
}

TEST_F(SerialBridgeTest, AnswerThatFindsNobodyEndsAtOnceWithThePortClosed) {
    const struct {
        const char* what;
        const char* format;
        std::string answer;
        const char* maxAnswerBytes;
    } cases[] = {
        {"no patient record", "STANDARD", "THIS IS NOT A PATIENT RECORD~", nullptr},
        {"a format the component does not read", "CSV", "12345,DOE,JOHN~", nullptr},
        {"an answer past the size limit", "STANDARD", std::string(1100, 'x') + "~", "1024"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.maxAnswerBytes) ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.maxAnswerBytes, 1);
        a.VendorFormatType = c.format;
        a.EOFRequest = "13,10";  // a format without its own request end
        a.InputLength = "0";
        std::string answer = c.answer;
        peer.script = [answer](const std::string&) { return answer; };
        int elapsed = run();
        EXPECT_FALSE(found) << "data that arrived is no patient";
        EXPECT_EQ(peer.requests.size(), 1u);
        EXPECT_LE(elapsed, 6000);
        EXPECT_FALSE(portOpen());
    }
}

TEST_F(SerialBridgeTest, LineThatHangsUpMidAnswerEndsWithoutSpinning) {
    peer.script = [this](const std::string&) {
        peer.line.write("H|1|DOE|JO");
        peer.hangUp();
        return std::string();
    };
    run();
    EXPECT_FALSE(found);
    EXPECT_FALSE(toolkit->loopCutShort);
    EXPECT_LT(toolkit->loopTurns, 200)
        << "a vanished device must not wake the loop again and again";
    EXPECT_TRUE(toolkit->showedText("hung up"));
    EXPECT_FALSE(portOpen());
}

TEST_F(SerialBridgeTest, LineThatNeverGoesQuietEndsWithinItsBound) {
    const struct {
        const char* what;
        std::string beat;            // what the line sends every 400 ms, more often than a tick
        const char* maxAnswerBytes;  // null: the usual limit
        int endsByMs;
    } cases[] = {
        // Each arrival restarts the wait, up to the session's bound in time.
        {"a heartbeat", ".", nullptr, (3 + 2) * 5 * 1000 + 1000},
        // Past the answer limit the session closes on the next tick, flood or not.
        {"a flood past the answer limit", std::string(600, 'A'), "1024", 5000 + 1000 + 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.maxAnswerBytes) ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.maxAnswerBytes, 1);
        std::string beat = c.beat;
        ui::Timer heartbeat([this, beat] { peer.line.write(beat); });
        heartbeat.setInterval(400);
        heartbeat.setEnabled(true);
        toolkit->progressLines.clear();
        int elapsed = run();
        heartbeat.setEnabled(false);
        EXPECT_FALSE(found);
        EXPECT_FALSE(toolkit->loopCutShort);
        EXPECT_LE(elapsed, c.endsByMs);
        EXPECT_FALSE(portOpen());
        EXPECT_LE(std::count(toolkit->progressLines.begin(), toolkit->progressLines.end(),
                             "Receiving..."),
                  3)
            << "the status is shown when it changes, not for every arrival";
    }
}

TEST_F(SerialBridgeTest, LineThatSendsAsFastAsItIsReadEndsWithinItsBound) {
    // Each byte read is shown, and showing it takes the reader a millisecond: the line
    // has the next byte waiting every time the reader looks, within one event.
    toolkit->setProgressSink([this](ui::ProgressKind, std::string_view) { clock.advance(1); });
    a.InputLength = "1";  // the default: one byte per read
    a.SerialTimeout = "1";
    a.AllowedRetries = "1";
    peer.script = [](const std::string&) { return std::string(8192, 'A'); };
    int elapsed = run();
    // The bound: the attempts and the wait before the close, two ticks more than the
    // one attempt (3 x 1000 ms); closing takes the tick after it.
    EXPECT_LE(elapsed, 3000 + 1000) << "the reading went on past the session's bound";
    EXPECT_FALSE(found);
    EXPECT_FALSE(toolkit->loopCutShort);
    EXPECT_FALSE(portOpen());
    EXPECT_NE(testing::threadRequest().failures.text().find("kept sending past the session's time"),
              std::string::npos)
        << testing::threadRequest().failures.text();
}

}  // namespace
}  // namespace trellybridge
