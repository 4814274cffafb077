// The TCP/IP bridge's socket close, which the window's resetConnection uses whatever
// the bridge, and what the TCP session leaves to the request it carries. The session
// itself (port order, connect and send, receive, parse and report, one step per
// SerialTimer tick) lives in TcpSession.cpp behind BridgeSession.
#pragma once

#include <memory>
#include <string>

#include "session/BridgeSession.h"
#include "session/Exchange.h"

namespace trellybridge::session {

// A TCP/IP bridge that carries `exchange` (which must outlive it).
std::unique_ptr<BridgeSession> makeTcpBridge(const Exchange& exchange);

// The patient query of GetPatient: sent with the end-of-request characters, read until
// the end-of-answer character, parsed into the patient record.
const Exchange& patientExchange();

// Closes the socket (by force under {TCP FORCE}); false when the close failed.
bool closeTcpSocket();

}  // namespace trellybridge::session
