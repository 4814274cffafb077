// The TCP/IP bridge for the exchange it carries. The session itself (port order,
// connect and send, receive, parse and report, one step per PortTimer tick) lives in
// TcpBridge.cpp behind Bridge; its connection lives in the bridge object.
#pragma once

#include <memory>

#include "session/Bridge.h"
#include "session/Exchange.h"

namespace trellybridge::session {

// A TCP/IP bridge that carries `exchange` (which must outlive it).
std::unique_ptr<Bridge> makeTcpBridge(const Exchange& exchange);

// The patient query of GetPatient: sent with the end-of-request characters, read until
// the end-of-answer character, parsed into the patient record.
const Exchange& patientExchange();

// SERIAL and TCPIP load alike: the connection bookkeeping starts afresh and the port
// is checked first.
RunLoop loadPortBridge(Request& request);

}  // namespace trellybridge::session
