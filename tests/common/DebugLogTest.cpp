#include <gtest/gtest.h>

#include <fstream>

#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class DebugLogTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        ThreadState& s = threadState();
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
        ss.buildLabel = " (2013.1)";
        ss.eofFirstCode = "126";
        ss.eolFirstCode = "13";
        ss.localHostName = "clinic";
        ss.localIP = "10.0.0.2";
        ss.remoteIP = "10.0.0.9";
        ss.configuredPorts = "9991,9992,9993";
        ss.lastGoodPort = "9992";
        ss.randomizedPorts = "9992,9991,9993";
        ss.portList[0] = "9991";
        ss.portResults[0] = "FAILED!";
        ss.portList[1] = "9992";
        ss.portResults[1] = "SUCCESS!";
        ss.portList[2] = "9993";
        ss.portCount = 3;
        ss.startedSending = platform::LocalTime{2026, 12, 6, 14, 3, 59};
        ss.finishedSending = platform::LocalTime{2026, 12, 6, 0, 0, 1};
        ss.closePortAttempts = 1;
        ss.requestText = "REQ";
        ss.rawDataReceived = "RAW";
        s.patientFound = true;
        threadState().reasons().record(static_cast<errc>(999), "first");
        threadState().reasons().record(static_cast<errc>(998), "second");
    }
};

TEST_F(DebugLogTest, DumpLinesByteForByte) {
    EXPECT_EQ(debugDump(threadState()),
              testing::readHostFile(TRELLYBRIDGE_TEST_DATA "/common/data/debug-dump.txt"));
}

TEST_F(DebugLogTest, SectionsFollowTheBridge) {
    BridgeConfiguration& c = threadState().config;
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
         "input mode:text   "
         "null discards:false\r\n  bps/data bits/parity/stop bits:9600/8/none/1\r\n  flow "
         "control:none    serial "
         "timeout:5\r\n",
         true},
        {"HTTPS", "HTTPS:: \r\n  organizationID:ORG    subjectCN:{NO INS}\r\n", false},
        {"VENDOR", "", false},
        {"FOLDERS", "", false},
    };
    for (const auto& [bridge, section, closeLine] : cases) {
        SCOPED_TRACE(bridge);
        c.NetworkBridgeType = bridge;
        std::string dump = debugDump(threadState());
        size_t start = dump.find("  request tag:<%DYNAMIC%>\r\n") + 27;
        size_t end = dump.find("COMPANY NUMBER");
        EXPECT_EQ(dump.substr(start, end - start), section);
        EXPECT_EQ(dump.find("close port attempts") != std::string::npos, closeLine);
        EXPECT_NE(dump.find("insurance.log:FALSE   maxrows:\r\n"), std::string::npos);
    }
    EXPECT_NE(debugDump(threadState()).find("REQUEST:: \r\n  (n/a for folders style bridge)\r\n"),
              std::string::npos);
}

TEST_F(DebugLogTest, DumpsAccumulateInTheChosenFile) {
    EXPECT_TRUE(writeDebugLog(threadState()));
    EXPECT_TRUE(writeDebugLog(threadState()));
    std::string log = readDriveCFile("BRIDGEDEBUG.log");
    EXPECT_EQ(log, debugDump(threadState()) + debugDump(threadState()));
    EXPECT_EQ(modeOf(onDriveC("BRIDGEDEBUG.log")), 0600u);

    std::filesystem::create_directories(driveC / "BridgeLogs");
    EXPECT_TRUE(writeDebugLog(threadState()));
    EXPECT_EQ(readDriveCFile("BridgeLogs/BRIDGEDEBUG.log"), debugDump(threadState()));

    std::filesystem::remove_all(driveC / "BridgeLogs");
    std::filesystem::remove(onDriveC("BRIDGEDEBUG.log"));
    std::filesystem::create_directories(driveC / "BRIDGEDEBUG.log");
    threadState().errorList.clear();
    EXPECT_FALSE(writeDebugLog(threadState()));
    EXPECT_NE(threadState().errorList.find("ORVEL LOG: unable to save debug log"),
              std::string::npos);
}

TEST_F(DebugLogTest, LongAnswerAndSettingsAreShownCut) {
    std::string answer = "MSH|" + std::string(3 * kShownAnswerBytes, 'x');
    threadState().session.rawDataReceived = answer;
    threadState().config.PatientID = std::string(10 * kShownAnswerBytes, '7');
    threadState().session.requestText = std::string(10 * kShownAnswerBytes, 'q');
    std::string dump = debugDump(threadState());
    EXPECT_TRUE(
        dump.ends_with("  raw data received...\r\n  " + answerForDisplay(answer) + "\r\n\r\n"));
    for (char c : {'x', '7', 'q'})
        EXPECT_EQ(dump.find(std::string(kShownAnswerBytes + 1, c)), std::string::npos) << c;
    EXPECT_NE(dump.find("PID::" + std::string(kShownAnswerBytes, '7') + "\r\n[... cut"),
              std::string::npos);
}

TEST_F(DebugLogTest, FullLogIsTurnedOverAndNeverPassesItsBound) {
    const std::size_t dump = debugDump(threadState()).size();
    const std::size_t bound = 2 * dump + dump / 2;  // room for two dumps, not three
    ::setenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", std::to_string(bound).c_str(), 1);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(writeDebugLog(threadState()));
        EXPECT_LE(std::filesystem::file_size(onDriveC("BRIDGEDEBUG.log")), bound);
    }
    // Dumps 1-2, then 3-4 (replacing 1-2) went to .1; dump 5 started the log afresh.
    EXPECT_EQ(readDriveCFile("BRIDGEDEBUG.log"), debugDump(threadState()));
    EXPECT_EQ(readDriveCFile("BRIDGEDEBUG.log.1"),
              debugDump(threadState()) + debugDump(threadState()));
    EXPECT_EQ(modeOf(onDriveC("BRIDGEDEBUG.log.1")), 0600u);
    ::setenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", "12", 1);  // less than a dump: cut to fit
    EXPECT_TRUE(writeDebugLog(threadState()));
    EXPECT_EQ(readDriveCFile("BRIDGEDEBUG.log"), debugDump(threadState()).substr(0, 12));
    ::unsetenv("TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES");
    EXPECT_EQ(maxDebugLogBytes(), 16u * 1024 * 1024);
}

TEST_F(DebugLogTest, FailureNoteFollowsTheErrors) {
    threadState().reasons().note("could not connect to 10.0.0.9 port 9991: Connection refused");
    threadState().reasons().note("could not connect to 10.0.0.9 port 9991: Connection refused");
    EXPECT_NE(debugDump(threadState())
                  .find("<error id=\"998\" description=\"second\">second</error>\r\n"
                        "\r\n"
                        "  failure:could not connect to 10.0.0.9 port 9991: Connection "
                        "refused (2 attempts)\r\n"
                        "REQUEST:: \r\n"),
              std::string::npos)
        << debugDump(threadState());
}

struct DebugLinkCase {
    const char* name;
    std::string link;  // relative to drive C
};

TEST_F(DebugLogTest, SymbolicLinkIsNeverWrittenThrough) {
    const DebugLinkCase cases[] = {
        {"root log", "BRIDGEDEBUG.log"},
        {"log in BridgeLogs", "BridgeLogs/BRIDGEDEBUG.log"},
    };
    for (const DebugLinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(driveC);
        std::filesystem::create_directories(driveC / "BridgeLogs");
        if (c.link == "BRIDGEDEBUG.log") std::filesystem::remove_all(driveC / "BridgeLogs");
        threadState().errorList.clear();
        std::string target = (root / "target.txt").string();
        std::ofstream(target) << "someone else's file\n";
        std::filesystem::create_symlink(target, onDriveC(c.link));

        EXPECT_FALSE(writeDebugLog(threadState()));
        EXPECT_EQ(testing::readHostFile(target), "someone else's file\n");
        EXPECT_NE(threadState().errorList.find("<error id=\"401\""), std::string::npos);
    }
}

}  // namespace
}  // namespace trellybridge
