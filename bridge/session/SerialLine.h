// The thread's serial port while a SERIAL session runs (SerialBridge.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/SerialPort.h"
#include "session/BridgeSession.h"
#include "session/Exchange.h"

namespace trellybridge::session {

struct SerialLine {
    serial::CommControl control;
    // The tick count by which the session closes, whatever the line keeps sending.
    std::int32_t endBy = 0;
    // While a session holds the line: where the control's events go (its window's comm
    // event) and what is sent and done with the answer.
    std::function<void(serial::CommEvent)> receiver;
    const Exchange* exchange = nullptr;
};

// A SERIAL bridge that carries `exchange` (which must outlive it), ending each request
// with `lineEnd` after the exchange's payload.
std::unique_ptr<BridgeSession> makeSerialBridge(const Exchange& exchange, std::string lineEnd);

// The thread's line, made on first use with its events going to the session window.
SerialLine& serialLine();
// Closes the port if it is open; what the close reports is not this caller's concern.
void releaseSerialLine();

}  // namespace trellybridge::session
