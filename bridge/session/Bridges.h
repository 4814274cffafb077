// The table of bridges: each kind with the factory of its per-request object, each
// defined in its own file. A new bridge is a BridgeKind with its name
// (common/BridgeConfiguration.h), its file, and one declaration and row here.
#pragma once

#include <memory>

#include "session/Bridge.h"

namespace trellybridge::session {

std::unique_ptr<Bridge> makeSerialBridge();   // SerialBridge.cpp
std::unique_ptr<Bridge> makeTcpBridge();      // TcpBridge.cpp
std::unique_ptr<Bridge> makeVendorBridge();   // VendorBridge.cpp
std::unique_ptr<Bridge> makePollingBridge();  // PollingBridge.cpp
std::unique_ptr<Bridge> makeFoldersBridge();  // FoldersBridge.cpp
std::unique_ptr<Bridge> makeHttpsBridge();    // HttpsBridge.cpp
std::unique_ptr<Bridge> makeUsbBridge();      // UsbBridge.cpp

struct BridgeRow {
    BridgeKind kind;
    std::unique_ptr<Bridge> (*make)();
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
