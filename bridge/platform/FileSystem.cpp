#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <system_error>

namespace trellybridge::fs {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string dataHome() {
    std::string xdg = environment("XDG_DATA_HOME");
    if (!xdg.empty()) return xdg;
    return environment("HOME") + "/.local/share";
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
    static thread_local std::mt19937 names{std::random_device{}()};
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

}  // namespace

void mapDrive(char letter, const std::string& directory) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::lock_guard lock(mappedDrivesMutex);
    if (directory.empty())
        mappedDrives().erase(upper);
    else
        mappedDrives()[upper] = directory;
}

std::string makeTemporaryFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

bool removeTree(const std::string& hostDirectory) {
    std::error_code error;
    std::filesystem::remove_all(hostDirectory, error);
    return !error;
}

bool createFolder(std::string_view path) {
    std::error_code error;
    std::filesystem::create_directories(hostPath(path), error);
    return folderExists(path);
}

std::string driveRoot(char letter) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    {
        std::lock_guard lock(mappedDrivesMutex);
        auto mapped = mappedDrives().find(upper);
        if (mapped != mappedDrives().end()) return mapped->second;
    }
    std::string configured = environment((std::string("TRELLYBRIDGE_DRIVE_") + upper).c_str());
    if (!configured.empty()) return configured;
    std::string standIn = dataHome() + "/trellybridge/drive_" +
                          static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    // Drive C always exists on the system the component was written for: its stand-in
    // is created, private to the user, the first time it is needed.
    if (upper == 'C') {
        std::error_code error;
        if (!std::filesystem::is_directory(standIn, error) &&
            std::filesystem::create_directories(standIn, error))
            std::filesystem::permissions(standIn, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
    }
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

std::optional<std::string> readFile(std::string_view path) {
    std::ifstream in(hostPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return content.str();
}

bool writeFileAtomically(std::string_view path, std::string_view content, unsigned mode) {
    std::string target = hostPath(path);
    std::string temporary = target + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    struct stat existing {};
    mode_t wanted = ::stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : mode;
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

RegularFileRead readRegularFile(std::string_view path, std::size_t limit) {
    using Status = RegularFileRead::Status;
    std::string host = hostPath(path);
    auto notRead = [](Status status, std::string reason) {
        return RegularFileRead{status, {}, std::move(reason)};
    };
    auto tooLarge = [&] {
        return notRead(Status::TooLarge, "more than " + std::to_string(limit) + " bytes");
    };
    // Looked at before opening, so that no device is even opened; looked at again
    // through the descriptor, in case the name was swapped in between.
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0) return notRead(Status::NotThere, systemText(errno));
    if (!S_ISREG(info.st_mode)) return notRead(Status::NotRegular, "not a regular file");
    Descriptor file(::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.fd < 0) return notRead(Status::NotThere, systemText(errno));
    if (::fstat(file.fd, &info) != 0) return notRead(Status::NotThere, systemText(errno));
    if (!S_ISREG(info.st_mode)) return notRead(Status::NotRegular, "not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > limit) return tooLarge();

    // The file may still grow while it is read: stop as soon as it is past the limit.
    RegularFileRead result{Status::Read, {}, {}};
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return notRead(Status::NotThere, systemText(errno));
        if (got == 0) break;
        result.content.append(buffer, static_cast<size_t>(got));
        if (result.content.size() > limit) return tooLarge();
    }
    return result;
}

bool appendToFile(std::string_view path, std::string_view content, unsigned mode) {
    int fd = ::open(hostPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = writeAll(fd, content);
    return (::close(fd) == 0) && ok;
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
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::error_code error;
        if (std::filesystem::is_directory(driveRoot(letter), error)) letters.push_back(letter);
    }
    return letters;
}

}  // namespace trellybridge::fs
