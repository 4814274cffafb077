// The table of bridges: each kind with the factory of its per-request object, each
// defined in its own file. A new bridge is a BridgeKind with its name
// (common/BridgeConfiguration.h), its file, and one declaration and row here.
#pragma once

#include <memory>

#include "session/BridgeSession.h"

namespace trellybridge::session {

std::unique_ptr<BridgeSession> makeSerialBridge();   // SerialBridge.cpp
std::unique_ptr<BridgeSession> makeTcpBridge();      // TcpSession.cpp
std::unique_ptr<BridgeSession> makeVendorBridge();   // VendorBridge.cpp
std::unique_ptr<BridgeSession> makePollingBridge();  // PollingBridge.cpp
std::unique_ptr<BridgeSession> makeFoldersBridge();  // FoldersBridge.cpp
std::unique_ptr<BridgeSession> makeHttpsBridge();    // HttpsBridge.cpp
std::unique_ptr<BridgeSession> makeUsbBridge();      // UsbBridge.cpp

struct BridgeRow {
    BridgeKind kind;
    std::unique_ptr<BridgeSession> (*make)();
};

// clang-format off
inline constexpr BridgeRow kBridgeTable[] = {
    {BridgeKind::Serial,  &makeSerialBridge},
    {BridgeKind::TcpIp,   &makeTcpBridge},
    {BridgeKind::Https,   &makeHttpsBridge},
    {BridgeKind::Vendor,  &makeVendorBridge},
    {BridgeKind::Polling, &makePollingBridge},
    {BridgeKind::Folders, &makeFoldersBridge},
    {BridgeKind::Usb,     &makeUsbBridge},
};
// clang-format on

}  // namespace trellybridge::session
