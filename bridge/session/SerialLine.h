// The thread's serial port while a SERIAL session runs (SerialBridge.cpp).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/SerialPort.h"

namespace trellybridge::session {

struct SerialLine {
    serial::CommControl control;
    // The tick count by which the session closes, whatever the line keeps sending.
    std::int32_t endBy = 0;
    // Where the control's events go; none: the session window's comm event. A window
    // that reads the line its own way (the enhanced search) sets it while it runs.
    std::function<void(serial::CommEvent)> receiver;
};

// The thread's line, made on first use with its events going to the session window.
SerialLine& serialLine();
// Closes the port if it is open; what the close reports is not this caller's concern.
void releaseSerialLine();

}  // namespace trellybridge::session
