#pragma once

namespace trellybridge::session {

// The timer that runs a bridge: PortTimer for the serial and TCP bridges, NetworkTimer
// for the file exchanges, the web service and USB.
enum class RunLoop { Port, Network };

}  // namespace trellybridge::session
