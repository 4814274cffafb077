#include "platform/FileSystem.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/Clock.h"
#include "platform/ThreadContext.h"

namespace trellybridge::fs {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string dataHome() {
    std::string xdg = environment("XDG_DATA_HOME");
    if (xdg.starts_with('/')) return xdg;
    std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

bool hasDriveLetter(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        content.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Creates each missing folder of a host path with mode 0700; folders that exist are kept.
bool makePrivateFolders(const std::string& hostDirectory) {
    std::error_code error;
    if (std::filesystem::is_directory(hostDirectory, error)) return true;
    std::filesystem::path built;
    for (const std::filesystem::path& part : std::filesystem::path(hostDirectory)) {
        built /= part;
        if (part.empty() || part == "/" || part == "." || part == "..") continue;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return std::filesystem::is_directory(hostDirectory, error);
}

std::string systemText(int error) {
    return std::generic_category().message(error);
}

// Closes a descriptor on every way out.
struct Descriptor {
    int fd;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// A new temporary file beside `target`, created with `mode` (the umask applies).
int createTemporaryBeside(const std::string& target, mode_t mode, std::string& temporary) {
    std::mt19937& names = platform::threadContext().temporaryNames;
    constexpr int kTries = 100;
    for (int i = 0; i < kTries; ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(names()));
        temporary = target + suffix;
        int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

std::map<char, std::string>& mappedDrives() {
    static std::map<char, std::string> drives;
    return drives;
}
std::mutex mappedDrivesMutex;
std::string removableMediaRoot;  // guarded by mappedDrivesMutex

std::string configuredDrive(char upper) {
    return environment((std::string("TRELLYBRIDGE_DRIVE_") + upper).c_str());
}

// The last letter C or a mapping claims: removable media come after it.
char lastMappedLetter() {
    char last = 'C';
    {
        std::lock_guard lock(mappedDrivesMutex);
        if (!mappedDrives().empty()) last = std::max(last, mappedDrives().rbegin()->first);
    }
    for (char letter = 'Z'; letter > last; --letter)
        if (!configuredDrive(letter).empty()) return letter;
    return last;
}

// The folders of each place, sorted by name; the same folder is listed once.
std::vector<std::string> removableMediaFolders() {
    std::string root;
    {
        std::lock_guard lock(mappedDrivesMutex);
        root = removableMediaRoot;
    }
    std::string user = currentUserName();
    std::vector<std::string> folders;
    if (user.empty() || user.find('/') != std::string::npos || user == "." || user == "..")
        return folders;
    for (const char* place : {"/media/", "/run/media/"}) {
        std::vector<std::string> found;
        std::error_code error;
        std::string placeFolder = root;
        placeFolder.append(place).append(user);
        std::filesystem::directory_iterator entries(placeFolder, error);
        for (auto it = error ? std::filesystem::directory_iterator() : entries;
             it != std::filesystem::directory_iterator(); it.increment(error)) {
            if (error) break;
            std::error_code typeError;
            if (it->is_directory(typeError)) found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        for (std::string& folder : found)
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(std::move(folder));
    }
    return folders;
}

// The removable medium a letter after the mapped ones stands for, or empty text.
std::string removableMediumFor(char upper) {
    char last = lastMappedLetter();
    if (upper <= last) return {};
    std::vector<std::string> folders = removableMediaFolders();
    auto index = static_cast<size_t>(upper - last - 1);
    return index < folders.size() ? folders[index] : std::string();
}

}  // namespace

void setRemovableMediaRoot(const std::string& root) {
    std::lock_guard lock(mappedDrivesMutex);
    removableMediaRoot = root == "/" ? std::string() : root;
}

std::string currentUserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return environment("USER");
}

void mapDrive(char letter, const std::string& directory) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::lock_guard lock(mappedDrivesMutex);
    if (directory.empty())
        mappedDrives().erase(upper);
    else
        mappedDrives()[upper] = directory;
}

std::string makeTemporaryFolder(const std::string& prefix) {
    // TMPDIR naming no folder is a failure to report, not an exception to die of.
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return {};
    std::string pattern = (folder / (prefix + "-XXXXXX")).string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

bool removeTree(const std::string& hostDirectory) {
    std::error_code error;
    std::filesystem::remove_all(hostDirectory, error);
    return !error;
}

bool createFolder(std::string_view path) {
    makePrivateFolders(hostPath(path));
    return folderExists(path);
}

std::string driveRoot(char letter) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    {
        std::lock_guard lock(mappedDrivesMutex);
        auto mapped = mappedDrives().find(upper);
        if (mapped != mappedDrives().end()) return mapped->second;
    }
    std::string configured = configuredDrive(upper);
    if (!configured.empty()) return configured;
    if (upper >= 'A' && upper <= 'Z' && upper != 'C') {
        std::string medium = removableMediumFor(upper);
        if (!medium.empty()) return medium;
    }
    std::string data = dataHome();
    if (data.empty()) return {};  // no home: no stand-in, rather than one somewhere else
    std::string standIn = data + "/trellybridge/drive_" +
                          static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    // Drive C always exists on the system the component was written for: its stand-in
    // is created, private to the user, the first time it is needed.
    if (upper == 'C') makePrivateFolders(standIn);
    return standIn;
}

std::string hostPath(std::string_view path) {
    std::string rest;
    std::string root;
    if (hasDriveLetter(path)) {
        root = driveRoot(path[0]);
        rest = path.substr(2);
    } else if (!path.empty() && path[0] == '\\') {
        root = driveRoot('C');  // rooted on the current drive
        rest = path;
    } else {
        rest = path;
    }
    for (char& c : rest)
        if (c == '\\') c = '/';
    if (root.empty()) return rest;
    if (!rest.empty() && rest[0] != '/') rest.insert(rest.begin(), '/');
    return root + rest;
}

bool folderExists(std::string_view path) {
    std::error_code error;
    return std::filesystem::is_directory(hostPath(path), error);
}

bool fileExists(std::string_view path) {
    std::error_code error;
    return std::filesystem::is_regular_file(hostPath(path), error);
}

std::optional<FileStamp> stampOf(std::string_view path) {
    struct stat info {};
    if (::stat(hostPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    auto ns = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    return FileStamp{static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::uint64_t>(info.st_size), ns(info.st_mtim), ns(info.st_ctim)};
}

bool writeFileAtomically(std::string_view path, std::string_view content, unsigned mode,
                         ExistingMode existingMode) {
    std::string target = hostPath(path);
    std::string temporary = target + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    struct stat existing {};
    mode_t wanted = existingMode == ExistingMode::Keep && ::stat(target.c_str(), &existing) == 0
                        ? existing.st_mode & 07777
                        : mode;
    bool ok = ::fchmod(fd, wanted) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

FileOutcome writeOrdinaryFileAtomically(std::string_view path, std::string_view content) {
    std::string target = hostPath(path);
    std::string temporary;
    int fd = createTemporaryBeside(target, 0666, temporary);
    if (fd < 0) return {false, systemText(errno)};
    // A file that is being replaced keeps the permissions it has.
    struct stat existing {};
    bool ok = ::stat(target.c_str(), &existing) != 0 || ::fchmod(fd, existing.st_mode & 07777) == 0;
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) ::unlink(temporary.c_str());
    return ok ? FileOutcome{true, {}} : FileOutcome{false, systemText(error)};
}

bool appendToFile(std::string_view path, std::string_view content, unsigned mode) {
    // O_NONBLOCK keeps a FIFO in the file's place from holding the caller; it does
    // nothing to a regular file.
    int fd = ::open(hostPath(path).c_str(),
                    O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    // A disk that fills, or a file size limit reached, partway through takes back what
    // went in: the file never ends in half a record.
    off_t start = ok ? ::lseek(fd, 0, SEEK_END) : -1;
    ok = start >= 0 && writeAll(fd, content);
    if (!ok && start >= 0) (void)::ftruncate(fd, start);
    return (::close(fd) == 0) && ok;
}

bool appendToBoundedLog(std::string_view path, std::string_view content, std::size_t maxBytes,
                        unsigned mode) {
    content = content.substr(0, maxBytes);
    std::string host = hostPath(path);
    struct stat info {};
    // Only a regular file is turned over; a link in the log's place is refused below.
    if (::lstat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::size_t>(info.st_size) + content.size() > maxBytes) {
        std::string older = host + ".1";
        if (::rename(host.c_str(), older.c_str()) != 0) return false;
        ::chmod(older.c_str(), 0600);
    }
    return appendToFile(path, content, mode);
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (home.starts_with('/')) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

RegularFileRead readRegularFile(std::string_view path, std::size_t limit, Links links) {
    using Failure = RegularFileRead::Failure;
    RegularFileRead result;
    auto fail = [&result](Failure failure, std::string reason) {
        result.failure = failure;
        result.reason = std::move(reason);
        return result;
    };
    // Looked at before opening, so that no device is even opened (opening a serial line
    // raises its control lines); looked at again through the descriptor below, in case
    // the name was swapped in between.
    std::string host = hostPath(path);
    struct stat before {};
    int found =
        links == Links::Refuse ? ::lstat(host.c_str(), &before) : ::stat(host.c_str(), &before);
    if (found == 0 && !S_ISREG(before.st_mode) && !S_ISLNK(before.st_mode))
        return fail(Failure::NotRegular,
                    S_ISDIR(before.st_mode) ? "is a directory" : "not a regular file");
    // O_NONBLOCK: opening a FIFO must not wait for a writer before it can be refused.
    int flags =
        O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    int fd = ::open(host.c_str(), flags);
    if (fd < 0) {
        int error = errno;
        if (error == ENOENT) return fail(Failure::Missing, std::strerror(error));
        if (error == ELOOP && links == Links::Refuse)
            return fail(Failure::SymbolicLink, "is a symbolic link");
        return fail(Failure::Unreadable, std::strerror(error));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return fail(Failure::Unreadable, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(Failure::NotRegular,
                    S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file");
    }
    std::string tooLarge = "is larger than " + std::to_string(limit) + " bytes";
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        ::close(fd);
        return fail(Failure::TooLarge, tooLarge);
    }
    // The size may change while reading: never take more than one byte past the limit.
    // A little room past the end, so that a caller marking the end of what it read does not
    // copy it all.
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size) + 16);
    char chunk[65536];
    while (content.size() <= limit) {
        std::size_t room = limit - content.size();
        std::size_t want = room < sizeof chunk ? room + 1 : sizeof chunk;
        ssize_t got = ::read(fd, chunk, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int error = errno;
            ::close(fd);
            return fail(Failure::Unreadable, std::strerror(error));
        }
        if (got == 0) break;
        content.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (content.size() > limit) return fail(Failure::TooLarge, tooLarge);
    result.content = std::move(content);
    result.mode = static_cast<unsigned>(info.st_mode & 07777);
    result.ownedByUser = info.st_uid == ::geteuid();
    return result;
}

bool replaceFile(std::string_view path, std::string_view temporaryPath, std::string_view content,
                 unsigned mode) {
    std::string target = hostPath(path);
    std::string temporary = hostPath(temporaryPath);
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) return false;
    // A temporary file left by a writer that was killed goes first; whatever stands under
    // the name (even a link) is removed, never written through.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return false;
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

FileLock FileLock::acquire(std::string_view path, int waitMs) {
    int fd = ::open(hostPath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                    0600);
    if (fd < 0) return FileLock();
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileLock();
    }
    // A blocking flock could wait forever on a holder that hangs: poll with short sleeps
    // until the deadline instead, on the thread's clock (a virtual one is advanced, not
    // slept on).
    constexpr int kPollMs = 2;
    platform::Clock& clock = platform::clock();
    const std::int32_t started = clock.tickCount();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || clock.tickCount() - started >= waitMs) {
            ::close(fd);
            return FileLock();
        }
        if (clock.isVirtual())
            clock.advance(kPollMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return FileLock(fd);
}

bool removeFile(std::string_view path) {
    std::error_code error;
    return std::filesystem::remove(hostPath(path), error);
}

std::vector<std::string> listFolder(std::string_view path) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(hostPath(path), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        names.push_back(it->path().filename().string());
    return names;
}

std::vector<char> readyDrives() {
    std::vector<char> letters;
    const char last = lastMappedLetter();
    const std::vector<std::string> media = removableMediaFolders();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        auto medium = static_cast<size_t>(letter - last - 1);
        std::string root =
            letter > last && medium < media.size() ? media[medium] : driveRoot(letter);
        std::error_code error;
        if (std::filesystem::is_directory(root, error)) letters.push_back(letter);
    }
    return letters;
}

}  // namespace trellybridge::fs
