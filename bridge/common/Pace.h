// The pace of a request. The standard schedule waits out every step's ticks; the fast pace
// runs a step as soon as the event it waits for has happened (the connection made, the
// answer in), while every bound, retry, log line and result stays the same.
// TRELLYBRIDGE_PACE=fast chooses it; a host sets it before its first request.
#pragma once

#include <string_view>

namespace trellybridge {

enum class Pace { Scheduled, Fast };

Pace requestedPace();
std::string_view paceName(Pace pace);

}  // namespace trellybridge
