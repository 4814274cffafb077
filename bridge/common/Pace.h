// The pace of a request. The standard schedule waits out every step's ticks; the fast pace
// runs a step as soon as the event it waits for has happened (the connection made, the
// answer in) and tries a step that failed outright again one TimeDelay later, while every
// retry, log line and result stays the same.
// A thread may choose its requests' pace (the command line and the Python binding choose
// the fast one); otherwise TRELLYBRIDGE_PACE=fast chooses it for the process.
#pragma once

#include <optional>
#include <string_view>

namespace trellybridge {

enum class Pace { Scheduled, Fast };

// The pace a request starting on this thread runs at.
Pace requestedPace();
std::string_view paceName(Pace pace);
// "standard" or "fast", in any case; nullopt for anything else.
std::optional<Pace> paceNamed(std::string_view name);
// The pace for this thread's requests from now on, whatever the environment says;
// nullopt leaves the choice to TRELLYBRIDGE_PACE again. Returns the thread's former choice.
std::optional<Pace> setThreadPace(std::optional<Pace> pace);

}  // namespace trellybridge
