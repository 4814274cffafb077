// Name look-ups that a window waits for: each gives up after a bound, so a resolver
// that does not answer cannot freeze the dialog that asked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trellybridge::sockets {

// The IPv4 address (network order) of a name or of a dotted text; none when the name
// is unknown or the resolver did not answer within `boundMs`.
std::optional<std::uint32_t> resolveWithin(std::string_view hostName, int boundMs);
// The name of an address; empty when it has none or the resolver did not answer in time.
std::string nameOfWithin(std::uint32_t networkOrderAddress, int boundMs);

}  // namespace trellybridge::sockets
