// The machine's TCP connection table as the IP Helper library gives it: rows with the
// MIB_TCP_STATE numbering, read from /proc/net/tcp and tcp6.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::iphelper {

// One row of the machine's TCP connection table, states numbered as MIB_TCP_STATE.
struct TcpRow {
    int state = 0;
    std::uint32_t localAddress = 0, remoteAddress = 0;  // network order
    std::uint16_t localPort = 0, remotePort = 0;        // host order
};

// Rows of /proc/net/tcp-style text (IPv4 peers of tcp6 text show as ::ffff:a.b.c.d).
std::vector<TcpRow> parseTcpTable(std::string_view procText, bool ipv6);
// The machine's table: /proc/net/tcp and /proc/net/tcp6.
std::vector<TcpRow> tcpTable();
std::string hostName();

}  // namespace trellybridge::iphelper
