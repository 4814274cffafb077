// The TCP/IP bridge's socket close, which the window's resetConnection uses whatever
// the bridge, and what the TCP session leaves to the request it carries. The session
// itself (port order, connect and send, receive, parse and report, one step per
// SerialTimer tick) lives in TcpSession.cpp behind BridgeSession.
#pragma once

#include <memory>
#include <string>

#include "session/BridgeSession.h"

namespace trellybridge::session {

// What one TCP exchange sends and does with the answer: the single-patient window sends
// the patient query and parses the answer into the record, the enhanced window sends
// its search and turns the answer into its result. The session's steps are the same.
class TcpExchange {
public:
    virtual ~TcpExchange() = default;
    struct Request {
        std::string text;     // requestText, as shown and logged
        std::string payload;  // the bytes the send puts before its CR LF
    };
    // The request of one send attempt.
    virtual Request request(SessionWindow& window) const = 0;
    // Whether the answer is whole, given the answer so far and where its newest bytes start.
    virtual bool answerComplete(const std::string& answer, size_t newFrom) const = 0;
    // Takes the whole answer; true when the exchange is done and only the report is left.
    virtual bool takeAnswer(SessionWindow& window, const std::string& answer) const = 0;
};

// A TCP/IP bridge that carries `exchange` (which must outlive it).
std::unique_ptr<BridgeSession> makeTcpBridge(const TcpExchange& exchange);

// Closes the socket (by force under {TCP FORCE}); false when the close failed.
bool closeTcpSocket();

}  // namespace trellybridge::session
