#include "platform/server/AuditLog.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/FileSystem.h"

namespace trellybridge::platform::server {
namespace {

constexpr std::size_t kKeyBytes = 32;

int openAppending(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY,
                  0640);
}

std::string utcNow() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(millis.count()));
    return std::string(text) + fraction;
}

void writeAll(int fd, const std::string& line) {
    for (size_t written = 0; written < line.size();) {
        ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a full disk loses the line, never the service
        written += static_cast<size_t>(n);
    }
}

}  // namespace

std::string auditText(const std::string& text) {
    std::string safe;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            safe += escaped;
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

AuditLog::AuditLog() = default;

AuditLog::~AuditLog() {
    if (fd_ > 2) ::close(fd_);
}

bool AuditLog::open(const std::string& path, const std::string& keyFile,
                    std::vector<std::string>& problems) {
    std::size_t before = problems.size();
    if (!keyFile.empty()) {
        fs::RegularFileRead file = fs::readRegularFile(keyFile, 4096);
        std::string line = file ? file.content->substr(0, file.content->find('\n')) : std::string();
        if (!file)
            problems.push_back("the audit key " + keyFile + ": " + file.reason);
        else if ((file.mode & 077) != 0)
            problems.push_back("the audit key " + keyFile +
                               " may be read or written by others (chmod 600 it)");
        else if (line.size() < kKeyBytes)
            problems.push_back("the audit key " + keyFile + " must hold at least 32 characters");
        else
            key_.assign(line.begin(), line.end());
    } else {
        key_.resize(kKeyBytes);
        if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
            problems.emplace_back("no random key can be made for the audit log");
    }
    if (!path.empty()) {
        int fd = openAppending(path);
        if (fd < 0)
            problems.push_back("the audit log " + path + ": " + std::strerror(errno));
        else
            fd_ = fd;
        path_ = path;
    }
    return problems.size() == before;
}

void AuditLog::reopen() {
    if (path_.empty()) return;
    int fd = openAppending(path_);
    if (fd < 0) return;
    std::lock_guard lock(mutex_);
    if (fd_ > 2) ::close(fd_);
    fd_ = fd;
}

std::string AuditLog::hashOf(const std::string& identifier) const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    size_t length = 0;
    if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key_.data(), key_.size(),
                   reinterpret_cast<const unsigned char*>(identifier.data()), identifier.size(),
                   digest, sizeof digest, &length))
        return "unhashed";
    std::string hex;
    for (size_t i = 0; i < 8 && i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

void AuditLog::write(const AuditEntry& entry) {
    std::string line = utcNow() + " audit client=\"" + auditText(entry.client) +
                       "\" from=" + auditText(entry.address) + " op=" + auditText(entry.operation) +
                       " id=" + (entry.identifier.empty() ? "-" : hashOf(entry.identifier)) +
                       " status=" + std::to_string(entry.status) + " outcome=\"" +
                       auditText(entry.outcome) + "\" ms=" + std::to_string(entry.milliseconds) +
                       "\n";
    std::lock_guard lock(mutex_);
    writeAll(fd_, line);
}

}  // namespace trellybridge::platform::server
