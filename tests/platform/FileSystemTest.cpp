#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class FileSystemTest : public testing::TestEnvironment {};

TEST_F(FileSystemTest, TranslatesWindowsPathsThroughDriveMapping) {
    ::setenv("TRELLYBRIDGE_DRIVE_D", "/mnt/dee", 1);
    const std::pair<std::string, std::string> cases[] = {
        {"c:\\vendor\\request.inq", driveC.string() + "/vendor/request.inq"},
        {"C:\\BRIDGEINSURANCE.log", driveC.string() + "/BRIDGEINSURANCE.log"},
        {"C:BridgeLogs", driveC.string() + "/BridgeLogs"},
        {"d:\\x\\y.dat", "/mnt/dee/x/y.dat"},
        {"\\42.dat", driveC.string() + "/42.dat"},
        {"/srv/vendor/patient.dat", "/srv/vendor/patient.dat"},
        {"relative\\file.txt", "relative/file.txt"},
        {"/srv/results\\42.dat", "/srv/results/42.dat"},
    };
    for (const auto& [windows, host] : cases) EXPECT_EQ(fs::hostPath(windows), host) << windows;
    ::unsetenv("TRELLYBRIDGE_DRIVE_D");
    EXPECT_EQ(fs::driveRoot('e'), (root / "data" / "trellybridge" / "drive_e").string());
    EXPECT_FALSE(std::filesystem::exists(fs::driveRoot('e')));
    ::unsetenv("TRELLYBRIDGE_DRIVE_C");
    std::string standIn = fs::driveRoot('c');
    EXPECT_EQ(standIn, (root / "data" / "trellybridge" / "drive_c").string());
    EXPECT_TRUE(std::filesystem::is_directory(standIn)) << "drive C always exists";
    EXPECT_EQ(std::filesystem::status(standIn).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
}

TEST_F(FileSystemTest, WritesAtomicallyWithPrivateMode) {
    ASSERT_TRUE(fs::writeFileAtomically("c:\\out.log", "first"));
    ASSERT_TRUE(fs::writeFileAtomically("c:\\out.log", "second"));
    EXPECT_EQ(readDriveCFile("out.log"), "second");
    struct stat info {};
    ASSERT_EQ(::stat(onDriveC("out.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(fs::listFolder("c:\\").size(), 1u) << "no temporary file may remain";
    EXPECT_FALSE(fs::writeFileAtomically("c:\\missing\\folder\\x.log", "y"));
}

TEST_F(FileSystemTest, AppendsAndChecksExistence) {
    EXPECT_TRUE(fs::appendToFile("c:\\a.txt", "1"));
    EXPECT_TRUE(fs::appendToFile("c:\\a.txt", "2"));
    EXPECT_EQ(fs::readFile("C:\\A.TXT"), std::nullopt) << "host names are case-sensitive";
    EXPECT_EQ(fs::readFile("c:\\a.txt"), "12");
    EXPECT_TRUE(fs::fileExists("c:\\a.txt"));
    EXPECT_FALSE(fs::folderExists("c:\\a.txt"));
    EXPECT_TRUE(fs::folderExists("c:\\"));
    EXPECT_TRUE(fs::removeFile("c:\\a.txt"));
    EXPECT_FALSE(fs::fileExists("c:\\a.txt"));
    auto drives = fs::readyDrives();
    EXPECT_NE(std::find(drives.begin(), drives.end(), 'C'), drives.end());
}

struct RegularReadCase {
    const char* name;
    std::function<void(const std::string&)> make;  // makes the file at this host path
    std::size_t limit;
    fs::RegularFileRead::Status status;
    std::string content;
    std::string reason;
};

TEST_F(FileSystemTest, ReadsOnlyRegularFilesWithinTheLimit) {
    using Status = fs::RegularFileRead::Status;
    auto text = [](std::string content) {
        return [content](const std::string& path) { std::ofstream(path) << content; };
    };
    const RegularReadCase cases[] = {
        {"missing", [](const std::string&) {}, 10, Status::NotThere, "",
         "No such file or directory"},
        {"small", text("12345"), 10, Status::Read, "12345", ""},
        {"empty", text(""), 10, Status::Read, "", ""},
        {"exactly the limit", text("12345"), 5, Status::Read, "12345", ""},
        {"one byte past the limit", text("123456"), 5, Status::TooLarge, "", "more than 5 bytes"},
        {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }, 10,
         Status::NotRegular, "", "not a regular file"},
        {"pipe without a writer", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, 10,
         Status::NotRegular, "", "not a regular file"},
        {"link to an endless device",
         [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }, 10,
         Status::NotRegular, "", "not a regular file"},
        {"link to a regular file",
         [this](const std::string& p) {
             writeDriveCFile("target.dat", "abc");
             std::filesystem::create_symlink(onDriveC("target.dat"), p);
         },
         10, Status::Read, "abc", ""},
    };
    int n = 0;
    for (const RegularReadCase& k : cases) {
        SCOPED_TRACE(k.name);
        std::string name = "case" + std::to_string(n++) + ".dat";
        k.make(onDriveC(name));
        fs::RegularFileRead read = fs::readRegularFile("c:\\" + name, k.limit);
        EXPECT_EQ(read.status, k.status);
        EXPECT_EQ(read.content, k.content);
        EXPECT_EQ(read.reason, k.reason);
    }
}

TEST_F(FileSystemTest, OrdinaryFilesFollowTheUmaskAndKeepAnExistingMode) {
    const std::pair<mode_t, unsigned> cases[] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0666}};
    for (const auto& [mask, expected] : cases) {
        mode_t previous = ::umask(mask);
        fs::FileOutcome written = fs::writeOrdinaryFileAtomically("c:\\request.inq", "ACCT=1\r\n");
        ::umask(previous);
        ASSERT_TRUE(written.ok) << written.reason;
        struct stat info {};
        ASSERT_EQ(::stat(onDriveC("request.inq").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, expected) << "umask " << mask;
        std::filesystem::remove(onDriveC("request.inq"));
    }
    ASSERT_TRUE(fs::writeOrdinaryFileAtomically("c:\\request.inq", "first").ok);
    ::chmod(onDriveC("request.inq").c_str(), 0604);
    ASSERT_TRUE(fs::writeOrdinaryFileAtomically("c:\\request.inq", "second").ok);
    EXPECT_EQ(readDriveCFile("request.inq"), "second");
    struct stat info {};
    ASSERT_EQ(::stat(onDriveC("request.inq").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    EXPECT_EQ(fs::listFolder("c:\\").size(), 1u) << "no temporary file may remain";

    fs::FileOutcome missing = fs::writeOrdinaryFileAtomically("c:\\missing\\x.inq", "y");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, "No such file or directory");
}

TEST_F(FileSystemTest, IniStoreKeepsOtherSectionsAndSurvivesReopening) {
    std::string path = (root / "config" / "TrellyBridge" / "settings.ini").string();
    EXPECT_EQ(platform::IniSettingsStore::defaultPath(), path);
    {
        platform::IniSettingsStore store(path);
        EXPECT_EQ(store.get("Properties", "LastGoodPort"), "");
        EXPECT_TRUE(store.set("Other", "Key", "kept"));
        EXPECT_TRUE(store.set("Properties", "LastGoodPort", "5002"));
        EXPECT_TRUE(store.set("Properties", "LastGoodPort", "5003"));
    }
    platform::IniSettingsStore reopened(path);
    EXPECT_EQ(reopened.get("Properties", "LastGoodPort"), "5003");
    EXPECT_EQ(reopened.get("Other", "Key"), "kept");
    EXPECT_EQ(reopened.get("Other", "LastGoodPort"), "");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace trellybridge
