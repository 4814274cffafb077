#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class PathsTest : public testing::TestEnvironment {};

TEST_F(PathsTest, SplitsWindowsAndPosixPaths) {
    EXPECT_EQ(fs::fileNameOf("c:\\vendor\\patient.dat"), "patient.dat");
    EXPECT_EQ(fs::fileNameOf("patient.dat"), "patient.dat");
    EXPECT_EQ(fs::folderPartOf("c:\\vendor\\patient.dat"), "c:\\vendor\\");
    EXPECT_EQ(fs::folderPartOf("patient.dat"), "");
    EXPECT_EQ(fs::fileNameOf("/opt/vendor/answer"), "answer");
    EXPECT_EQ(fs::folderPartOf("/opt/vendor/answer"), "/opt/vendor/");
}

TEST_F(PathsTest, FolderContainsAnEntryWhateverItsCase) {
    writeDriveCFile("vendor/patient.dat", "x");
    std::filesystem::create_directories(driveC / "vendor" / "Sub");
    EXPECT_TRUE(fs::folderContains("c:\\vendor", "PATIENT.DAT"));
    EXPECT_TRUE(fs::folderContains(" c:\\vendor\\ ", "sub"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "other.dat"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "patient.da"));
    EXPECT_FALSE(fs::folderContains("c:\\missing", "patient.dat"));
}

}  // namespace
}  // namespace trellybridge
