// Files and folders on the host: drive letters, private modes, bounded reads, atomic
// replacement, locks, the settings store, and which libraries may be loaded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/TrustedPath.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class FileSystemTest : public testing::TestEnvironment {
protected:
    std::string make(const std::string& name, const std::string& content) {
        writeDriveCFile(name, content);
        return onDriveC(name);
    }
};

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
    // Names split at either separator; an entry is found in a folder whatever its case.
    const std::tuple<const char*, const char*, const char*> names[] = {
        {"c:\\vendor\\patient.dat", "patient.dat", "c:\\vendor\\"},
        {"patient.dat", "patient.dat", ""},
        {"/opt/vendor/answer", "answer", "/opt/vendor/"}};
    for (const auto& [path, name, folder] : names) {
        EXPECT_EQ(fs::fileNameOf(path), name);
        EXPECT_EQ(fs::folderPartOf(path), folder);
    }
    writeDriveCFile("vendor/patient.dat", "x");
    std::filesystem::create_directories(driveC / "vendor" / "Sub");
    EXPECT_TRUE(fs::folderContains("c:\\vendor", "PATIENT.DAT"));
    EXPECT_TRUE(fs::folderContains(" c:\\vendor\\ ", "sub"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "other.dat"));
    EXPECT_FALSE(fs::folderContains("c:\\vendor", "patient.da"));
    EXPECT_FALSE(fs::folderContains("c:\\missing", "patient.dat"));
    ::unsetenv("TRELLYBRIDGE_DRIVE_D");
    EXPECT_EQ(fs::driveRoot('e'), (root / "data" / "trellybridge" / "drive_e").string());
    EXPECT_FALSE(std::filesystem::exists(fs::driveRoot('e')));
    ::unsetenv("TRELLYBRIDGE_DRIVE_C");
    EXPECT_EQ(fs::driveRoot('c'), (root / "data" / "trellybridge" / "drive_c").string());
}

TEST_F(FileSystemTest, WritesAppendsAndRemoves) {
    ASSERT_TRUE(fs::writeFileAtomically("c:\\out.log", "first"));
    ASSERT_TRUE(fs::writeFileAtomically("c:\\out.log", "second"));
    EXPECT_EQ(readDriveCFile("out.log"), "second");
    EXPECT_EQ(modeOf(onDriveC("out.log")), 0600u);
    EXPECT_EQ(fs::listFolder("c:\\").size(), 1u) << "no temporary file may remain";
    EXPECT_FALSE(fs::writeFileAtomically("c:\\missing\\folder\\x.log", "y"));
    EXPECT_TRUE(fs::appendToFile("c:\\a.txt", "1"));
    EXPECT_TRUE(fs::appendToFile("c:\\a.txt", "2"));
    EXPECT_EQ(fs::readRegularFile("C:\\A.TXT", 16).content, std::nullopt)
        << "host names are case-sensitive";
    EXPECT_EQ(fs::readRegularFile("c:\\a.txt", 16).content, "12");
    EXPECT_TRUE(fs::fileExists("c:\\a.txt"));
    EXPECT_FALSE(fs::folderExists("c:\\a.txt"));
    EXPECT_TRUE(fs::folderExists("c:\\"));
    EXPECT_TRUE(fs::removeFile("c:\\a.txt"));
    EXPECT_FALSE(fs::fileExists("c:\\a.txt"));
    auto drives = fs::readyDrives();
    EXPECT_NE(std::find(drives.begin(), drives.end(), 'C'), drives.end());
}

TEST_F(FileSystemTest, OrdinaryFilesFollowTheUmaskAndKeepAnExistingMode) {
    const std::pair<mode_t, unsigned> cases[] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0666}};
    for (const auto& [mask, expected] : cases) {
        mode_t previous = ::umask(mask);
        fs::FileOutcome written = fs::writeOrdinaryFileAtomically("c:\\request.inq", "ACCT=1\r\n");
        ::umask(previous);
        ASSERT_TRUE(written.ok) << written.reason;
        EXPECT_EQ(modeOf(onDriveC("request.inq")), expected) << "umask " << mask;
        std::filesystem::remove(onDriveC("request.inq"));
    }
    ASSERT_TRUE(fs::writeOrdinaryFileAtomically("c:\\request.inq", "first").ok);
    ::chmod(onDriveC("request.inq").c_str(), 0604);
    ASSERT_TRUE(fs::writeOrdinaryFileAtomically("c:\\request.inq", "second").ok);
    EXPECT_EQ(readDriveCFile("request.inq"), "second");
    EXPECT_EQ(modeOf(onDriveC("request.inq")), 0604u);
    EXPECT_EQ(fs::listFolder("c:\\").size(), 1u) << "no temporary file may remain";
    fs::FileOutcome missing = fs::writeOrdinaryFileAtomically("c:\\missing\\x.inq", "y");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, "No such file or directory");
}

// Without a usable HOME the settings and drive C must not land in whatever folder the
// host runs in: the password database names the home instead.
TEST_F(FileSystemTest, HomeIsNeverARelativePath) {
    const char* saved = std::getenv("HOME");
    std::string home = saved ? saved : "";
    ::unsetenv("XDG_CONFIG_HOME");  // set again by the next test's set-up
    for (const char* value : {"", "relative/home", ".", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(value ? value : "unset");
        value ? ::setenv("HOME", value, 1) : ::unsetenv("HOME");
        std::string found = fs::homeFolder();
        EXPECT_TRUE(found.empty() || found.starts_with('/')) << found;
        std::string settings = platform::IniSettingsStore::defaultPath();
        EXPECT_TRUE(settings.empty() || settings.starts_with('/')) << settings;
    }
    ::setenv("HOME", "/srv/someone", 1);
    EXPECT_EQ(fs::homeFolder(), "/srv/someone");
    saved ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
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
    EXPECT_EQ(modeOf(path), 0600u);
    // The same value again is no rewrite (a rewrite renames a new file into place).
    auto inode = [&path] {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    };
    ino_t before = inode();
    EXPECT_TRUE(reopened.set("Properties", "LastGoodPort", "5003"));
    EXPECT_EQ(inode(), before);
}

// The folders made for drive C, the settings and callers of createFolder are private to
// the user whatever the umask, as the XDG base directory convention asks.
TEST_F(FileSystemTest, FoldersAreMadePrivateWhateverTheUmask) {
    mode_t previous = ::umask(0);
    ::unsetenv("TRELLYBRIDGE_DRIVE_C");
    fs::driveRoot('c');
    platform::IniSettingsStore(platform::IniSettingsStore::defaultPath())
        .set("Properties", "LastGoodPort", "9991");
    fs::createFolder((root / "made" / "by" / "createFolder").string());
    ::umask(previous);
    for (const char* folder : {"data", "data/trellybridge", "data/trellybridge/drive_c", "config",
                               "config/TrellyBridge", "made", "made/by", "made/by/createFolder"})
        EXPECT_EQ(modeOf(root / folder), 0700u) << folder;
}

TEST_F(FileSystemTest, ReadsOnlyRegularFilesWithinTheLimit) {
    using F = fs::RegularFileRead::Failure;
    std::string small = make("small.txt", "12345678");
    std::string over = make("over.txt", "123456789");
    std::string fifo = onDriveC("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string link = onDriveC("link.txt");
    std::filesystem::create_symlink(small, link);
    std::string endless = onDriveC("zero.dat");
    std::filesystem::create_symlink("/dev/zero", endless);
    const struct {
        std::string path;
        fs::Links links;
        F failure;
        std::string contentOrReason;  // the content when read, else part of the reason
    } cases[] = {
        {small, fs::Links::Refuse, F::None, "12345678"},  // at the limit
        {over, fs::Links::Follow, F::TooLarge, "larger than 8 bytes"},
        {driveC.string(), fs::Links::Follow, F::NotRegular, "is a directory"},
        {"/dev/zero", fs::Links::Follow, F::NotRegular, "not a regular"},
        {endless, fs::Links::Follow, F::NotRegular, "not a regular"},
        {fifo, fs::Links::Follow, F::NotRegular, "not a regular"},  // with no writer
        {onDriveC("none.txt"), fs::Links::Follow, F::Missing, "No such file"},
        {link, fs::Links::Follow, F::None, "12345678"},
        {link, fs::Links::Refuse, F::SymbolicLink, "symbolic link"},
        {"c:\\small.txt", fs::Links::Refuse, F::None, "12345678"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        fs::RegularFileRead read = fs::readRegularFile(c.path, 8, c.links);
        EXPECT_EQ(read.failure, c.failure);
        EXPECT_EQ(static_cast<bool>(read), c.failure == F::None);
        if (read)
            EXPECT_EQ(*read.content, c.contentOrReason);
        else
            EXPECT_NE(read.reason.find(c.contentOrReason), std::string::npos) << read.reason;
    }
}

TEST_F(FileSystemTest, ReplacesWithTheGivenModeAndNeverThroughALink) {
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

TEST_F(FileSystemTest, LockIsExclusiveAndItsWaitBounded) {
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

using Verdict = platform::LibraryCheck::Verdict;

class TrustedPathTest : public testing::TestEnvironment {};

// A library is loaded only when nobody but root or the user could have put it there:
// neither the file nor any folder above it may be writable by others (a sticky folder
// such as /tmp excepted) or belong to a third user.
TEST_F(TrustedPathTest, RefusesWhatOthersCouldHaveWritten) {
    const struct {
        mode_t fileMode, folderMode;
        uid_t owner;  // of the file; 0 stands for the test's own user
        Verdict expected;
        const char* reasonHas;
    } cases[] = {
        {0644, 0755, 0, Verdict::Trusted, ""},
        {0664, 0755, 0, Verdict::Refused, "changed by its group"},
        {0646, 0755, 0, Verdict::Refused, "changed by any user"},
        {0644, 0775, 0, Verdict::Refused, "changed by its group"},
        {0644, 0777, 0, Verdict::Refused, "changed by any user"},
        {0644, 01777, 0, Verdict::Trusted, ""},  // sticky, as /tmp
        {0644, 0755, 4242, Verdict::Refused, "belongs to user 4242"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.fileMode << " in " << c.folderMode);
        std::filesystem::path folder = root / "modules";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        std::filesystem::path library = folder / "module.so";
        std::ofstream(library) << "not really a library";
        ASSERT_EQ(::chmod(library.c_str(), c.fileMode), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        if (c.owner != 0 && ::chown(library.c_str(), c.owner, static_cast<gid_t>(-1)) != 0) {
            std::cout << "[ SKIPPED  ] a third user's file: only root can give a file away\n";
            continue;
        }
        platform::LibraryCheck check = platform::trustedLibraryPath(library.string());
        EXPECT_EQ(check.verdict, c.expected) << check.reason;
        EXPECT_NE(check.reason.find(c.reasonHas), std::string::npos) << check.reason;
        EXPECT_EQ(check.path.empty(), c.expected != Verdict::Trusted);
    }
}

// A link is followed: what is checked, and loaded, is the file it leads to.
TEST_F(TrustedPathTest, FollowsLinksAndTellsMissingFromRefused) {
    std::filesystem::path real = root / "real.so";
    std::ofstream(real) << "x";
    ::chmod(real.c_str(), 0644);
    std::filesystem::create_symlink(real, root / "link.so");
    platform::LibraryCheck linked = platform::trustedLibraryPath((root / "link.so").string());
    EXPECT_EQ(linked.verdict, Verdict::Trusted) << linked.reason;
    EXPECT_EQ(linked.path, std::filesystem::canonical(real).string());
    const std::pair<std::string, Verdict> cases[] = {
        {(root / "absent.so").string(), Verdict::Missing},
        {"relative/module.so", Verdict::Refused},
        {root.string(), Verdict::Refused}};
    for (const auto& [path, verdict] : cases)
        EXPECT_EQ(platform::trustedLibraryPath(path).verdict, verdict) << path;
}

}  // namespace
}  // namespace trellybridge
