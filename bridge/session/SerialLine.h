// The SERIAL bridge for the exchange it carries (SerialBridge.cpp). The bridge object
// holds the serial port for the one request it serves.
#pragma once

#include <memory>
#include <string>

#include "platform/SerialPort.h"
#include "session/Bridge.h"
#include "session/Exchange.h"

namespace trellybridge::session {

// A SERIAL bridge that carries `exchange` (which must outlive it), ending each request
// with `lineEnd` after the exchange's payload; with `timeOutIsError`, attempts that run
// out record the host's time-out.
std::unique_ptr<Bridge> makeSerialBridge(const Exchange& exchange, std::string lineEnd,
                                         bool timeOutIsError);

// The serial control a SERIAL bridge holds, or null for any other bridge.
const serial::CommControl* serialControl(const Bridge* bridge);

}  // namespace trellybridge::session
