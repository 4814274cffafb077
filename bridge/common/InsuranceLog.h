// The insurance log: one line per published insurance, newest first, cut to the
// configured number of lines. It lives in C:\BridgeLogs when that folder exists, else
// in the root of drive C.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge {

inline constexpr const char* kInsuranceLogFile = "c:\\BRIDGEINSURANCE.log";
inline constexpr int kInsuranceLogCapacity = 25001;

// The file the log is kept in: the BridgeLogs copy when that folder exists.
std::string insuranceLogPath(std::string_view rootFileName);
// Reads the kept lines and puts `line` in front of them; false when it could not.
bool addInsuranceLogLine(std::string_view fileName, std::string_view line, long long keep);
// Rewrites the log with its first `rows` lines; records 400 and returns false on failure.
bool writeInsuranceLog(long long rows);

}  // namespace trellybridge
