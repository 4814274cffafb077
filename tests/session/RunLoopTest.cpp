// The run loop and what every bridge shares: the table of bridges, the steps' timing,
// and the answer's processing once it is in.
#include <gtest/gtest.h>

#include <set>
#include <typeindex>

#include "common/AnswerLimit.h"
#include "session/Bridges.h"
#include "session/ProgressWindow.h"
#include "session/SerialLine.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

TEST(BridgeTableTest, EveryKindHasOneNameAndOneBridgeOfItsOwn) {
    std::set<BridgeKind> named, made;
    std::set<int> pageRows;
    const std::unique_ptr<session::Bridge> invalid = session::makeInvalidBridge();
    const session::Bridge& invalidBridge = *invalid;
    std::set<std::type_index> types{typeid(invalidBridge)};
    BridgeConfiguration config;
    for (const BridgeRow& bridge : kBridgeRows) {
        config.NetworkBridgeType = bridge.name;
        EXPECT_EQ(bridgeKind(config), bridge.kind) << bridge.name;
        EXPECT_TRUE(named.insert(bridge.kind).second) << bridge.name << " named twice";
        pageRows.insert(bridge.pageRow);
    }
    for (const session::BridgeMaker& row : session::kBridgeMakers) {
        EXPECT_TRUE(made.insert(row.kind).second);
        std::unique_ptr<session::Bridge> bridge = session::makeBridge(row.kind);
        ASSERT_NE(bridge, nullptr);
        const session::Bridge& object = *bridge;
        EXPECT_TRUE(types.insert(typeid(object)).second) << "a bridge of another kind's type";
        EXPECT_EQ(session::serialControl(bridge.get()) != nullptr, row.kind == BridgeKind::Serial);
    }
    EXPECT_EQ(named, made) << "a named bridge without a factory, or the reverse";
    EXPECT_EQ(named.count(BridgeKind::Invalid), 0u);
    EXPECT_EQ(pageRows.size(), std::size(kBridgeRows));
    EXPECT_EQ(*pageRows.rbegin() + 1, static_cast<int>(std::size(kBridgeRows)));
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
        testing::threadRequest().config.PatientID = "12345";
        prepareToReadAnswers();
    }
    session::ProgressWindow& window() { return session::progressWindow(); }
};

TEST_F(ProcessResponseTest, FailurePathShowsAtMostTheAnswersFirstBytes) {
    testing::threadRequest().config.VendorFormatType = "XML";
    const std::string head = "<NOTPATIENT>";
    std::string answer = head + std::string(3 * kShownAnswerBytes, 'x');
    EXPECT_FALSE(window().engine().processResponse(answer));
    const std::string& shown = window().progressLog;
    ASSERT_TRUE(shown.starts_with("Receiving response...\r\n  " + head));
    EXPECT_LT(shown.size(), kShownAnswerBytes + 200) << "not the whole answer";
    EXPECT_NE(shown.find(std::to_string(answer.size() - kShownAnswerBytes) + " more bytes"),
              std::string::npos)
        << "says how much was left out";
}

// The debug dump keeps a large answer's head and tail: no copy of it grows with the limit.
TEST_F(ProcessResponseTest, DebugDumpKeepsAtMostTheHeadAndTailOfAnAnswer) {
    const std::string middle(3 * kDumpedAnswerBytes, 'x');
    for (const auto& [format, answer] : {std::pair{"HL7", "MSH|^~\\&|X\rPID|1|7\r" + middle},
                                         std::pair{"STANDARD", "H|1|7\r" + middle}}) {
        SCOPED_TRACE(format);
        testing::threadRequest().config.VendorFormatType = format;
        window().engine().processResponse(answer + "\rTAIL|END\r~~");
        const std::string& dump = testing::threadRequest().debugDataDump;
        EXPECT_LT(dump.size(), kDumpedAnswerBytes + 100);
        EXPECT_EQ(dump.substr(0, 6), answer.substr(0, 6));
        EXPECT_NE(dump.find("TAIL|END"), std::string::npos);
    }
}

// Each answer clears the record left behind before it is read.
TEST_F(ProcessResponseTest, AnswersAreReadOrShownAndEndTheSession) {
    const struct {
        const char* name;
        const char* format;
        const char* keywords;
        const char* answer;
        bool found;        // what processResponse returns, and the found flag after it
        bool foundBefore;  // the found flag of a request that was never closed
        const char* lastName;
        const char* shown;  // the progress text after the answer, when it is replaced
    } cases[] = {
        {"no patient: the answer is shown trimmed and the window closes", "STANDARD", "",
         "   NO HEADER HERE \r\n~~ \r", false, false, "",
         "Receiving response...\r\n  NO HEADER HERE\r\n\r\n"},
        {"line feeds become carriage returns on request", "SCAN", "{change lf to cr}",
         "P_ACT=12345\nP_LNM=DOE\n", true, false, "DOE", nullptr},
        {"one line without CR never ends", "SCAN", "", "P_ACT=12345\nP_LNM=DOE\n", false, false, "",
         nullptr},
        {"an unknown format leaves the found flag", "CSV", "", "anything", true, true, "", nullptr},
        {"SCAN never takes the failure path", "SCAN", "", "G_LNM=ROE\r", false, false, "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::threadRequest().patientFound = false;  // else the window closes as it loads
        prepareToReadAnswers();
        testing::threadRequest().config.VendorFormatType = c.format;
        testing::threadRequest().config.HTTPSSubjectCN = c.keywords;
        testing::threadRequest().settings = readRequestSettings(testing::threadRequest().config);
        testing::threadRequest().patientFound = c.foundBefore;
        testing::threadRequest().record[RecordField::p1PatientLastName] = "OLD";
        window().progressLog = "earlier progress";
        EXPECT_EQ(window().engine().processResponse(c.answer), c.found);
        EXPECT_EQ(testing::threadRequest().patientFound, c.found);
        EXPECT_EQ(testing::threadRequest().record[RecordField::p1PatientLastName], c.lastName);
        EXPECT_EQ(window().progressLog, c.shown ? c.shown : "earlier progress");
        EXPECT_EQ(window().isLoaded(), c.shown == nullptr);
    }
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

// An invalid bridge counts its attempts, then closes; retries left unset (the INVALID
// marker) give each step one attempt: the first failed read of POLLING ends it, SERIAL's
// are used up at once.
TEST_F(RunLoopTest, AttemptsAreCountedThenTheWindowCloses) {
    const struct {
        const char* bridge;
        const char* retries;
        int closesAtMs;
    } cases[] = {
        {"CARRIER PIGEON", "2", 8000}, {"CARRIER PIGEON", "0", 6000}, {"CARRIER PIGEON", "", 6000},
        {"POLLING", "", 24000},        {"SERIAL", "", 6000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bridge) + " " + c.retries);
        arguments.NetworkBridgeType = c.bridge;
        arguments.AllowedRetries = c.retries;
        EXPECT_EQ(run(), c.closesAtMs);
        EXPECT_EQ(session::progressWindow().progressLog.find(
                      "Invalid bridge type requested...\r\n\r\n") != std::string::npos,
                  std::string(c.bridge) == "CARRIER PIGEON");
    }
}

TEST_F(RunLoopTest, StatusAndCaptionAtLoad) {
    arguments.NetworkBridgeType = "FOLDERS";
    arguments.AllowedRetries = "0";
    run();
    session::ProgressWindow& window = session::progressWindow();
    EXPECT_EQ(window.caption, "TrellyBridge - v. (2013.1)");
    EXPECT_EQ(toolkit->progressLines.front(), "FOLDERS style bridge...");
    EXPECT_FALSE(window.isLoaded());
    EXPECT_FALSE(window.engine().PortTimer.enabled());
    EXPECT_FALSE(window.engine().NetworkTimer.enabled());
}

TEST_F(RunLoopTest, EachBridgeGoesThroughItsPhasesInOrder) {
    const struct {
        const char* bridge;
        std::vector<std::string> trail;
    } cases[] = {
        {"POLLING", {"Prepare -> Cleanup", "Cleanup -> Send", "Send -> Read"}},
        {"VENDOR", {"Prepare -> Cleanup"}},  // no vendor program: the cleanup step fails
        {"FOLDERS", {"Prepare -> Cleanup", "Cleanup -> Read"}},
        {"USB", {"Prepare -> Read"}},
        {"HTTPS", {"Prepare -> Read"}},
        {"SERIAL", {"Prepare -> Connect"}},
        {"CARRIER PIGEON", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bridge);
        arguments.NetworkBridgeType = c.bridge;
        run();
        EXPECT_FALSE(found);
        EXPECT_EQ(testing::threadRequest().session.phaseTrail, c.trail);
    }
}

// A session reads DisplayDebugger when it starts, and keeps it to its end.
TEST_F(RunLoopTest, FailureNoticeShowsBoxesOnlyWhenDebugging) {
    prepareToReadAnswers();
    session::ProgressWindow& window = session::progressWindow();
    for (bool debugging : {false, true}) {
        testing::threadRequest().config.DisplayDebugger = debugging ? "true" : "false";
        testing::threadRequest().settings.reset();  // read afresh, as for each request
        window.load();
        testing::threadRequest().config.DisplayDebugger = debugging ? "false" : "true";
        testing::threadRequest().patientFound = true;
        testing::threadRequest().session.completionCode = 1;
        toolkit->messageBoxes.clear();
        window.engine().failureNotice("ERROR building patient request", "5 - bad");
        const std::vector<std::string> boxes = {"5 - bad",
                                                "Attention!: ERROR building patient request"};
        EXPECT_EQ(toolkit->messageBoxes, debugging ? boxes : std::vector<std::string>{});
        EXPECT_FALSE(testing::threadRequest().patientFound);
        EXPECT_EQ(testing::threadRequest().session.completionCode, 0);
    }
}

}  // namespace
}  // namespace trellybridge
