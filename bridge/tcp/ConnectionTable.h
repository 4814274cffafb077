// The machine's TCP connections as the TCP test dialog shows them.
#pragma once

#include <array>
#include <string>

namespace trellybridge {
struct SessionState;
}

namespace trellybridge::tcp {

// The TCP table snapshot the TCP test dialog shows.
struct TcpTableSnapshot {
    static constexpr int kMaxRows = 101;
    std::array<std::string, kMaxRows> remoteIP, hostName, remotePort, state;
    int count = 0;
};
// How long one name look-up of the table, and all of them together, may take.
inline constexpr int kNameLookupBoundMs = 1000;
inline constexpr int kNameLookupBudgetMs = 3000;
// The machine's TCP table, skipping rows without a remote address; the session's port
// list and count share it.
TcpTableSnapshot loadTcpTable(SessionState& session);
std::string tcpStateName(int state);

}  // namespace trellybridge::tcp
