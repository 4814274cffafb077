// How each bridge is made: its kind with the factory of its per-request object, each
// defined in its own file. The rest of a bridge is its row in common/BridgeConfiguration.h;
// a new bridge is that row, its file, and one declaration and line here.
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

struct BridgeMaker {
    BridgeKind kind;
    std::unique_ptr<Bridge> (*make)();
};

// clang-format off
inline constexpr BridgeMaker kBridgeMakers[] = {
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
