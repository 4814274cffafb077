// Files and folders addressed by Windows-style paths ("c:\vendor\patient.dat") or POSIX
// paths. A drive letter maps to a host directory (TRELLYBRIDGE_DRIVE_<X>); backslashes
// become slashes; POSIX paths pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::fs {

// The host directory a drive letter stands for.
std::string driveRoot(char letter);
// Maps a drive letter to a host directory for this process (empty text removes the
// mapping), ahead of the TRELLYBRIDGE_DRIVE_<X> variables.
void mapDrive(char letter, const std::string& directory);
// Removable media mounted for the user (/media/<user>/* and /run/media/<user>/*) take
// the drive letters after the last mapped one (C and every mapped letter), in that
// order, each folder sorted by name. `root` stands in for "/" so that tests need not
// depend on the machine's mounts; empty text restores "/".
void setRemovableMediaRoot(const std::string& root);
// The login name of the account the process runs as.
std::string currentUserName();
// A new private folder under the system's temporary directory; empty on failure.
std::string makeTemporaryFolder(const std::string& prefix);
bool removeTree(const std::string& hostDirectory);
// Creates a folder and any missing parents, private to the user (0700, as the XDG base
// directory convention asks); folders that exist are left as they are. True when it
// exists afterwards.
bool createFolder(std::string_view path);
// The host path for a Windows-style or POSIX path.
std::string hostPath(std::string_view path);

bool folderExists(std::string_view path);
bool fileExists(std::string_view path);
// What a look at a regular file sees of it (links followed): which file it is, its size,
// and when its content and its entry last changed. A writer changes one or the other.
struct FileStamp {
    std::uint64_t file = 0, size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// nullopt when there is no regular file there.
std::optional<FileStamp> stampOf(std::string_view path);
// Replaces the file through a temporary file in the same folder and a rename, so that
// readers never see half a file. New files get `mode`.
// A file being replaced keeps its permissions unless `existing` is Replace.
enum class ExistingMode { Keep, Replace };
bool writeFileAtomically(std::string_view path, std::string_view content, unsigned mode = 0600,
                         ExistingMode existing = ExistingMode::Keep);

// What became of a file operation; `reason` is the system's own words when it failed
// ("Permission denied").
struct FileOutcome {
    bool ok = false;
    std::string reason;
};
// As writeFileAtomically, but a new file gets the permissions every program's ordinary
// files get (0666 less the umask), so that programs of other accounts may read it.
FileOutcome writeOrdinaryFileAtomically(std::string_view path, std::string_view content);

// Appends to a regular file, creating it with `mode` when it does not exist: all of
// `content`, or (when the disk fills partway) nothing. A symbolic link, device or FIFO in
// its place is refused, so that nothing is written elsewhere.
bool appendToFile(std::string_view path, std::string_view content, unsigned mode = 0600);
// appendToFile for a log that never holds more than `maxBytes`: when the content would
// take it past that, the log is first renamed to "<path>.1" (replacing an older one,
// mode 0600) and a new one started; content longer than `maxBytes` is cut to it.
bool appendToBoundedLog(std::string_view path, std::string_view content, std::size_t maxBytes,
                        unsigned mode = 0600);
// The user's home folder: $HOME when it is an absolute path, else the one the password
// database names; empty text when neither is absolute (a relative home is never used).
std::string homeFolder();

// A file read whole, or why it was not.
struct RegularFileRead {
    enum class Failure { None, Missing, NotRegular, SymbolicLink, TooLarge, Unreadable };
    std::optional<std::string> content;
    Failure failure = Failure::None;
    std::string reason;        // for people: "is a directory", "is larger than 1048576 bytes"
    unsigned mode = 0;         // the permission bits of the file read
    bool ownedByUser = false;  // it belongs to the user running this program
    explicit operator bool() const { return content.has_value(); }
};
enum class Links { Follow, Refuse };
// Reads a regular file of at most `limit` bytes without ever reading more than limit + 1:
// a directory, device, FIFO or socket is refused unread, and so is a final symbolic link
// when `links` is Refuse.
RegularFileRead readRegularFile(std::string_view path, std::size_t limit,
                                Links links = Links::Follow);

// Replaces `path` with `content` through the temporary file `temporaryPath` (same folder)
// and a rename. The new file has `mode` whatever mode the old one had. The temporary name
// is fixed, so the caller must hold a lock that makes it its own (see FileLock). Nothing
// is touched when `path` is a symbolic link or anything but a regular file.
bool replaceFile(std::string_view path, std::string_view temporaryPath, std::string_view content,
                 unsigned mode = 0600);

// An exclusive lock on a lock file, shared by the threads and processes that rewrite one
// file; released when the object goes.
class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Takes the lock on `path` (created 0600 when missing; a symbolic link is refused),
    // waiting at most `waitMs` milliseconds for another holder to let go. The result is
    // not held when the wait ran out or the file could not be opened.
    static FileLock acquire(std::string_view path, int waitMs);
    bool held() const { return fd_ >= 0; }

private:
    explicit FileLock(int fd) : fd_(fd) {}
    void release();
    int fd_ = -1;
};
bool removeFile(std::string_view path);
// Entry names of a folder (files and folders), empty when it cannot be listed.
std::vector<std::string> listFolder(std::string_view path);
// Drive letters whose host directory exists, in alphabetical order (mapped drives, then
// removable media).
std::vector<char> readyDrives();

}  // namespace trellybridge::fs
