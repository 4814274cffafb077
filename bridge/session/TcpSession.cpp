#include "session/TcpSession.h"

#include "common/ThreadState.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {

void TcpSession::step() {}

void TcpSession::nextPort() {
    window_.closePending = true;
    window_.SerialTimer.setInterval(
        static_cast<int>(threadState().config.TimeDelay.numericValue()));
}

bool TcpSession::closeSocket() {
    return true;
}

}  // namespace trellybridge::session
