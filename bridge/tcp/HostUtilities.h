// Host names and addresses of the TCP bridge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trellybridge {
struct SessionState;
}

namespace trellybridge::tcp {

std::string getLocalHostName();
// The dotted IPv4 address of a name (or of a dotted text itself); empty when not found.
std::string resolveHostAddress(std::string_view name);
// The same for a window that must not freeze: no answer within `boundMs` gives empty text.
std::string resolveHostAddressWithin(std::string_view name, int boundMs);
std::string addressToDotted(std::uint32_t networkOrderAddress);
// The local address: `pinned` (the {LOCAL IP:address} keyword) when given.
std::string getLocalIP(std::string_view localHostName,
                       const std::optional<std::string>& pinned = std::nullopt);
std::string getRemoteIP(std::string_view remoteHostName);
// Fills the session's localIP and remoteIP when both host names are known.
void resolveSessionAddresses(SessionState& session, std::string_view remoteHost,
                             const std::optional<std::string>& pinned);
std::string getHostNameFromIP(std::string_view dotted);

std::string trimAtNull(std::string_view text);

}  // namespace trellybridge::tcp
