// The TCP/IP bridge's socket close, which the window's resetConnection uses whatever
// the bridge. The bridge itself (port order, connect and send, receive, parse and
// report, one step per SerialTimer tick) lives in TcpSession.cpp behind BridgeSession.
#pragma once

namespace trellybridge::session {

// Closes the socket (by force under {TCP FORCE}); false when the close failed.
bool closeTcpSocket();

}  // namespace trellybridge::session
