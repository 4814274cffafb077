// The debug log: one dump of the request (settings, bridge details, timestamps, errors,
// request and raw answer) appended as the session window closes.
#pragma once

#include <optional>
#include <string>

#include "platform/Clock.h"

namespace trellybridge {

// The dump of the thread's last request, as written to the log.
std::string debugDump();
// Appends the dump to BRIDGEDEBUG.log (in C:\BridgeLogs when that folder exists, else
// in the root of drive C); records 401 and returns false when it cannot, or when the log
// is a symbolic link (its target is never written).
bool writeDebugLog();
// A step time as the log shows it: "2:03:59 PM", or "ABORTED" for a step that never happened.
std::string stepTimeText(const std::optional<platform::LocalTime>& time);

}  // namespace trellybridge
