// The few conversions of settings that the steps of a session share.
#pragma once

#include <limits>
#include <string>

#include "common/BridgeConfiguration.h"
#include "formats/AnswerDispatch.h"

namespace trellybridge::session {

inline constexpr const char* CRLF = "\r\n";

inline bool debugging(const BridgeConfiguration& c) {
    return c.DisplayDebugger.toText() == "true";
}

// The timer interval in ms. GetPatient refuses a TimeDelay outside 1 to 2147483647;
// the conversion is bounded all the same, since a double past int's range has no int.
inline int timeDelay(const BridgeConfiguration& c) {
    double ms = c.TimeDelay.numericValue();
    if (!(ms > 0)) return 0;
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(ms);
}

}  // namespace trellybridge::session
