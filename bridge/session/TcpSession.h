// The TCP/IP bridge's part of the session window: port order, connect and send,
// receive, parse and report, one step per SerialTimer tick.
#pragma once

namespace trellybridge::session {

class SessionWindow;

class TcpSession {
public:
    explicit TcpSession(SessionWindow& window) : window_(window) {}
    // One step: parse-report, parse, receive or connect, by the session's TCP flags.
    void step();
    // The attempts of the current port are used up: the next port, or closePending.
    void nextPort();
    // Closes the socket (by force under {TCP FORCE}); false when the close failed.
    bool closeSocket();

private:
    bool connect();
    bool sendRequest();
    void receive();
    // Closes a connection that failed, so the next connect step opens a new one.
    void dropConnection();
    SessionWindow& window_;
};

}  // namespace trellybridge::session
