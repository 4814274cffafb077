#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/InsuranceLog.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class InsuranceLogTest : public testing::TestEnvironment {
protected:
    void add(const std::string& line, long long keep) {
        ASSERT_TRUE(addInsuranceLogLine(kInsuranceLogFile, line, keep));
        writeInsuranceLog(keep);
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

TEST_F(InsuranceLogTest, KeepAboveCapacityRecords400AndLeavesFile) {
    writeDriveCFile("BRIDGEINSURANCE.log", "a\r\n");
    add("n", 30000);
    EXPECT_EQ(readDriveCFile("BRIDGEINSURANCE.log"), "a\r\n");
    EXPECT_NE(
        threadState().errorList.find("<error id=\"400\" description=\"ORVEL LOG: unable to save "
                                     "insurance log\">"),
        std::string::npos);
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

TEST_F(InsuranceLogTest, LogIsPrivateAndLeavesNoTemporaryFiles) {
    add("n", 3);
    struct stat info {};
    ASSERT_EQ(::stat(onDriveC("BRIDGEINSURANCE.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(driveC), {}), 1);
}

TEST_F(InsuranceLogTest, UnwritableLogRecords400) {
    std::filesystem::create_directories(driveC / "BRIDGEINSURANCE.log");  // a folder in the way
    add("n", 3);
    EXPECT_NE(threadState().errorList.find("id=\"400\""), std::string::npos);
}

}  // namespace
}  // namespace trellybridge
