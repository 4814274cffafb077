#include "common/Pace.h"

#include <cstdlib>
#include <string>

#include "common/Text.h"

namespace trellybridge {
namespace {

thread_local std::optional<Pace> threadPace;

}  // namespace

Pace requestedPace() {
    if (threadPace) return *threadPace;
    const char* value = std::getenv("TRELLYBRIDGE_PACE");
    return value && text::upper(value) == "FAST" ? Pace::Fast : Pace::Scheduled;
}

std::string_view paceName(Pace pace) {
    return pace == Pace::Fast ? "fast" : "standard";
}

std::optional<Pace> paceNamed(std::string_view name) {
    std::string upper = text::upper(std::string(name));
    if (upper == "FAST") return Pace::Fast;
    if (upper == "STANDARD") return Pace::Scheduled;
    return std::nullopt;
}

std::optional<Pace> setThreadPace(std::optional<Pace> pace) {
    std::optional<Pace> former = threadPace;
    threadPace = pace;
    return former;
}

}  // namespace trellybridge
