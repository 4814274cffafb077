#include "platform/TcpTable.h"

#include <arpa/inet.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <utility>

#include "platform/Sockets.h"

namespace trellybridge::iphelper {
namespace {

// Linux TCP states (include/net/tcp_states.h) as MIB_TCP_STATE numbers.
int mibState(int linuxState) {
    switch (linuxState) {
        case 0x01: return 5;   // ESTABLISHED
        case 0x02: return 3;   // SYN_SENT
        case 0x03: return 4;   // SYN_RECV
        case 0x04: return 6;   // FIN_WAIT1
        case 0x05: return 7;   // FIN_WAIT2
        case 0x06: return 11;  // TIME_WAIT
        case 0x07: return 1;   // CLOSE
        case 0x08: return 8;   // CLOSE_WAIT
        case 0x09: return 10;  // LAST_ACK
        case 0x0A: return 2;   // LISTEN
        case 0x0B: return 9;   // CLOSING
        default: return 0;
    }
}

// "0100007F:1F90" (IPv4) or the 32-hex-digit IPv6 form; IPv6 rows that are not
// IPv4-mapped are not IPv4 peers and give nullopt.
std::optional<std::pair<std::uint32_t, std::uint16_t>> parseEndpoint(const std::string& text,
                                                                     bool ipv6) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    std::string address = text.substr(0, colon);
    std::uint16_t port =
        static_cast<std::uint16_t>(std::stoul(text.substr(colon + 1), nullptr, 16));
    if (!ipv6)
        return std::make_pair(static_cast<std::uint32_t>(std::stoul(address, nullptr, 16)), port);
    if (address.size() != 32) return std::nullopt;
    // Four 32-bit words, each in host order as printed by the kernel.
    std::uint32_t words[4];
    for (int i = 0; i < 4; ++i)
        words[i] = static_cast<std::uint32_t>(
            std::stoul(address.substr(static_cast<size_t>(i) * 8, 8), nullptr, 16));
    bool mapped = words[0] == 0 && words[1] == 0 && ntohl(words[2]) == 0x0000FFFFu;
    bool unspecified = words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0;
    if (!mapped && !unspecified) return std::nullopt;
    return std::make_pair(words[3], port);
}

}  // namespace

std::vector<TcpRow> parseTcpTable(std::string_view procText, bool ipv6) {
    std::vector<TcpRow> rows;
    std::istringstream in{std::string(procText)};
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        if (!(fields >> slot >> local >> remote >> state)) continue;
        try {
            auto l = parseEndpoint(local, ipv6), r = parseEndpoint(remote, ipv6);
            if (!l || !r) continue;
            rows.push_back({mibState(std::stoi(state, nullptr, 16)), l->first, r->first, l->second,
                            r->second});
        } catch (const std::exception&) {
            continue;
        }
    }
    return rows;
}

std::vector<TcpRow> tcpTable() {
    std::vector<TcpRow> rows;
    for (auto [path, ipv6] :
         {std::pair{"/proc/net/tcp", false}, std::pair{"/proc/net/tcp6", true}}) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        auto more = parseTcpTable(text.str(), ipv6);
        rows.insert(rows.end(), more.begin(), more.end());
    }
    return rows;
}

std::string hostName() {
    return sockets::localHostName();
}

}  // namespace trellybridge::iphelper
