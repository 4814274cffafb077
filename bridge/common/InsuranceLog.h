// The insurance log: one line per published insurance, newest first, cut to the
// configured number of lines. It lives in C:\BridgeLogs when that folder exists, else
// in the root of drive C.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Reasons.h"
#include "platform/FileSystem.h"

namespace trellybridge {

inline constexpr const char* kInsuranceLogFile = "c:\\BRIDGEINSURANCE.log";
inline constexpr int kInsuranceLogCapacity = 25001;

// The file the log is kept in: the BridgeLogs copy when that folder exists.
std::string insuranceLogPath(std::string_view rootFileName);
// One turn at the log, from reading it to writing it back, while its lock makes writers
// in other threads and processes wait theirs instead of overwriting each other's lines.
// A request takes one turn for all its lines, so a lock held elsewhere costs it one wait.
class InsuranceLogTurn {
public:
    // The first line of the turn takes the log's lock (beside it, "<log>.lock") and reads
    // the kept lines; each line goes in front of those before it. The lock is held until
    // write.
    bool addLine(std::string_view fileName, std::string_view line, long long keep);
    // Rewrites the log (mode 0600) with its first `rows` lines, at most the capacity, and
    // lets the lock go. Records 400 and returns false when the lock was not had, the log
    // could not be replaced (a symbolic link in its place is never followed), or `rows` is
    // above the capacity; in that last case the capacity's worth of lines is written all
    // the same.
    bool write(long long rows, const Reasons& reasons);

private:
    std::string path_ = kInsuranceLogFile;  // the file the lines came from and go back to
    bool begun_ = false;
    fs::FileLock lock_;
    std::vector<std::string> lines_;
};

}  // namespace trellybridge
