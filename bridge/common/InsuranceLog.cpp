#include "common/InsuranceLog.h"

#include <algorithm>

#include "common/Errors.h"
#include "platform/FileSystem.h"

namespace trellybridge {
namespace {

constexpr const char* kLogFolder = "C:\\BridgeLogs";
constexpr const char* kFolderLogFile = "C:\\BridgeLogs\\BRIDGEINSURANCE.log";
// Far above a full log of ordinary lines; a larger file reads as no lines at all.
constexpr size_t kMaxLogBytes = size_t{256} * 1024 * 1024;
// How long a writer waits for another thread or process to finish its turn.
constexpr int kLockWaitMs = 5000;

// The non-empty lines of the file, at most `limit` of them; lines end in CR LF, CR or LF.
// A symbolic link in the log's place reads as no lines: its target is never copied.
std::vector<std::string> readLines(std::string_view path, size_t limit) {
    std::vector<std::string> lines;
    auto content = fs::readRegularFile(path, kMaxLogBytes, fs::Links::Refuse).content;
    if (!content) return lines;
    std::string line;
    auto finish = [&] {
        if (!line.empty() && lines.size() < limit) lines.push_back(line);
        line.clear();
    };
    for (size_t i = 0; i < content->size(); ++i) {
        char c = (*content)[i];
        if (c == '\r' || c == '\n') {
            finish();
            if (c == '\r' && i + 1 < content->size() && (*content)[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    finish();
    return lines;
}

}  // namespace

std::string insuranceLogPath(std::string_view rootFileName) {
    return fs::folderExists(kLogFolder) ? kFolderLogFile : std::string(rootFileName);
}

bool InsuranceLogTurn::addLine(std::string_view fileName, std::string_view line, long long keep) {
    // The file read is the file that will be written, so the log never gathers repeats;
    // a file longer than the buffer keeps its first lines rather than being emptied.
    if (!begun_) {
        begun_ = true;
        path_ = insuranceLogPath(fileName);
        lock_ = fs::FileLock::acquire(path_ + ".lock", kLockWaitMs);
        lines_ = readLines(path_, kInsuranceLogCapacity - 1);
    }
    lines_.insert(lines_.begin(), std::string(line));
    // The new line stays whatever the size: write cuts to the rows asked for.
    auto wanted = static_cast<size_t>(std::max<long long>(keep, 1));
    if (lines_.size() > wanted) lines_.resize(wanted);
    return true;
}

bool InsuranceLogTurn::write(long long rows, const Reasons& reasons) {
    auto failed = [&] { reasons.record(errc::InsuranceLogFailed); };
    fs::FileLock lock = std::move(lock_);  // this turn ends when the log is written
    begun_ = false;
    if (!lock.held()) {
        failed();
        return false;
    }
    // More rows than the buffer holds is a failure, but the lines it does hold, the new
    // ones first, are written all the same.
    const std::vector<std::string>& buffer = lines_;
    std::string content;
    size_t count = std::min(
        buffer.size(), static_cast<size_t>(std::clamp<long long>(rows, 0, kInsuranceLogCapacity)));
    for (size_t i = 0; i < count; ++i)
        if (!buffer[i].empty()) content += buffer[i] + "\r\n";
    // The temporary file is ours while the lock is held, so it has a fixed name: a writer
    // killed halfway leaves that one file, which the next writer replaces.
    bool written = fs::replaceFile(path_, path_ + ".tmp", content, 0600);
    if (!written || rows > kInsuranceLogCapacity) {
        failed();
        return false;
    }
    return true;
}

}  // namespace trellybridge
