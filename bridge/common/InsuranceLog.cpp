#include "common/InsuranceLog.h"

#include <algorithm>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "platform/FileSystem.h"

namespace trellybridge {
namespace {

constexpr const char* kLogFolder = "C:\\BridgeLogs";
constexpr const char* kFolderLogFile = "C:\\BridgeLogs\\BRIDGEINSURANCE.log";
// Far above a full log of ordinary lines; a larger file reads as no lines at all.
constexpr size_t kMaxLogBytes = size_t{256} * 1024 * 1024;
// How long a writer waits for another thread or process to finish its turn.
constexpr int kLockWaitMs = 5000;
// The file the last prepared buffer came from and goes back to.
std::string& preparedLogPath() {
    return threadState().insuranceLogPath;
}
// Held from reading the log to writing it back, so that writers in other threads and
// processes take turns instead of overwriting each other's new lines.
fs::FileLock& heldLock() {
    return threadState().insuranceLogLock;
}

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

// A log that fails once per insurance line is reported once: a 400 right behind another
// adds nothing.
void recordLogFailure() {
    std::string element = errorElement(
        errc::InsuranceLogFailed, errorMessage(errc::InsuranceLogFailed, {}, Recorder::Standard));
    if (!threadState().errorList.ends_with(element)) recordError(errc::InsuranceLogFailed);
}

}  // namespace

std::string insuranceLogPath(std::string_view rootFileName) {
    return fs::folderExists(kLogFolder) ? kFolderLogFile : std::string(rootFileName);
}

bool addInsuranceLogLine(std::string_view fileName, std::string_view line, long long keep) {
    // The file read is the file that will be written, so the log never gathers repeats;
    // a file longer than the buffer keeps its first lines rather than being emptied.
    preparedLogPath() = insuranceLogPath(fileName);
    heldLock() = fs::FileLock();  // a lock of our own still held would make us wait on ourselves
    heldLock() = fs::FileLock::acquire(preparedLogPath() + ".lock", kLockWaitMs);
    std::vector<std::string> old = readLines(preparedLogPath(), kInsuranceLogCapacity - 1);
    std::vector<std::string>& buffer = threadState().insuranceLogLines;
    buffer.clear();
    buffer.emplace_back(line);
    size_t wanted = keep > 0 ? static_cast<size_t>(keep) : 0;
    for (size_t i = 0; i < old.size() && buffer.size() < wanted; ++i)
        buffer.push_back(std::move(old[i]));
    return true;
}

bool writeInsuranceLog(long long rows) {
    fs::FileLock lock = std::move(heldLock());  // this turn ends when the log is written
    if (!lock.held()) {
        recordLogFailure();
        return false;
    }
    // More rows than the buffer holds is a failure, but the lines it does hold, the new
    // ones first, are written all the same.
    const std::vector<std::string>& buffer = threadState().insuranceLogLines;
    std::string content;
    size_t count = std::min(
        buffer.size(), static_cast<size_t>(std::clamp<long long>(rows, 0, kInsuranceLogCapacity)));
    for (size_t i = 0; i < count; ++i)
        if (!buffer[i].empty()) content += buffer[i] + "\r\n";
    // The temporary file is ours while the lock is held, so it has a fixed name: a writer
    // killed halfway leaves that one file, which the next writer replaces.
    bool written = fs::replaceFile(preparedLogPath(), preparedLogPath() + ".tmp", content, 0600);
    if (!written || rows > kInsuranceLogCapacity) {
        recordLogFailure();
        return false;
    }
    return true;
}

}  // namespace trellybridge
