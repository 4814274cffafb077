#include "common/InsuranceLog.h"

#include <algorithm>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "platform/FileSystem.h"

namespace trellybridge {
namespace {

constexpr const char* kLogFolder = "C:\\BridgeLogs";
constexpr const char* kFolderLogFile = "C:\\BridgeLogs\\BRIDGEINSURANCE.log";
// The file the last prepared buffer came from and goes back to.
thread_local std::string preparedLogPath = kInsuranceLogFile;

// The non-empty lines of the file, at most `limit` of them; lines end in CR LF, CR or LF.
std::vector<std::string> readLines(std::string_view path, size_t limit) {
    std::vector<std::string> lines;
    auto content = fs::readFile(path);
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

bool addInsuranceLogLine(std::string_view fileName, std::string_view line, long long keep) {
    // The file read is the file that will be written, so the log never gathers repeats;
    // a file longer than the buffer keeps its first lines rather than being emptied.
    preparedLogPath = insuranceLogPath(fileName);
    std::vector<std::string> old = readLines(preparedLogPath, kInsuranceLogCapacity - 1);
    std::vector<std::string>& buffer = threadState().insuranceLogLines;
    buffer.clear();
    buffer.emplace_back(line);
    size_t wanted = keep > 0 ? static_cast<size_t>(keep) : 0;
    for (size_t i = 0; i < old.size() && buffer.size() < wanted; ++i)
        buffer.push_back(std::move(old[i]));
    return true;
}

bool writeInsuranceLog(long long rows) {
    if (rows > kInsuranceLogCapacity) {
        recordError(errc::InsuranceLogFailed);
        return false;
    }
    const std::vector<std::string>& buffer = threadState().insuranceLogLines;
    std::string content;
    size_t count = std::min(buffer.size(), static_cast<size_t>(std::max(rows, 0LL)));
    for (size_t i = 0; i < count; ++i)
        if (!buffer[i].empty()) content += buffer[i] + "\r\n";
    if (!fs::writeFileAtomically(preparedLogPath, content, 0600)) {
        recordError(errc::InsuranceLogFailed);
        return false;
    }
    return true;
}

}  // namespace trellybridge
