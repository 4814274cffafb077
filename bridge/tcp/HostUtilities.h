// Host names and addresses, the comma-separated port lists of the TCP bridge with the
// shuffle that spreads sites over a vendor's ports.
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

// Port lists: items separated by ",", numbered from 1.
int countListItems(std::string_view list);
// Item n; a position below 1 or beyond the last item gives the last item.
std::string getListItem(std::string_view list, int n);
std::string removeListItem(std::string_view list, int count, int n);
std::string removeDuplicateItems(std::string_view list);
std::string reverseList(std::string_view list);
// The list without repeated and empty items, in first-seen order.
std::string distinctItems(std::string_view list);
// A permutation of the list's distinct, non-empty items that differs by computer and by
// second.
std::string shufflePorts(std::string_view list);

std::string trimAtNull(std::string_view text);

}  // namespace trellybridge::tcp
