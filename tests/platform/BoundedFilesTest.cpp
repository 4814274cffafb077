#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class BoundedFilesTest : public testing::TestEnvironment {
protected:
    std::string make(const std::string& name, const std::string& content) {
        writeDriveCFile(name, content);
        return onDriveC(name);
    }
};

struct ReadCase {
    const char* name;
    std::string path;
    fs::Links links;
    fs::RegularFileRead::Failure failure;
    std::string content;  // when read
    std::string reason;   // part of the reason when refused
};

TEST_F(BoundedFilesTest, ReadsOnlyRegularFilesWithinTheLimit) {
    using F = fs::RegularFileRead::Failure;
    std::string small = make("small.txt", "12345678");
    std::string over = make("over.txt", "123456789");
    std::string fifo = onDriveC("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string link = onDriveC("link.txt");
    std::filesystem::create_symlink(small, link);
    std::string endless = onDriveC("zero.dat");
    std::filesystem::create_symlink("/dev/zero", endless);
    const ReadCase cases[] = {
        {"at the limit", small, fs::Links::Refuse, F::None, "12345678", ""},
        {"one byte over", over, fs::Links::Follow, F::TooLarge, "", "larger than 8 bytes"},
        {"a folder", driveC.string(), fs::Links::Follow, F::NotRegular, "", "is a directory"},
        {"an endless device", "/dev/zero", fs::Links::Follow, F::NotRegular, "", "not a regular"},
        {"a link to an endless device", endless, fs::Links::Follow, F::NotRegular, "",
         "not a regular"},
        {"a FIFO with no writer", fifo, fs::Links::Follow, F::NotRegular, "", "not a regular"},
        {"missing", onDriveC("none.txt"), fs::Links::Follow, F::Missing, "", "No such file"},
        {"a link, followed", link, fs::Links::Follow, F::None, "12345678", ""},
        {"a link, refused", link, fs::Links::Refuse, F::SymbolicLink, "", "symbolic link"},
        {"drive path", "c:\\small.txt", fs::Links::Refuse, F::None, "12345678", ""},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::RegularFileRead read = fs::readRegularFile(c.path, 8, c.links);
        EXPECT_EQ(read.failure, c.failure);
        EXPECT_EQ(static_cast<bool>(read), c.failure == F::None);
        if (read)
            EXPECT_EQ(*read.content, c.content);
        else
            EXPECT_NE(read.reason.find(c.reason), std::string::npos) << read.reason;
    }
}

TEST_F(BoundedFilesTest, ReplacesWithTheGivenModeAndNeverThroughALink) {
    std::string log = make("log.txt", "old");
    ::chmod(log.c_str(), 0644);
    std::string temporary = make("log.txt.tmp", "stale");  // left by a writer that was killed
    EXPECT_TRUE(fs::replaceFile(log, temporary, "new", 0600));
    EXPECT_EQ(readDriveCFile("log.txt"), "new");
    EXPECT_EQ(modeOf(log), 0600u);
    EXPECT_FALSE(std::filesystem::exists(temporary));

    std::string target = make("target.txt", "theirs");
    ::chmod(target.c_str(), 0644);
    std::string link = onDriveC("linked.txt");
    std::filesystem::create_symlink(target, link);
    EXPECT_FALSE(fs::replaceFile(link, link + ".tmp", "new", 0600));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readDriveCFile("target.txt"), "theirs");
    EXPECT_EQ(modeOf(target), 0644u);

    std::filesystem::create_directories(driveC / "folder");
    EXPECT_FALSE(fs::replaceFile(onDriveC("folder"), onDriveC("folder.tmp"), "new", 0600));
    EXPECT_FALSE(std::filesystem::exists(onDriveC("folder.tmp")));
}

TEST_F(BoundedFilesTest, LockIsExclusiveAndItsWaitBounded) {
    std::string lockPath = onDriveC("log.lock");
    fs::FileLock first = fs::FileLock::acquire(lockPath, 0);
    ASSERT_TRUE(first.held());
    EXPECT_EQ(modeOf(lockPath), 0600u);
    EXPECT_FALSE(fs::FileLock::acquire(lockPath, 20).held()) << "held elsewhere: the wait ends";
    first = fs::FileLock();
    EXPECT_TRUE(fs::FileLock::acquire(lockPath, 0).held()) << "free again once let go";

    std::string target = make("target.txt", "theirs");
    std::filesystem::create_symlink(target, onDriveC("linked.lock"));
    EXPECT_FALSE(fs::FileLock::acquire(onDriveC("linked.lock"), 0).held());
    EXPECT_EQ(readDriveCFile("target.txt"), "theirs");
}

}  // namespace
}  // namespace trellybridge
