// The bridges of the session engine, each defined in its own file.
#pragma once

#include "session/BridgeSession.h"

namespace trellybridge::session {

const BridgeSession& serialBridge();   // SerialBridge.cpp
const BridgeSession& tcpBridge();      // TcpSession.cpp
const BridgeSession& vendorBridge();   // VendorBridge.cpp
const BridgeSession& pollingBridge();  // PollingBridge.cpp
const BridgeSession& foldersBridge();  // FoldersBridge.cpp
const BridgeSession& httpsBridge();    // HttpsBridge.cpp
const BridgeSession& usbBridge();      // UsbBridge.cpp
const BridgeSession& invalidBridge();  // BridgeSession.cpp

// SERIAL and TCPIP load alike: the connection bookkeeping starts afresh and the port
// is checked first (TcpSession.cpp).
RunLoop loadPortBridge(SessionWindow& window);

}  // namespace trellybridge::session
