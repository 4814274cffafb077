#include "tcp/ConnectionTable.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "common/SessionState.h"
#include "platform/Lookups.h"
#include "platform/TcpTable.h"
#include "tcp/HostUtilities.h"

namespace trellybridge::tcp {

TcpTableSnapshot loadTcpTable(SessionState& session) {
    TcpTableSnapshot table;
    session.portCount = 0;
    // Reverse look-ups share one budget: a resolver that does not answer costs the list
    // its names (each row keeps its numeric address), never minutes.
    using namespace std::chrono;
    const auto giveUpAt = steady_clock::now() + milliseconds(kNameLookupBudgetMs);
    for (const iphelper::TcpRow& row : iphelper::tcpTable()) {
        if (table.count >= TcpTableSnapshot::kMaxRows) break;
        std::string remote = addressToDotted(row.remoteAddress);
        if (remote.empty() || remote[0] == '0') continue;
        size_t i = static_cast<size_t>(table.count);
        table.remoteIP[i] = remote;
        auto left = duration_cast<milliseconds>(giveUpAt - steady_clock::now()).count();
        table.hostName[i] =
            left > 0 ? sockets::nameOfWithin(
                           row.remoteAddress,
                           static_cast<int>(std::min<long long>(left, kNameLookupBoundMs)))
                     : std::string();
        table.remotePort[i] = std::to_string(row.remotePort);
        table.state[i] = tcpStateName(row.state);
        session.portList[i] = table.remotePort[i];
        session.portCount = ++table.count;
    }
    return table;
}

std::string tcpStateName(int state) {
    switch (state) {
        case 1: return "CLOSED";
        case 2: return "LISTEN";
        case 3: return "SYN_SENT";
        case 4: return "SYN_RCVD";
        case 5: return "ESTAB";
        case 6: return "FIN_WAIT1";
        case 7: return "FIN_WAIT2";
        case 8: return "CLOSE_WAIT";
        case 9: return "CLOSING";
        case 10: return "LAST_ACK";
        case 11: return "TIME_WAIT";
        case 12: return "DELETE_TCB";
    }
    return {};
}

}  // namespace trellybridge::tcp
