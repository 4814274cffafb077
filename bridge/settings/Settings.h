// What survives between requests (the last good TCP port), the default values that
// the settings pages restore, and the path helpers of the file-exchange bridges.
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

// The characters after the last "\" (or "/", for POSIX paths); the whole text when
// there is none.
std::string fileNameOf(std::string_view path);
// The characters up to and including the last "\" or "/" (empty when there is none).
std::string folderPartOf(std::string_view path);
// True when the folder has an entry (file or folder) named `name`, ignoring case.
bool folderContains(std::string_view folder, std::string_view name);

}  // namespace settings
}  // namespace trellybridge
