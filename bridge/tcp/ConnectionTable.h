// The machine's TCP connections as the TCP test dialog shows them.
#pragma once

#include <array>
#include <string>

namespace trellybridge::tcp {

// The TCP table snapshot the TCP test dialog shows.
struct TcpTableSnapshot {
    static constexpr int kMaxRows = 101;
    std::array<std::string, kMaxRows> remoteIP, hostName, remotePort, state;
    int count = 0;
};
TcpTableSnapshot& tcpTableSnapshot();
// How long one name look-up of the table, and all of them together, may take.
inline constexpr int kNameLookupBoundMs = 1000;
inline constexpr int kNameLookupBudgetMs = 3000;
// Fills the snapshot (and the session's port list and count, which it shares) from the
// machine's TCP table, skipping rows without a remote address.
void loadTcpTable();
std::string tcpStateName(int state);

}  // namespace trellybridge::tcp
