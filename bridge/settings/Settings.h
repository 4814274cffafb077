// What survives between requests (the last good TCP port) and the default values that
// the settings pages restore.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge {

struct BridgeConfiguration;
struct SessionState;

namespace settings {

inline constexpr const char* kSection = "Properties";
inline constexpr const char* kLastGoodPort = "LastGoodPort";

// Empty text when nothing is stored under the key.
std::string getProperty(std::string_view key);
void saveProperty(std::string_view key, std::string_view value);

void restoreCommonDefaults(BridgeConfiguration& config);
void restoreMEDICDefaults(BridgeConfiguration& config);
void restoreHISDefaults(BridgeConfiguration& config);
void restoreHTTPSDefaults(BridgeConfiguration& config);
void restoreNetworkDefaults(BridgeConfiguration& config);
void restoreSerialDefaults(BridgeConfiguration& config);
void restoreMoreSerialDefaults(BridgeConfiguration& config);
void restoreTcpDefaults(BridgeConfiguration& config, SessionState& session);
// The group the named settings page restores (a bridge's working defaults are the groups
// of the pages it shows); nothing for a page without one.
void restorePageDefaults(std::string_view page, BridgeConfiguration& config, SessionState& session);

}  // namespace settings
}  // namespace trellybridge
