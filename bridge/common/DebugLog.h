// The debug log: one dump of the request (settings, bridge details, timestamps, errors,
// request and raw answer) appended as the progress window closes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace trellybridge {

struct RequestState;

// The dump of the thread's last request, as written to the log.
std::string debugDump(const RequestState& state);
// Appends the dump to BRIDGEDEBUG.log (in C:\BridgeLogs when that folder exists, else
// in the root of drive C) and keeps its host path in the state; records 401 and returns
// false when it cannot, or when the log is a symbolic link (its target is never written).
bool writeDebugLog(RequestState& state);
// The most BRIDGEDEBUG.log holds before it is renamed BRIDGEDEBUG.log.1 and a new one
// started: 16 MiB, or TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES when that is a whole number of
// bytes from 64 KiB to 1 GiB.
std::size_t maxDebugLogBytes();
// Why TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES is not used, or empty text when it is, or unset.
std::string debugLogLimitProblem();
// A step time as the log shows it: "2:03:59 PM", or "ABORTED" for a step that never happened.
std::string stepTimeText(const std::optional<platform::LocalTime>& time);

}  // namespace trellybridge
