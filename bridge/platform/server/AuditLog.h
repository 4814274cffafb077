// One line per request, for whoever must later say who read what: the time, who asked
// and from where, the operation, a keyed hash of the identifier it named, the status, the
// outcome and how long it took. Never a name, a date or an identifier in clear: the line
// goes to the journal, which more people may read than may read patients.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace trellybridge::platform::server {

struct AuditEntry {
    std::string client;      // "token NAME", "certificate SUBJECT", or "-" when none was accepted
    std::string address;     // the client's address
    std::string operation;   // "read", "search-identifier", ... or the method when unrouted
    std::string identifier;  // hashed before it is written
    int status = 0;
    std::string outcome;  // "found", "not-found", "refused: ..."
    long long milliseconds = 0;
};

class AuditLog {
public:
    AuditLog();
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    // Writes to `path` (appending; created with mode 0640), or to standard error when it
    // is empty. The identifier hash is keyed by the first line of `keyFile` (mode 0600,
    // at least 32 characters), so that lines of several runs can be matched to one
    // identifier by someone who holds the key, or by a key made for this run when none
    // is given. False with `problems` set when a file cannot be used.
    bool open(const std::string& path, const std::string& keyFile,
              std::vector<std::string>& problems);
    // Opens the file again (after it was rotated away); keeps writing where it did when
    // that fails.
    void reopen();
    void write(const AuditEntry& entry);
    // The hash the log writes for `identifier` (16 hexadecimal digits).
    std::string hashOf(const std::string& identifier) const;

private:
    std::mutex mutex_;
    std::string path_;
    int fd_ = 2;
    std::vector<unsigned char> key_;
};

// Text safe in one audit line: quotes, backslashes and control characters escaped.
std::string auditText(const std::string& text);

}  // namespace trellybridge::platform::server
