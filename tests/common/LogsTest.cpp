// The debug log and the insurance log: what they hold, where they go, and that nothing
// outside drive C is written through them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/Errors.h"
#include "common/InsuranceLog.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class DebugLogTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        RequestState& s = testing::threadRequest();
        BridgeConfiguration& c = s.config;
        c.PatientID = "1-42";
        c.NetworkBridgeType = "TCPIP";
        c.VendorFacility = "LAB1";
        c.VendorName = "MEDIC";
        c.VendorFormatType = "HL7";
        c.VendorFormatVersion = "2.3";
        c.EOFRequest = "13,28";
        c.VendorRequestTag = "<%DYNAMIC%>";
        c.AllowedRetries = 3;
        c.bridgeTimeout = "5";
        c.TCPRemoteHostName = "vendor.local";
        c.MEDICNumberDefault = "1";
        c.MEDICNumberLength = "10";
        c.MEDICNumberValidList = "1,2";
        c.MEDICuseGuarantorAddress = "false";
        c.LogInsuranceEntries = 20000;
        SessionState& ss = s.session;
        ss.rawDataReceived = "RAW";
        ss.requestText = "REQ";
        ss.startedSending = platform::LocalTime{2026, 12, 6, 14, 3, 59};
        ss.finishedSending = platform::LocalTime{2026, 12, 6, 0, 0, 1};
        ss.closePortAttempts = 1;
        ss.buildLabel = " (2013.1)";
        ss.eolFirstCode = "13";
        ss.eofFirstCode = "126";
        ss.localHostName = "clinic";
        ss.localIP = "10.0.0.2";
        ss.remoteIP = "10.0.0.9";
        ss.configuredPorts = "9991,9992,9993";
        ss.randomizedPorts = "9992,9991,9993";
        ss.lastGoodPort = "9992";
        ss.portList[0] = "9991";
        ss.portList[1] = "9992";
        ss.portList[2] = "9993";
        ss.portResults[0] = "FAILED!";
        ss.portResults[1] = "SUCCESS!";
        ss.portCount = 3;
        s.patientFound = true;
        s.reasons().record(static_cast<errc>(999), "first");
        s.reasons().record(static_cast<errc>(998), "second");
    }
    std::string dump() { return debugDump(testing::threadRequest()); }
};

TEST_F(DebugLogTest, DumpLinesByteForByte) {
    EXPECT_EQ(dump(), testing::readHostFile(TRELLYBRIDGE_TEST_DATA "/common/data/debug-dump.txt"));
}

TEST_F(DebugLogTest, SectionsFollowTheBridge) {
    BridgeConfiguration& c = testing::threadRequest().config;
    c.CommPort = "2";
    c.DTR = "true";
    c.RTS = "false";
    c.EOF_ = "false";
    c.Handshaking = "none";
    c.InputMode = "text";
    c.NullDiscard = "false";
    c.BPS = "9600";
    c.DataBits = "8";
    c.Parity = "none";
    c.StopBits = "1";
    c.FlowControl = "none";
    c.SerialTimeout = "5";
    c.HTTPSOrganizationID = "ORG";
    c.HTTPSSubjectCN = "{NO INS}";
    c.LogInsuranceEntries = "";
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"SERIAL",
         "SERIAL:: \r\n  comm port:2   DTR/RTS/EOF: true/false/false\r\n  handshaking:none    "
         "input mode:text   null discards:false\r\n  bps/data bits/parity/stop bits:9600/8/none/"
         "1\r\n  flow control:none    serial timeout:5\r\n",
         true},
        {"HTTPS", "HTTPS:: \r\n  organizationID:ORG    subjectCN:{NO INS}\r\n", false},
        {"VENDOR", "", false},
        {"FOLDERS", "", false},
    };
    for (const auto& [bridge, section, closeLine] : cases) {
        SCOPED_TRACE(bridge);
        c.NetworkBridgeType = bridge;
        std::string dump = this->dump();
        size_t start = dump.find("  request tag:<%DYNAMIC%>\r\n") + 27;
        EXPECT_EQ(dump.substr(start, dump.find("COMPANY NUMBER") - start), section);
        EXPECT_EQ(dump.find("close port attempts") != std::string::npos, closeLine);
        EXPECT_NE(dump.find("insurance.log:FALSE   maxrows:\r\n"), std::string::npos);
    }
}

TEST_F(DebugLogTest, LongAnswerAndSettingsAreShownCut) {
    std::string answer = "MSH|" + std::string(3 * kShownAnswerBytes, 'x');
    testing::threadRequest().session.rawDataReceived = answer;
    testing::threadRequest().config.PatientID = std::string(10 * kShownAnswerBytes, '7');
    testing::threadRequest().session.requestText = std::string(10 * kShownAnswerBytes, 'q');
    std::string dump = this->dump();
    EXPECT_TRUE(
        dump.ends_with("  raw data received...\r\n  " + answerForDisplay(answer) + "\r\n\r\n"));
    for (char c : {'x', '7', 'q'})
        EXPECT_EQ(dump.find(std::string(kShownAnswerBytes + 1, c)), std::string::npos) << c;
    EXPECT_NE(dump.find("PID::" + std::string(kShownAnswerBytes, '7') + "\r\n[... cut"),
              std::string::npos);
    // The error list keeps every request's errors: the newest are the ones shown.
    testing::threadRequest().errorList = std::string(2 * kShownAnswerBytes, 'e') + "<newest/>";
    EXPECT_NE(this->dump().find(" earlier bytes not shown]\r\n" +
                                std::string(kShownAnswerBytes - 9, 'e') + "<newest/>"),
              std::string::npos);
}

TEST_F(DebugLogTest, FullLogIsTurnedOverAndNeverPassesItsBound) {
    BridgeConfiguration& c = testing::threadRequest().config;  // long values: two dumps fill 64 KiB
    for (Variant* value : {&c.PatientID, &c.VendorFacility, &c.VendorName, &c.TCPRemoteHostName,
                           &c.MEDICNumberValidList, &c.VendorRequestTag})
        *value = std::string(kShownAnswerBytes, 'v');
    testing::threadRequest().session.rawDataReceived =
        testing::threadRequest().session.requestText = std::string(kShownAnswerBytes, 'r');
    const std::size_t size = dump().size();
    const std::size_t bound = 2 * size + size / 2;  // room for two dumps, not three
    ASSERT_GE(bound, 64u * 1024);
    ::setenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", std::to_string(bound).c_str(), 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(writeDebugLog(testing::threadRequest()));
        EXPECT_LE(std::filesystem::file_size(onDriveC("BRIDGEDEBUG.log")), bound) << i;
    }
    // Dumps 1-2, then 3-4 (replacing 1-2) went to .1; dump 5 started the log afresh.
    EXPECT_EQ(readDriveCFile("BRIDGEDEBUG.log"), dump());
    EXPECT_EQ(readDriveCFile("BRIDGEDEBUG.log.1"), dump() + dump());
    EXPECT_EQ(modeOf(onDriveC("BRIDGEDEBUG.log")), 0600u);
    EXPECT_EQ(modeOf(onDriveC("BRIDGEDEBUG.log.1")), 0600u);
    // A disk that fills partway through a dump takes none of it: no torn last record.
    const std::string before = readDriveCFile("BRIDGEDEBUG.log");
    rlimit saved{}, full{before.size() + size / 2, RLIM_INFINITY};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    full.rlim_max = saved.rlim_max;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &full);
    EXPECT_FALSE(writeDebugLog(testing::threadRequest()));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(readDriveCFile("BRIDGEDEBUG.log") == before) << "a torn record was left";
    // Sizes that are no sensible bound are refused and the default stays.
    for (const char* refused : {"abc", "-5", "0", "1e3", "18446744073709551615", "1", "65535"}) {
        ::setenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", refused, 1);
        EXPECT_EQ(maxDebugLogBytes(), 16u * 1024 * 1024) << refused;
        EXPECT_EQ(debugLogLimitProblem(),
                  "TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES must be a whole number "
                  "of bytes from 65536 to 1073741824, not \"" +
                      std::string(refused) + "\"");
    }
    ::unsetenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES");
}

TEST_F(DebugLogTest, FailureNoteFollowsTheErrors) {
    for (int i = 0; i < 2; ++i)
        testing::threadRequest().reasons().note(
            "could not connect to 10.0.0.9 port 9991: Connection refused");
    EXPECT_NE(dump().find("<error id=\"998\" description=\"second\">second</error>\r\n\r\n"
                          "  failure:could not connect to 10.0.0.9 port 9991: Connection "
                          "refused (2 attempts)\r\nREQUEST:: \r\n"),
              std::string::npos)
        << dump();
}

class InsuranceLogTest : public testing::TestEnvironment {
protected:
    void add(const std::string& line, long long keep) {
        InsuranceLogTurn turn;
        ASSERT_TRUE(turn.addLine(kInsuranceLogFile, line, keep));
        turn.write(keep, testing::threadRequest().reasons());
    }
};

TEST_F(InsuranceLogTest, RootLogRollsNewestFirst) {
    const struct {
        const char* name;
        std::string before;  // empty: no file
        long long keep;
        std::string after;
    } cases[] = {
        {"keep three", "a\r\nb\r\nc\r\n", 3, "n\r\na\r\nb\r\n"},
        {"missing file", "", 3, "n\r\n"},
        {"empty lines dropped", "a\r\n\r\n\r\nb\r\n", 5, "n\r\na\r\nb\r\n"},
        {"bare line feeds read", "a\nb\n", 5, "n\r\na\r\nb\r\n"},
        {"keep zero", "a\r\n", 0, ""},
        {"keep one", "a\r\nb\r\n", 1, "n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(onDriveC("BRIDGEINSURANCE.log"));
        if (!c.before.empty()) writeDriveCFile("BRIDGEINSURANCE.log", c.before);
        ::chmod(onDriveC("BRIDGEINSURANCE.log").c_str(), 0644);
        add("n", c.keep);
        EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), c.after);
        EXPECT_EQ(modeOf(onDriveC("BRIDGEINSURANCE.log")), 0600u) << "private whatever it was";
        EXPECT_EQ(testing::threadRequest().errorList, "");
    }
}

TEST_F(InsuranceLogTest, KeepAboveCapacityWritesTheCapacityNewLinesFirstAndRecords400EachTime) {
    std::string full;
    for (int i = 1; i <= kInsuranceLogCapacity; ++i) full += "old" + std::to_string(i) + "\r\n";
    writeDriveCFile("BRIDGEINSURANCE.log", full);
    add("second insurer", 30000);  // as ReturnPatient does for a patient with two insurances
    add("first insurer", 30000);
    std::string kept = "first insurer\r\nsecond insurer\r\n";
    kept += full.substr(0, full.find("old" + std::to_string(kInsuranceLogCapacity - 1) + "\r"));
    EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), kept);
    // Each recorded error appends its element, as hosts have always read the list.
    EXPECT_EQ(testing::occurrences(testing::threadRequest().errorList, "<error id=\"400\""), 2);
}

TEST_F(InsuranceLogTest, BridgeLogsFolderKeepsItsOwnRollingLogWithoutRepeats) {
    std::filesystem::create_directories(driveC / "BridgeLogs");
    writeDriveCFile("BRIDGEINSURANCE.log", "root\r\n");
    for (const char* line : {"first", "second", "third", "fourth"}) add(line, 3);
    EXPECT_EQ(readDriveCFile("BridgeLogs/BRIDGEINSURANCE.log"), "fourth\r\nthird\r\nsecond\r\n");
    EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), "root\r\n") << "the root log is left alone";
}

// A link on drive C in the place of either log, or of the insurance log's lock, leading to
// someone else's file: the file is left alone and the log's own error is recorded once.
TEST_F(InsuranceLogTest, SymbolicLinkIsNeverFollowedByEitherLog) {
    for (const std::string link :
         {"BRIDGEDEBUG.log", "BridgeLogs/BRIDGEDEBUG.log", "BRIDGEINSURANCE.log",
          "BridgeLogs/BRIDGEINSURANCE.log", "BRIDGEINSURANCE.log.lock"}) {
        SCOPED_TRACE(link);
        std::filesystem::remove_all(driveC);
        std::filesystem::create_directories(driveC);
        if (link.starts_with("BridgeLogs"))
            std::filesystem::create_directories(driveC / "BridgeLogs");
        testing::threadRequest().errorList.clear();
        const std::string content = "someone else's file\r\n";
        std::ofstream(root / "target.txt") << content;
        std::filesystem::create_symlink(root / "target.txt", onDriveC(link));
        const bool debug = link.ends_with("DEBUG.log");
        if (debug)
            EXPECT_FALSE(writeDebugLog(testing::threadRequest()));
        else
            add("n", 3);
        EXPECT_EQ(testing::readHostFile(root / "target.txt"), content);
        EXPECT_EQ(testing::occurrences(testing::threadRequest().errorList,
                                       debug ? "id=\"401\"" : "id=\"400\""),
                  1)
            << testing::threadRequest().errorList;
        std::string log = testing::readHostFile(onDriveC(link.substr(0, link.find(".lock"))));
        EXPECT_EQ(log.find("n\r\n"), std::string::npos) << "nothing written";
    }
}

// Many processes finishing a request at the same moment each add their own line. Twelve
// is more than a site runs at once, and few enough that each gets its turn within the
// writers' wait on a loaded machine, where every turn's flush to disk is slow.
TEST_F(InsuranceLogTest, ConcurrentWritersKeepEveryLine) {
    constexpr int kWriters = 12;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    std::set<std::string> expected;
    for (int i = 0; i < kWriters; ++i) {
        expected.insert("patient " + std::to_string(i) + "\r");
        pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);                  // a writer that hangs must not hang the test
            platform::setClock(nullptr);  // the writers wait for each other in real time
            ::close(start[1]);
            char go;
            if (::read(start[0], &go, 1) < 0) ::_exit(3);  // returns at EOF: all start at once
            testing::threadRequest().errorList.clear();
            InsuranceLogTurn turn;
            turn.addLine(kInsuranceLogFile, "patient " + std::to_string(i), 1000);
            turn.write(1000, testing::threadRequest().reasons());
            ::_exit(testing::threadRequest().errorList.empty() ? 0 : 1);
        }
        ASSERT_GT(child, 0);
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    std::istringstream log(readDriveCFile("BRIDGEINSURANCE.log"));
    std::set<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.insert(line);
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace trellybridge
