// The run loop and what every bridge shares: the table of bridges, the steps' timing,
// and the answer's processing once it is in.
#include <gtest/gtest.h>

#include <set>
#include <typeindex>

#include "common/AnswerLimit.h"
#include "common/ThreadState.h"
#include "session/Bridges.h"
#include "session/SerialLine.h"
#include "session/SessionWindow.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

TEST(BridgeTableTest, EveryKindHasOneNameAndOneBridgeOfItsOwn) {
    std::set<BridgeKind> named, made;
    std::set<int> pageRows;
    std::set<std::type_index> types{typeid(*session::makeInvalidBridge())};
    BridgeConfiguration config;
    for (const BridgeName& bridge : kBridgeNames) {
        config.NetworkBridgeType = bridge.name;
        EXPECT_EQ(bridgeKind(config), bridge.kind) << bridge.name;
        EXPECT_TRUE(named.insert(bridge.kind).second) << bridge.name << " named twice";
        pageRows.insert(bridge.pageRow);
    }
    for (const session::BridgeRow& row : session::kBridgeTable) {
        EXPECT_TRUE(made.insert(row.kind).second);
        std::unique_ptr<session::BridgeSession> bridge = session::makeBridge(row.kind);
        ASSERT_NE(bridge, nullptr);
        EXPECT_TRUE(types.insert(typeid(*bridge)).second) << "a bridge of another kind's type";
        EXPECT_EQ(session::serialControl(bridge.get()) != nullptr, row.kind == BridgeKind::Serial);
    }
    EXPECT_EQ(named, made) << "a named bridge without a factory, or the reverse";
    EXPECT_EQ(named.count(BridgeKind::Invalid), 0u);
    EXPECT_EQ(pageRows.size(), std::size(kBridgeNames));
    EXPECT_EQ(*pageRows.rbegin() + 1, static_cast<int>(std::size(kBridgeNames)));
    EXPECT_EQ(bridgeNameList(), "SERIAL, TCPIP, HTTPS, VENDOR, POLLING, FOLDERS or USB");
    // GetPatient stores the names upper-cased, so any other spelling is no bridge at all.
    for (const char* other : {"serial", "TCPIP ", "TCP/IP", "", "<INVALID!>"}) {
        config.NetworkBridgeType = other;
        EXPECT_EQ(bridgeKind(config), BridgeKind::Invalid) << "names compare exactly: " << other;
    }
}

class ProcessResponseTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        threadState().config.PatientID = "12345";
        prepareToReadAnswers();
    }
    session::SessionWindow& window() { return session::sessionWindow(); }
};

TEST_F(ProcessResponseTest, FailurePathShowsTheTrimmedAnswerAndCloses) {
    threadState().config.VendorFormatType = "STANDARD";
    window().txtInformation = "earlier progress";
    EXPECT_FALSE(window().engine().processResponse("   NO HEADER HERE \r\n~~ \r"));
    EXPECT_EQ(window().txtInformation, "Receiving response...\r\n  NO HEADER HERE\r\n\r\n");
    EXPECT_FALSE(window().isLoaded());
    EXPECT_FALSE(threadState().patientFound);
}

TEST_F(ProcessResponseTest, FailurePathShowsAtMostTheAnswersFirstBytes) {
    threadState().config.VendorFormatType = "XML";
    const std::string head = "<NOTPATIENT>";
    std::string answer = head + std::string(3 * kShownAnswerBytes, 'x');
    EXPECT_FALSE(window().engine().processResponse(answer));
    const std::string& shown = window().txtInformation;
    ASSERT_TRUE(shown.starts_with("Receiving response...\r\n  " + head));
    EXPECT_LT(shown.size(), kShownAnswerBytes + 200) << "not the whole answer";
    EXPECT_NE(shown.find(std::to_string(answer.size() - kShownAnswerBytes) + " more bytes"),
              std::string::npos)
        << "says how much was left out";
}

TEST_F(ProcessResponseTest, LineFeedsBecomeCarriageReturnsOnRequest) {
    threadState().config.VendorFormatType = "SCAN";
    threadState().config.HTTPSSubjectCN = "{change lf to cr}";
    EXPECT_TRUE(window().engine().processResponse("P_ACT=12345\nP_LNM=DOE\n"));
    EXPECT_EQ(threadState().record[RecordField::p1PatientLastName], "DOE");
    threadState().config.HTTPSSubjectCN = "";
    EXPECT_FALSE(window().engine().processResponse("P_ACT=12345\nP_LNM=DOE\n"))
        << "one line without CR never ends";
}

TEST_F(ProcessResponseTest, UnknownFormatLeavesTheFoundFlag) {
    threadState().config.VendorFormatType = "CSV";
    threadState().patientFound = true;
    threadState().record[RecordField::p1PatientLastName] = "OLD";
    EXPECT_TRUE(window().engine().processResponse("anything"));
    EXPECT_EQ(threadState().record[RecordField::p1PatientLastName], "")
        << "the record is cleared first";
    EXPECT_TRUE(window().isLoaded());
}

TEST_F(ProcessResponseTest, ScanNeverTakesTheFailurePath) {
    threadState().config.VendorFormatType = "SCAN";
    EXPECT_FALSE(window().engine().processResponse("G_LNM=ROE\r"));
    EXPECT_TRUE(window().isLoaded());
}

class RunLoopTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        arguments.PatientID = "12345";
        arguments.VendorRequestTag = "ACCT=";
        arguments.VendorFormatType = "STANDARD";
        arguments.VendorName = "ACME";
        arguments.AllowedRetries = "2";
        arguments.DisplayProperties = "false";
        arguments.DisplayDebugger = "false";
        arguments.NetworkTimeout = "5";
        arguments.SerialTimeout = "5";
        arguments.TimeDelay = "1000";
        arguments.VendorRequestPath = "c:\\vendor\\request.inq";
        arguments.VendorResultsPath = "c:\\vendor\\patient.dat";
        std::filesystem::create_directories(driveC / "vendor");
    }
    int run() {
        int start = clock.tickCount();
        found = comm.GetPatient(arguments).isTrue();
        return clock.tickCount() - start;
    }
    GetPatientArguments arguments;
    TrellyBridgeComm comm;
    bool found = false;
};

// Ticks of TimeDelay until the request is sent; from then on the loop ticks every second.
TEST_F(RunLoopTest, PollingStepsWaitTimeoutPlusOneTicks) {
    arguments.NetworkBridgeType = "POLLING";
    arguments.TimeDelay = "2000";
    int elapsed = run();
    EXPECT_EQ(toolkit->firstLogAt("Removing previous file(s)..."), 12000);
    EXPECT_EQ(toolkit->firstLogAt("Sending patient request over network..."), 24000);
    EXPECT_EQ(toolkit->firstLogAt("Reading patient file..."), 30000);
    EXPECT_EQ(toolkit->firstLogAt(" Attempt Number 1 to read patient file..."), 36000);
    EXPECT_EQ(toolkit->firstLogAt(" Attempt Number 2 to read patient file..."), 42000);
    EXPECT_EQ(elapsed, 48000) << "three failed reads with two retries, then the end";
    EXPECT_FALSE(found);
    EXPECT_EQ(readDriveCFile("vendor/request.inq"), "ACCT=12345\r\n");
}

struct InvalidBridgeCase {
    const char* retries;
    int closesAtMs;
};

TEST_F(RunLoopTest, InvalidBridgeCountsAttemptsThenCloses) {
    const InvalidBridgeCase cases[] = {{"2", 8000}, {"0", 6000}, {"abc", 6000}};
    for (const InvalidBridgeCase& c : cases) {
        SCOPED_TRACE(c.retries);
        arguments.NetworkBridgeType = "CARRIER PIGEON";
        arguments.AllowedRetries = c.retries;
        EXPECT_EQ(run(), c.closesAtMs);
        EXPECT_NE(session::sessionWindow().txtInformation.find(
                      "Invalid bridge type requested...\r\n\r\n"),
                  std::string::npos);
    }
}

TEST_F(RunLoopTest, NonNumericRetriesGiveEachStepOneAttempt) {
    arguments.NetworkBridgeType = "POLLING";
    arguments.AllowedRetries = "many";
    EXPECT_EQ(run(), 24000) << "the first failed read ends the session";
    arguments.NetworkBridgeType = "SERIAL";
    EXPECT_EQ(run(), 6000) << "the attempts are used up before the first";
}

TEST_F(RunLoopTest, StatusAndCaptionAtLoad) {
    arguments.NetworkBridgeType = "FOLDERS";
    arguments.AllowedRetries = "0";
    run();
    session::SessionWindow& window = session::sessionWindow();
    EXPECT_EQ(window.caption, "TrellyBridge - v. (2013.1)");
    EXPECT_EQ(toolkit->progressLines.front(), "FOLDERS style bridge...");
    EXPECT_FALSE(window.isLoaded());
    EXPECT_FALSE(window.engine().PortTimer.enabled());
    EXPECT_FALSE(window.engine().NetworkTimer.enabled());
    std::string message;
    threadState().session.completionCode = 0;
    window.engine().updateMessage(message);
    EXPECT_EQ(window.lblStatus, "Disconnected");
    threadState().session.completionCode = 1;
    message.clear();
    window.engine().updateMessage(message);
    EXPECT_EQ(message, "FOLDERS style bridge...");
}

struct PhaseTrailCase {
    const char* bridge;
    std::vector<std::string> trail;
};

TEST_F(RunLoopTest, EachBridgeGoesThroughItsPhasesInOrder) {
    const PhaseTrailCase cases[] = {
        {"POLLING", {"Prepare -> Cleanup", "Cleanup -> Send", "Send -> Read"}},
        {"VENDOR", {"Prepare -> Cleanup"}},  // no vendor program: the cleanup step fails
        {"FOLDERS", {"Prepare -> Cleanup", "Cleanup -> Read"}},
        {"USB", {"Prepare -> Read"}},
        {"HTTPS", {"Prepare -> Read"}},
        {"SERIAL", {"Prepare -> Connect"}},
        {"CARRIER PIGEON", {}},
    };
    for (const PhaseTrailCase& c : cases) {
        SCOPED_TRACE(c.bridge);
        arguments.NetworkBridgeType = c.bridge;
        run();
        EXPECT_FALSE(found);
        EXPECT_EQ(threadState().session.phaseTrail, c.trail);
    }
}

// A session reads DisplayDebugger when it starts, and keeps it to its end.
TEST_F(RunLoopTest, FailureNoticeShowsBoxesOnlyWhenDebugging) {
    prepareToReadAnswers();
    session::SessionWindow& window = session::sessionWindow();
    for (bool debugging : {false, true}) {
        threadState().config.DisplayDebugger = debugging ? "true" : "false";
        window.load();
        threadState().config.DisplayDebugger = debugging ? "false" : "true";
        threadState().patientFound = true;
        threadState().session.completionCode = 1;
        toolkit->messageBoxes.clear();
        window.engine().failureNotice("ERROR building patient request", "5 - bad");
        const std::vector<std::string> boxes = {"5 - bad",
                                                "Attention!: ERROR building patient request"};
        EXPECT_EQ(toolkit->messageBoxes, debugging ? boxes : std::vector<std::string>{});
        EXPECT_FALSE(threadState().patientFound);
        EXPECT_EQ(threadState().session.completionCode, 0);
    }
}

}  // namespace
}  // namespace trellybridge
