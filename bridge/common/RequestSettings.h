// The settings of one request as its steps use them: read once from the stored text when
// the request is prepared, and carried by the request to every step. The text
// (BridgeConfiguration) stays what is shown, logged, stored and quoted in messages; each
// field here converts it exactly as the steps always have, so a request runs as before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/BridgeConfiguration.h"

namespace trellybridge {

// The override keywords written in HTTPSSubjectCN, as they stood when the request started.
class KeywordSet {
public:
    KeywordSet() = default;
    explicit KeywordSet(const BridgeConfiguration& config);
    // Inline for the empty set: a parse asks for a score of keywords and none are, most often.
    bool has(std::string_view keyword) const { return !inForce_.empty() && inForceHas(keyword); }
    // The value of {LOCAL IP:value}, when given.
    const std::optional<std::string>& localIp() const { return localIp_; }

private:
    bool inForceHas(std::string_view keyword) const;

    std::vector<std::string_view> inForce_;
    std::optional<std::string> localIp_;
};

struct RequestSettings {
    BridgeKind bridge = BridgeKind::Invalid;
    FormatKind format = FormatKind::Unknown;
    std::string patientId;

    // Durations: the timer's interval in ms, and the time-outs in ticks of it.
    int timeDelayMs = 0;
    double serialTimeoutTicks = 0;
    double networkTimeoutTicks = 0;
    // How long one TCP connect, answer or close may wait: the serial time-out's ticks of
    // the time delay, from one second to two minutes.
    int waitBoundMs = 1000;

    // AllowedRetries as the run loops count attempts against it, and as the engine's
    // closing comparison reads it (the same for the whole counts GetPatient lets through).
    int attempts = 0;
    double retryLimit = 0;

    // TCPRemotePorts as port numbers; empty when unset or not a list of ports.
    std::vector<std::uint16_t> ports;
    std::string remoteHost;  // TCPRemoteHostName

    // EOFCharacter: the byte an answer ends with when the setting is one character code
    // (a bridge that reads until it); and the end character a file's or a parsed answer's
    // end is trimmed of, which takes the code before any other text (empty past 255).
    std::optional<char> endOfAnswer;
    std::string endCharacter;

    // The vendor's paths as given: one never set holds the INVALID marker (or nothing),
    // which the file steps name when they refuse it.
    std::string applicationPath;
    std::string requestPath;
    std::string resultsPath;

    KeywordSet keywords;

    // The switches ("true" / "false" as GetPatient stores them).
    bool debugging = false;              // DisplayDebugger: the boxes and the debug log
    bool caseSensitive = true;           // CaseSensitivity: identifiers compared exactly
    bool medicGuarantorAddress = false;  // MEDICuseGuarantorAddress
    // VendorName upper-cased, as the steps compare it with the vendors they know.
    std::string vendor;
};

// Empty text and the INVALID marker both mean "not supplied".
inline bool isUnsetText(std::string_view text) {
    return text.empty() || text == kInvalidMarker;
}

// Reads the settings the steps use from the stored text.
RequestSettings readRequestSettings(const BridgeConfiguration& config);

// A comma-separated list of port numbers from 1 to 65535 (blanks around them and empty
// items passed over, as the session passes them), at least one; none when it is not.
std::optional<std::vector<std::uint16_t>> portList(std::string_view text);

}  // namespace trellybridge
