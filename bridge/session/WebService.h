// What the HTTPS bridge sends: the service's address and the form it posts there.
#pragma once

#include <string>

#include "common/BridgeConfiguration.h"

namespace trellybridge::session {

// The base address and the page, joined as they stand.
std::string webServiceAddress(const BridgeConfiguration& config);
// orgid, pid, logon, password and format, each value form-encoded (letters, digits and
// "-._~" unchanged), so that no identifier can add or override a field. With
// `maskPassword`, the password reads as asterisks: the text that logs may show.
std::string webServiceQuery(const BridgeConfiguration& config, bool maskPassword);
// The message for one of the service's error numbers 201 to 204; empty for others.
std::string serviceErrorMessage(int code, const BridgeConfiguration& config);

}  // namespace trellybridge::session
