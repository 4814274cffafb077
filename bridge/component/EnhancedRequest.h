// Reading a GetPatientData request into the thread's settings.
#pragma once

#include <string_view>

#include "common/BridgeConfiguration.h"

namespace trellybridge::configuration {

// SetGlobalValues: every key of the three sections into its setting, a missing key as
// empty text; the search key values without leading and trailing spaces.
void storeRequestSections(BridgeConfiguration& config, std::string_view userInfo,
                          std::string_view searchInfo, std::string_view bridgeParameters);

}  // namespace trellybridge::configuration
