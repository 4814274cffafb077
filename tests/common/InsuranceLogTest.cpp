#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/Errors.h"
#include "common/InsuranceLog.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class InsuranceLogTest : public testing::TestEnvironment {
protected:
    void add(const std::string& line, long long keep) {
        InsuranceLogTurn turn;
        ASSERT_TRUE(turn.addLine(kInsuranceLogFile, line, keep));
        turn.write(keep, threadState().reasons());
    }
    int count400() const {
        return testing::occurrences(threadState().errorList, "<error id=\"400\"");
    }
};

struct RollingCase {
    const char* name;
    std::string before;  // empty: no file
    long long keep;
    std::string after;
};

TEST_F(InsuranceLogTest, RootLogRollsNewestFirst) {
    const RollingCase cases[] = {
        {"keep three", "a\r\nb\r\nc\r\n", 3, "n\r\na\r\nb\r\n"},
        {"missing file", "", 3, "n\r\n"},
        {"empty lines dropped", "a\r\n\r\n\r\nb\r\n", 5, "n\r\na\r\nb\r\n"},
        {"bare line feeds read", "a\nb\n", 5, "n\r\na\r\nb\r\n"},
        {"keep zero", "a\r\n", 0, ""},
        {"keep one", "a\r\nb\r\n", 1, "n\r\n"},
    };
    for (const RollingCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(onDriveC("BRIDGEINSURANCE.log"));
        if (!c.before.empty()) writeDriveCFile("BRIDGEINSURANCE.log", c.before);
        add("n", c.keep);
        EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), c.after);
        EXPECT_EQ(threadState().errorList, "");
    }
}

TEST_F(InsuranceLogTest, KeepAboveCapacityWritesTheCapacityNewLinesFirstAndRecords400Once) {
    std::string full;
    for (int i = 1; i <= kInsuranceLogCapacity; ++i) full += "old" + std::to_string(i) + "\r\n";
    writeDriveCFile("BRIDGEINSURANCE.log", full);
    add("second insurer", 30000);  // as ReturnPatient does for a patient with two insurances
    add("first insurer", 30000);

    std::istringstream log(readDriveCFile("BRIDGEINSURANCE.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kInsuranceLogCapacity));
    EXPECT_EQ(lines[0], "first insurer\r");
    EXPECT_EQ(lines[1], "second insurer\r");
    EXPECT_EQ(lines[2], "old1\r");
    EXPECT_EQ(lines.back(), "old" + std::to_string(kInsuranceLogCapacity - 2) + "\r");
    EXPECT_EQ(count400(), 1) << threadState().errorList;
}

TEST_F(InsuranceLogTest, BridgeLogsFolderKeepsItsOwnRollingLogWithoutRepeats) {
    std::filesystem::create_directories(driveC / "BridgeLogs");
    writeDriveCFile("BRIDGEINSURANCE.log", "root\r\n");
    add("first", 3);
    add("second", 3);
    add("third", 3);
    add("fourth", 3);
    EXPECT_EQ(readDriveCFile("BridgeLogs/BRIDGEINSURANCE.log"), "fourth\r\nthird\r\nsecond\r\n");
    EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), "root\r\n") << "the root log is left alone";
}

TEST_F(InsuranceLogTest, LogIsPrivateWhateverTheOldModeAndLeavesOnlyItsLock) {
    writeDriveCFile("BRIDGEINSURANCE.log", "a\r\n");
    ::chmod(onDriveC("BRIDGEINSURANCE.log").c_str(), 0644);
    // What a writer killed halfway left behind.
    writeDriveCFile("BRIDGEINSURANCE.log.tmp", "half a lin");
    ::chmod(onDriveC("BRIDGEINSURANCE.log.tmp").c_str(), 0644);
    add("n", 3);
    EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), "n\r\na\r\n");
    EXPECT_EQ(modeOf(onDriveC("BRIDGEINSURANCE.log")), 0600u);
    EXPECT_EQ(modeOf(onDriveC("BRIDGEINSURANCE.log.lock")), 0600u);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(driveC))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"BRIDGEINSURANCE.log", "BRIDGEINSURANCE.log.lock"}));
}

struct LinkCase {
    const char* name;
    std::string link;  // relative to drive C
    bool logsFolder;
};

TEST_F(InsuranceLogTest, SymbolicLinkIsNeverFollowed) {
    const LinkCase cases[] = {
        {"root log", "BRIDGEINSURANCE.log", false},
        {"log in BridgeLogs", "BridgeLogs/BRIDGEINSURANCE.log", true},
        {"lock file", "BRIDGEINSURANCE.log.lock", false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(driveC);
        std::filesystem::create_directories(driveC);
        if (c.logsFolder) std::filesystem::create_directories(driveC / "BridgeLogs");
        threadState().errorList.clear();
        std::string target = (root / "target.txt").string();
        std::ofstream(target) << "not for the log\r\n";
        ::chmod(target.c_str(), 0644);
        std::filesystem::create_symlink(target, onDriveC(c.link));

        add("n", 3);
        EXPECT_EQ(testing::readHostFile(target), "not for the log\r\n");
        EXPECT_EQ(modeOf(target), 0644u);
        EXPECT_TRUE(std::filesystem::is_symlink(onDriveC(c.link)));
        EXPECT_EQ(count400(), 1) << threadState().errorList;
        std::string log = testing::readHostFile(onDriveC(c.link.substr(0, c.link.find(".lock"))));
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
    for (int i = 0; i < kWriters; ++i) {
        pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);  // a writer that hangs must not hang the test
            ::close(start[1]);
            char go;
            if (::read(start[0], &go, 1) < 0) ::_exit(3);  // returns at EOF: all start at once
            threadState().errorList.clear();
            InsuranceLogTurn turn;
            turn.addLine(kInsuranceLogFile, "patient " + std::to_string(i), 1000);
            turn.write(1000, threadState().reasons());
            ::_exit(threadState().errorList.empty() ? 0 : 1);
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
    std::set<std::string> expected;
    for (int i = 0; i < kWriters; ++i) expected.insert("patient " + std::to_string(i) + "\r");
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace trellybridge
