// The patient request in the vendor's format, byte for byte, and its framing. The
// builders read only the settings and the clock they are given (an HL7 query's time
// stamp and control id); an error they meet comes back with what they built, for the
// caller to record.
#pragma once

#include <string>
#include <string_view>

#include "common/Errors.h"
#include "platform/Clock.h"

namespace trellybridge {

struct BridgeConfiguration;

namespace request {

inline constexpr std::string_view kDynamicTag = "<%DYNAMIC%>";

struct BuiltRequest {
    std::string text;
    bool formatKnown = true;  // false: the caller gives the failure notice, then sends anyway
    ErrorNotices notices = {};
};

// The request of the configured format (through the table of formats).
BuiltRequest buildRequest(const BridgeConfiguration& config, platform::Clock& clock);
// Each format's request: the dynamic request under <%DYNAMIC%>, else the request tag
// ([PID] replaced by the patient's identifier).
BuiltRequest buildStandardRequest(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildHl7Request(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildScanRequest(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildXmlRequest(const BridgeConfiguration& config, platform::Clock& clock);

std::string buildHL7Query(const BridgeConfiguration& config, ErrorNotices& notices,
                          platform::Clock& clock);
std::string buildHISRequest(const BridgeConfiguration& config);

// The characters of a comma-separated list of decimal codes ("13,10" is CR LF); gives
// empty text and error 300 when an item is not a code from 0 to 255.
std::string parseEOFRequest(std::string_view codes, ErrorNotices& notices);

// The end-of-request characters that follow a request on the serial line or TCP.
std::string endOfRequest(const BridgeConfiguration& config, ErrorNotices& notices);

}  // namespace request
}  // namespace trellybridge
