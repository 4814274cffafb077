#include "common/Pace.h"

#include <cstdlib>
#include <string>

#include "common/Text.h"

namespace trellybridge {

Pace requestedPace() {
    const char* value = std::getenv("TRELLYBRIDGE_PACE");
    return value && text::upper(value) == "FAST" ? Pace::Fast : Pace::Scheduled;
}

std::string_view paceName(Pace pace) {
    return pace == Pace::Fast ? "fast" : "standard";
}

}  // namespace trellybridge
