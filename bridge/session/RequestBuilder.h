// The patient request in the vendor's format, byte for byte, and its framing.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge {

struct BridgeConfiguration;

namespace request {

inline constexpr std::string_view kDynamicTag = "<%DYNAMIC%>";

struct BuiltRequest {
    std::string text;
    bool formatKnown = true;  // false: the caller gives the failure notice, then sends anyway
};

BuiltRequest buildRequest(const BridgeConfiguration& config);
std::string buildHL7Query(const BridgeConfiguration& config);
std::string buildHISRequest(const BridgeConfiguration& config);
std::string buildScanRequest(const BridgeConfiguration& config);
std::string buildXMLRequest(const BridgeConfiguration& config);

// The characters of a comma-separated list of decimal codes ("13,10" is CR LF);
// records 300 and gives empty text when an item is not a code from 0 to 255.
std::string parseEOFRequest(std::string_view codes);

// The end-of-request characters that follow a request on the serial line or TCP.
std::string endOfRequest(const BridgeConfiguration& config);

}  // namespace request
}  // namespace trellybridge
