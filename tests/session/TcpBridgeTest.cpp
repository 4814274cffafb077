// GetPatient over TCP/IP as sites meet it: the vendor simulator and vendors played by the
// test on loopback, connections that reset, signals in the host process, odd retry counts,
// the vendor on another host, the fast pace (over a serial line too), and GetPatientData. The run
// loop ticks on the virtual clock; the sockets wait in real time, each wait bounded.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "Answers.h"
#include "VendorSimulator.h"
#include "common/FailureNote.h"
#include "platform/SettingsStore.h"
#include "session/EnhancedWindow.h"
#include "session/ProgressWindow.h"
#include "session/SerialLine.h"
#include "session/SerialPeer.h"
#include "session/TcpFixture.h"
#include "support/ScriptedPeer.h"

namespace trellybridge {
namespace {

using testing::ScriptedPeer;
using vendorsim::Fault;
using vendorsim::SimulatorOptions;
using vendorsim::VendorSimulator;
using Script = ScriptedPeer::Script;

// The HL7 answer for the sample patient 12345, with its end character.
std::string hl7Answer() {
    return vendorsim::answerFor(vendorsim::Format::Hl7, vendorsim::builtInPatients()[0]) + "\x1c\r";
}

class TcpBridgeTest : public testing::TcpFixture {
protected:
    std::unique_ptr<VendorSimulator> simulator(SimulatorOptions options = {}) {
        auto started = std::make_unique<VendorSimulator>(std::move(options));
        std::string error;
        EXPECT_TRUE(started->start(error)) << error;
        return started;
    }
    const SessionState& session() { return testing::threadRequest().session; }
};

// The stored port is tried first; refused, the session moves on to the next, which answers and
// becomes the last good port.
TEST_F(TcpBridgeTest, RequestBytesAreExactAndTheAnswerIsParsed) {
    auto vendor = simulator();
    SimulatorOptions refusing;
    refusing.fault = Fault::Refuse;
    auto deadPort = simulator(refusing);
    std::string dead = std::to_string(deadPort->ports()[0]),
                live = std::to_string(vendor->ports()[0]);
    a.TCPRemotePorts = dead + "," + live;
    store->set("Properties", "LastGoodPort", dead);
    EXPECT_TRUE(fetch());
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
    ASSERT_EQ(vendor->queries().size(), 1u);
    EXPECT_EQ(vendor->queries()[0],
              "\vMSH|^~\\&|LUMAK|ORVEL|MEDIC|LAB1|202612060941+0000^S||QRY^Q01|0001|P|2.3|\r"
              "QRD|202612060941+0000^S|R|I|0001|||1^RD|12345|DEM|||T|\r\x1c\r\x1c\r\n");
    EXPECT_EQ(session().portList[0], dead);
    EXPECT_EQ(session().portResults[0], "FAILED!");
    EXPECT_EQ(session().portResults[1], "SUCCESS!");
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), live);
    EXPECT_TRUE(toolkit->showedLine("Verifying port availability...\r\n"));
    EXPECT_TRUE(toolkit->showedText(" send attempt  <successful>!"));
    EXPECT_TRUE(toolkit->showedText(" parse.attempt          <successful>!"));
    EXPECT_EQ(session().phaseTrail,
              (std::vector<std::string>{"Prepare -> Connect", "Connect -> Receive",
                                        "Receive -> Parse", "Parse -> Parsed"}));
}

// {MLLP} frames the request as one block and reads the answer's; the simulator speaking MLLP
// strictly answers nothing else. Acknowledgements end as what they say.
TEST_F(TcpBridgeTest, MllpBlocksAndAcknowledgementsEndAsTheySay) {
    const struct {
        const char* name;
        bool strictMllp;
        const char* keywords;
        Fault fault;
        const char* patient;
        const char* kind;  // empty: found
    } cases[] = {
        {"a block to a strict listener", true, "{MLLP}", Fault::None, "12345", ""},
        {"the plain request to a strict listener", true, "", Fault::None, "12345", "unreachable"},
        {"an error acknowledgement", false, "", Fault::ErrorAck, "12345", "refused"},
        {"a reject acknowledgement in a block", true, "{MLLP}", Fault::RejectAck, "12345",
         "refused"},
        {"an accepted query that found nobody", true, "{MLLP}", Fault::None, "99999",
         "not on file"},
        {"text that is no HL7", false, "", Fault::Garbage, "12345", "unreadable"},
    };
    a.AllowedRetries = "0";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorOptions options;
        options.mllp = c.strictMllp;
        options.fault = c.fault;
        std::vector<std::string> said;
        VendorSimulator vendor(options, [&said](const std::string& line) { said.push_back(line); });
        std::string error;
        ASSERT_TRUE(vendor.start(error)) << error;
        a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
        a.HTTPSSubjectCN = c.keywords;
        a.PatientID = c.patient;
        EXPECT_EQ(fetch(), !*c.kind) << testing::threadRequest().failures.text();
        comm.ReturnPatient();
        EXPECT_EQ(comm.get_FailureKind(), Variant(c.kind))
            << testing::threadRequest().failures.text();
        vendor.stop();
        ASSERT_FALSE(vendor.queries().empty());
        if (*c.keywords) {
            EXPECT_EQ(
                vendor.queries()[0],
                "\vMSH|^~\\&|LUMAK|ORVEL|MEDIC|LAB1|202612060941+0000^S||QRY^Q01|0001|P|2.3|\r"
                "QRD|202612060941+0000^S|R|I|0001|||1^RD|" +
                    std::string(c.patient) + "|DEM|||T|\r\x1c\r");
        }
        bool refusedBlock = std::any_of(said.begin(), said.end(), [](const std::string& line) {
            return line.starts_with("not an MLLP block");
        });
        EXPECT_EQ(refusedBlock, c.strictMllp && !*c.keywords);
        comm.closeConnection();
    }
}

// The stored port goes first when its text occurs in the configured list (as a substring, or
// with its blank); every port is tried once, and a list used up leaves no last good port.
TEST_F(TcpBridgeTest, StoredPortIsTriedFirstAndEveryPortOnce) {
    auto stored = std::make_shared<platform::IniSettingsStore>((root / "settings.ini").string());
    platform::setSettingsStore(stored);
    std::set<std::string> closed;
    for (int i = 0; i < 30 && closed.size() < 3; ++i)
        closed.insert(std::to_string(testing::closedPort()));
    ASSERT_EQ(closed.size(), 3u);
    const std::vector<std::string> ports(closed.begin(), closed.end());
    a.TCPRemotePorts = ports[0] + "," + ports[1] + ", " + ports[2];  // as an administrator types
    a.AllowedRetries = "0";
    const struct {
        std::string stored;
        bool first;
        int count;
    } cases[] = {
        {ports[1], true, 3},
        {" " + ports[2], true, 3},
        {ports[0].substr(0, 2), true, 4},
        {"x9", false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        stored->set("Properties", "LastGoodPort", c.stored);
        toolkit->progressLines.clear();
        EXPECT_FALSE(fetch());
        EXPECT_EQ(session().portList[0] == c.stored, c.first);
        EXPECT_EQ(session().portCount, c.count);
        EXPECT_EQ(session().portResults[c.count - 1], "FAILED!");
        std::string progress;
        for (const std::string& line : toolkit->progressLines) progress += line;
        for (const std::string& port : ports)
            EXPECT_EQ(testing::occurrences(progress, port + "  <unsuccessful>!"), 1);
        EXPECT_EQ(stored->get("Properties", "LastGoodPort"), "") << "the list was used up";
        comm.closeConnection();
    }
}

TEST_F(TcpBridgeTest, LastGoodPortNamesThePortThatAnswered) {
    // The vendor answers on the first port's connection after the session has given up
    // waiting there and moved to the second port.
    ScriptedPeer slow(testing::answers({hl7Answer()}, 1500));
    std::string slowPort = std::to_string(slow.port());
    a.TCPRemotePorts = slowPort + "," + std::to_string(testing::closedPort());
    a.AllowedRetries = "0";
    store->set("Properties", "LastGoodPort", slowPort);
    EXPECT_TRUE(fetch());
    EXPECT_EQ(session().portList[0], slowPort);
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), slowPort);
}

// An answer that stops before its end character (a reset, a half-close, a close) is cut
// off, never a patient: its insurances would be lost without a word. Only where no end
// character is configured does the vendor's close, or a second's pause, end the answer.
TEST_F(TcpBridgeTest, BrokenConnectionsEndAsASiteExpects) {
    auto streamWithoutEnd = [](sockets::Socket connection) {
        testing::readRequest(connection);
        std::string block(64 * 1024, 'A');
        for (int i = 0; i < 64 && sockets::send(connection, block, 2000) > 0; ++i) {
        }
    };
    // Sends `part` of the answer (without its end character), then ends as `end` says.
    auto sends = [](double part, const char* end) -> Script {
        return [part, end](sockets::Socket connection) {
            testing::readRequest(connection);
            std::string answer = hl7Answer();
            sockets::send(connection,
                          answer.substr(0, static_cast<size_t>((answer.size() - 2) * part)), 2000);
            if (*end == 'r') testing::resetConnection(connection);
            if (*end == 'h') sockets::shutdown(connection, 1);
            if (*end == 'h' || *end == 'o')
                testing::readRequest(connection, 5000);  // until it goes
        };
    };
    struct {
        const char* name;
        std::vector<Script> connections;
        const char* kind;                      // empty: found
        const char* progress;                  // a line the user sees on the way
        int receiveFailures;                   // 327s in the debug dump's story
        const char* maxAnswerBytes = nullptr;  // TRELLYBRIDGE_MAX_ANSWER_BYTES
        const char* keywords = "";
        const char* endCharacter = "28";
    } cases[] = {
        {"resets the first connection, answers the second",
         {testing::resetsAfterRequest, testing::answers({hl7Answer()})},
         "",
         " open.reattempt.port.",
         1},
        // One note for the three attempts.
        {"streams without end", std::vector<Script>(3, streamWithoutEnd), "unreachable",
         " answer too large: more than 200000 bytes", 1, "200000"},
        {"resets half-way", std::vector<Script>(3, sends(0.5, "r")), "incomplete",
         " answer cut off: ", 1},
        {"half-closes half-way", std::vector<Script>(3, sends(0.5, "h")), "incomplete",
         " answer cut off: ", 1},
        {"closes half-way", std::vector<Script>(3, sends(0.5, "c")), "incomplete",
         " answer cut off: ", 1},
        {"closes inside the MLLP block", std::vector<Script>(3, sends(0.5, "c")), "incomplete",
         " answer cut off: ", 1, nullptr, "{MLLP}"},
        {"no end character configured: the close ends the answer",
         {sends(1, "c")},
         "",
         " parse.attempt",
         0,
         nullptr,
         "",
         ""},
        {"no end character configured: a second's pause ends it",
         {sends(1, "open")},
         "",
         " parse.attempt",
         0,
         nullptr,
         "",
         ""},
    };
    std::filesystem::create_directories(driveC / "BridgeLogs");
    a.DisplayDebugger = "true";
    a.SerialTimeout = "8";  // the page default: eight seconds before an attempt gives up
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.maxAnswerBytes) ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.maxAnswerBytes, 1);
        std::filesystem::remove(driveC / "BridgeLogs" / "BRIDGEDEBUG.log");
        toolkit->progressLines.clear();
        a.HTTPSSubjectCN = c.keywords;
        a.EOFCharacter = c.endCharacter;
        {
            ScriptedPeer peer(c.connections);
            a.TCPRemotePorts = std::to_string(peer.port());
            auto began = std::chrono::steady_clock::now();
            EXPECT_EQ(fetch(), !*c.kind);
            EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(8))
                << "a vendor that goes quiet is not waited for to the end of each attempt";
            comm.ReturnPatient();
            EXPECT_EQ(comm.get_FailureKind(), Variant(c.kind));
            comm.closeConnection();
        }
        ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        EXPECT_TRUE(toolkit->showedText(c.progress)) << c.progress;
        std::string dump = readDriveCFile("BridgeLogs/BRIDGEDEBUG.log");
        EXPECT_EQ(testing::occurrences(dump, "error 327"), c.receiveFailures) << dump;
        if (!*c.kind) {
            EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"))
                << "the answer was read whole";
        }
    }
}

TEST_F(TcpBridgeTest, SignalsDoNotCutTheAnswerShort) {
    // A host that handles a signal without SA_RESTART: every wait is interrupted.
    struct sigaction handler {
    }, previous{};
    handler.sa_handler = [](int) {};
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = 0;
    ASSERT_EQ(::sigaction(SIGUSR1, &handler, &previous), 0);

    auto inTwoParts = [](sockets::Socket connection) {
        testing::readRequest(connection);
        std::string answer = hl7Answer();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sockets::send(connection, answer.substr(0, answer.size() / 2), 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        sockets::send(connection, answer.substr(answer.size() / 2), 5000);
        testing::readRequest(connection, 2000);
    };
    ScriptedPeer peer(inTwoParts);
    a.TCPRemotePorts = std::to_string(peer.port());
    pthread_t requester = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread signaller([&] {
        for (int i = 0; i < 60 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            ::pthread_kill(requester, SIGUSR1);
        }
    });
    bool found = fetch();
    done = true;
    signaller.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(found);
    EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"));
}

// A second network namespace joined to this one by a veth pair: a vendor at an
// address that is not loopback, as at a site.
class OtherHost {
public:
    OtherHost() {
        std::string n = std::to_string(20 + ::getpid() % 200);
        vendorAddress_ = "10.77." + n + ".2";
        ready_ = shell(
            "ip netns add $NS && ip link add $H type veth peer name $V && "
            "ip link set $V netns $NS && ip addr add 10.77." +
            n +
            ".1/24 dev $H && "
            "ip link set $H up && ip -n $NS addr add " +
            vendorAddress_ +
            "/24 dev $V && "
            "ip -n $NS link set $V up && ip -n $NS link set lo up");
    }
    ~OtherHost() { shell("ip netns pids $NS | xargs -r kill; ip link del $H; ip netns del $NS"); }
    bool ready() const { return ready_; }
    const std::string& vendorAddress() const { return vendorAddress_; }

    // Starts the simulator inside, for a minute at most; true once it accepts connections
    // from here.
    bool startVendor(int port) {
        ::setenv("TRELLYBRIDGE_TEST_CLI", TRELLYBRIDGE_CLI_PATH, 1);  // any path, kept whole
        shell("ip netns exec $NS \"$TRELLYBRIDGE_TEST_CLI\" vendor-sim --listen " + vendorAddress_ +
              " --port " + std::to_string(port) + " --format STANDARD --run-for 60 &");
        for (int i = 0; i < 100; ++i) {
            sockets::Socket probe = sockets::createStream();
            bool up = sockets::connect(probe, sockets::inetAddr(vendorAddress_),
                                       static_cast<std::uint16_t>(port), 200);
            sockets::close(probe);
            if (up) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

private:
    // Runs `command` quietly, with the namespace and the two ends of the pair named.
    static bool shell(const std::string& command) {
        std::string pid = std::to_string(::getpid());
        std::string named = "NS=tbvendor" + pid + " H=tbh" + pid + " V=tbv" + pid + "; (" +
                            command + ") >/dev/null 2>&1";
        return std::system(named.c_str()) == 0;
    }

    std::string vendorAddress_;
    bool ready_ = false;
};

TEST_F(TcpBridgeTest, ReachesAVendorOnAnotherHostWithDefaultSettings) {
    OtherHost other;
    if (!other.ready())
        GTEST_SKIP() << "no second network namespace could be made here (this needs root or "
                        "CAP_NET_ADMIN and iproute2), so a vendor on another host cannot be "
                        "reached";
    ASSERT_TRUE(other.startVendor(9000));
    // The settings pages' defaults (the STANDARD format among them, its lines ended by
    // CR LF), with only what a site must name: the host and the port. No {LOCAL IP:...} pin. The
    // second run looks this machine up as a standard install does, where its name
    // resolves to a loopback address.
    for (const char* localName : {"", "LOCALHOST"}) {
        SCOPED_TRACE(*localName ? localName : "this machine's name");
        testing::threadRequest().session.localHostName = localName;
        testing::threadRequest().session.localIP.clear();
        GetPatientArguments site = testing::pageDefaultArguments(true);
        site.PatientID = "12345";
        site.NetworkBridgeType = "TCPIP";
        site.TCPRemoteHostName = other.vendorAddress();
        site.TCPRemotePorts = "9000";
        EXPECT_TRUE(comm.GetPatient(site).isTrue())
            << testing::threadRequest().failures.text() << testing::threadRequest().errorList
            << session::progressWindow().progressLog;
        EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
        comm.closeConnection();
    }
}

// The fast pace against the standard schedule: the same vendor behaviour gives the same
// result, properties, errors, progress lines and debug log, and a vendor that never
// answers ends the request at the same (virtual) time.
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

// Each vendor behaviour ends as promised and alike in both paces, and the fast pace waits only
// where nothing came. The sample patient's answer carries a 12000-byte field: a found patient
// was read whole.
TEST_F(PaceTest, OverTcpFaultsEndAsPromisedAndAlikeInBothPaces) {
    const struct {
        const char* name;
        Fault fault;
        bool found;
        const char* progress;  // a line the user sees on the way
        // The fast pace's end: "alike" when nothing to wait for ever came, "at once" when the
        // answer was there as soon as it was awaited, "spaced" when each attempt failed
        // outright (one TimeDelay apart, then the end), else "sooner"; empty where what the
        // session sees depends on when, in real time, the vendor acts (not run fast).
        std::string fastEnd;
    } cases[] = {
        {"answers", Fault::None, true, " parse.attempt          <successful>!", "at once"},
        {"split into two packets half a second apart", Fault::Split, true,
         " receive.attempt  <successful>!", "at once"},
        {"slow within the session time-out", Fault::Slow, true,
         " parse.attempt          <successful>!", ""},
        {"silent", Fault::Silent, false, " send attempt  <successful>!", "alike"},
        {"closes at once", Fault::CloseAtOnce, false, "Attempting to send: ", ""},
        // Another patient's answer is read again on each tick until the attempts run out.
        {"answers for another patient", Fault::WrongPatient, false,
         "Patient ID returned does not match ID submitted.\r12345 <--> 20001", "alike"},
        {"answers garbage", Fault::Garbage, false, "  THIS IS NOT A PATIENT RECORD", "sooner"},
        {"refuses", Fault::Refuse, false, " open.reattempt.port.", "spaced"},
    };
    a.SerialTimeout = "3";  // a whole answer may take three seconds
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorOptions options;
        options.fault = c.fault;
        options.delayMs = 1500;
        options.patients[0].fields["p2ICD9Description1"] = std::string(12000, 'D');
        VendorSimulator vendor(options);
        std::string error;
        ASSERT_TRUE(vendor.start(error)) << error;
        a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
        auto started = std::chrono::steady_clock::now();
        Outcome scheduled = run(false);
        EXPECT_EQ(scheduled.found, c.found);
        EXPECT_TRUE(toolkit->showedText(c.progress, true)) << c.progress;
        if (!c.fastEnd.empty()) {
            Outcome fast = run(true);
            expectSameOutcome(scheduled, fast);
            if (c.fastEnd == "alike")
                EXPECT_EQ(fast.elapsedMs, scheduled.elapsedMs);
            else if (c.fastEnd == "at once")
                EXPECT_EQ(fast.elapsedMs, 0) << "nothing waited on: no tick was needed";
            else if (c.fastEnd == "spaced")  // AllowedRetries 1: two attempts over TCP/IP
                EXPECT_EQ(fast.elapsedMs, a.TimeDelay.numericValue());
            else
                EXPECT_LT(fast.elapsedMs, scheduled.elapsedMs);
        }
        // Guards a hang only: each run ends within the 3 s session time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
        if (c.found) {
            const std::vector<std::string>& p = scheduled.properties;
            for (std::string read : {"p2ICD9Description1=" + std::string(12000, 'D'),
                                     std::string("i2InsuredCompanyName=HEARTLAND MUTUAL")})
                EXPECT_NE(std::find(p.begin(), p.end(), read), p.end()) << "read whole";
        }
    }
}

TEST_F(PaceTest, OverASerialLineTheFastPaceEndsAlike) {
    testing::SerialPeer vendor;
    ASSERT_TRUE(vendor.open());
    vendor.mapAs(3);
    a = vendorsim::sampleRequest("12345", "SERIAL", "STANDARD", 3);
    a.DisplayDebugger = "true";
    a.AllowedRetries = "1";
    a.InputLength = "0";
    a.SerialTimeout = "5";
    const struct {
        const char* name;
        const char* reply;  // null: the patient's answer; empty: the vendor is silent
        bool found;
    } cases[] = {
        {"answers", nullptr, true},
        {"garbage", "THIS IS NOT A PATIENT RECORD~", false},
        {"silent", "", false},
    };
    for (const auto& c : cases) {
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

// However many ticks SerialTimeout holds, the fast pace runs each step once what it awaits
// has happened.
TEST_F(PaceTest, FastPaceStaysFastPastAMillionTicksOfTimeOut) {
    VendorSimulator vendor({});
    std::string error;
    ASSERT_TRUE(vendor.start(error)) << error;
    a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
    a.SerialTimeout = std::to_string((1 << 20) + 5);
    Outcome fast = run(true);
    EXPECT_TRUE(fast.found);
    EXPECT_EQ(fast.elapsedMs, 0);
}

// GetPatientData against vendors on loopback: peers played by the test, a serial line,
// and the vendor simulator with default settings.
constexpr const char* kSearch =
    "<SearchOn>PID</SearchOn><PatientID>3-1001</PatientID><CompanyID>"
    "</CompanyID>";
constexpr const char* kSent =
    "<SearchInfo><SearchIndex>1</SearchIndex><SearchOn>PID</SearchOn><PatientID>1001</PatientID>"
    "<CompanyID>3</CompanyID></SearchInfo>\r\n";

// A request for `search` from a vendor on loopback at `port`; `parameters` adds to the
// bridge parameters, which by default allow two attempts a step, one tick apart.
std::string request(std::uint16_t port, const std::string& search = kSearch,
                    const std::string& parameters =
                        "<AllowedRetries>1</AllowedRetries>"
                        "<SerialTimeout>1</SerialTimeout>"
                        "<Debug>false</Debug>") {
    return "<Request><UserInfo><UserName>nurse</UserName></UserInfo><SearchInfo>" + search +
           "</SearchInfo><BridgeParameters><NetworkBridgeType>TCPIP</NetworkBridgeType>"
           "<TCPRemoteHostName>127.0.0.1</TCPRemoteHostName><TCPRemotePorts>" +
           std::to_string(port) + "</TCPRemotePorts>" + parameters +
           "</BridgeParameters></Request>";
}

class EnhancedSessionTest : public testing::RequestFixture {};

TEST_F(EnhancedSessionTest, VendorAnswersBecomeTheResult) {
    const struct {
        const char* name;
        std::vector<std::string> segments;
        const char* result;
    } cases[] = {
        {"a result in three segments, ending in lower case",
         {"<Result><TransactionID>5</Trans", "actionID><Patient>A</Patient>", "</result>\r\n"},
         "<Result><TransactionID>5</TransactionID><RecordCount>1</RecordCount><Patient>A</Patient>"
         "</result>"},
        {"nothing",
         {},
         "<Result><RecordCount>0</RecordCount><Error>No records found matching the request!"
         "</Error></Result>"},
    };
    // A vendor that answers resets the first connection once the request is in, so the answer
    // comes to the resent request. No search is closed before the next: each must get only its
    // own result.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string received;
        std::vector<Script> connections{testing::resetsAfterRequest,
                                        testing::answers(c.segments, 0, &received)};
        if (c.segments.empty())
            connections = {
                [&](sockets::Socket connection) { received = testing::readRequest(connection); }};
        ScriptedPeer vendor(connections);
        EXPECT_EQ(search(request(vendor.port())), c.result);
        EXPECT_EQ(received, kSent) << "no end-of-request characters, CR LF after the section";
    }
    EXPECT_TRUE(session::enhancedWindow().caption.ends_with(" with RDZ"));
}

TEST_F(EnhancedSessionTest, SilentVendorGivesTheErrorForm) {
    ScriptedPeer silent([](sockets::Socket connection) {
        testing::readRequest(connection);
        testing::readRequest(connection, 10000);  // until the session gives up and closes
    });
    EXPECT_EQ(search(request(silent.port())),
              "<Result><RecordCount>0</RecordCount><Error>Error 328. No patient found or timeout "
              "waiting for response</Error></Result>");
}

TEST_F(EnhancedSessionTest, SearchOverASerialLineEndsAtTheEndCharacter) {
    testing::SerialPeer vendor;
    ASSERT_TRUE(vendor.open());
    vendor.mapAs(3);
    vendor.script = [](const std::string&) {
        return std::string("<Result><TransactionID>7</TransactionID><Patient>A</Patient>") +
               "<Patient>B</Patient></Result>~";
    };
    const std::string request =
        "<Request><SearchInfo>" + std::string(kSearch) +
        "</SearchInfo><BridgeParameters><NetworkBridgeType>SERIAL</NetworkBridgeType>"
        "<VendorFormatType>XML</VendorFormatType><ComPort>3</ComPort><BitsPerSecond>9600"
        "</BitsPerSecond><DataBits>8</DataBits><StopBits>1</StopBits><Handshaking>none"
        "</Handshaking><InputMode>text</InputMode><InputLength>0</InputLength><RThreshold>1"
        "</RThreshold><SThreshold>1</SThreshold><EOFCharacter>126</EOFCharacter>"
        "<AllowedRetries>2</AllowedRetries><SerialTimeout>1</SerialTimeout><Debug>false</Debug>"
        "</BridgeParameters></Request>";
    std::string result = search(request);
    EXPECT_EQ(result,
              "<Result><TransactionID>7</TransactionID><RecordCount>2</RecordCount><Patient>A"
              "</Patient><Patient>B</Patient></Result>");
    ASSERT_EQ(vendor.requests.size(), 1u);
    EXPECT_EQ(vendor.requests[0].bytes, kSent) << "the search and CR LF, as over TCP/IP";
    auto* control = session::serialControl(session::enhancedWindow().engine().bridge());
    EXPECT_TRUE(control && !control->portOpen()) << "the port is closed";
}

// The site's settings left to their defaults: five ticks of a second before each step, the
// debug log written, nothing pinned. Only the bridge, the vendor and the attempts are given.
TEST_F(EnhancedSessionTest, SimulatorFindsEachKindOfSearchWithDefaultSettings) {
    vendorsim::VendorSimulator simulator{vendorsim::SimulatorOptions{}};
    std::string error;
    ASSERT_TRUE(simulator.start(error)) << error;
    const struct {
        const char* name;
        const char* search;
        const char* patient;  // the one account found
    } cases[] = {
        {"identifier", "<SearchOn>PID</SearchOn><PatientID>20001</PatientID>", "20001"},
        {"last name", "<SearchOn>NAME</SearchOn><LastName>doe</LastName>", "12345"},
        {"first name", "<SearchOn>NAME</SearchOn><FirstName>Emeka</FirstName>", "30002"},
        {"social security number", "<SearchOn>SSN</SearchOn><Social>123456789</Social>", "12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string result =
            search(request(simulator.ports()[0], c.search, "<AllowedRetries>2</AllowedRetries>"));
        comm.closeEnhancedBridgeConnection();
        EXPECT_NE(result.find("<RecordCount>1</RecordCount>"), std::string::npos) << result;
        EXPECT_NE(result.find(std::string("<PatientID>") + c.patient + "</PatientID>"),
                  std::string::npos)
            << result;
    }
    std::string log = readDriveCFile("BRIDGEDEBUG.log");
    EXPECT_EQ(testing::occurrences(log, "REQUEST:: "), 4);
    EXPECT_NE(log.find("  <SearchInfo><SearchIndex>3</SearchIndex>"), std::string::npos);
}

}  // namespace
}  // namespace trellybridge
