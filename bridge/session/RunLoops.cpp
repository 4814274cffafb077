// The two run loops of the session window. Each tick waits out the time-out, applies
// the retry and end rules, and lets the configured bridge do at most one step.
#include "common/Errors.h"
#include "common/SessionPhase.h"
#include "session/BridgeSession.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {

// NetworkTimer: Prepare -> Cleanup -> Send -> Read -> Answered, a phase on the tick
// after timeoutTicks ticks; a failed phase is tried again until the attempts run out.
void SessionWindow::networkTick() {
    SessionState& s = session();
    ++ticksRun;
    updateElapsedTime();
    s.elapsedTicks += 1;
    if (s.elapsedTicks <= Variant(s.timeoutTicks).numericValue()) return;

    if (s.attemptCount > config().AllowedRetries.numericValue()) {
        setPatientFound(false);
        NetworkTimer.setInterval(timeDelay());
        cmdClose();
        return;
    }
    if (s.phase == Phase::Answered) {
        answerFound();
        cmdClose();
        return;
    }
    const BridgeSession& bridge = sessionBridge();
    switch (s.phase) {
        case Phase::Read: readPhase(bridge); break;
        case Phase::Send: sendPhase(bridge); break;
        case Phase::Cleanup: cleanupPhase(bridge); break;
        default: preparePhase(); break;
    }
}

void SessionWindow::readPhase(const BridgeSession& bridge) {
    SessionState& s = session();
    s.finishedSending = s.startedReceiving = platform::clock().now();
    bool received = bridge.readAnswer(*this);
    if (received) setPhase(Phase::Answered);
    s.elapsedTicks = 0;
    if (received) NetworkTimer.setInterval(timeDelay());
}

void SessionWindow::sendPhase(const BridgeSession& bridge) {
    SessionState& s = session();
    if (std::optional<bool> sent = bridge.sendRequest(*this)) {
        if (*sent) setPhase(Phase::Read);
        countAttempt(*sent);
    } else {
        s.attemptCount = 0;
        setPhase(Phase::Read);
    }
    s.elapsedTicks = 0;
    NetworkTimer.setInterval(1000);
}

void SessionWindow::cleanupPhase(const BridgeSession& bridge) {
    SessionState& s = session();
    if (std::optional<bool> removed = bridge.removeFiles(*this)) {
        if (*removed) setPhase(Phase::Send);
        s.startedSending = platform::clock().now();
        countAttempt(*removed);
    } else {
        // Nothing to remove and nothing to send: straight to reading.
        s.attemptCount = 0;
        setPhase(Phase::Read);
        s.startedSending = platform::clock().now();
    }
    s.elapsedTicks = 0;
}

void SessionWindow::preparePhase() {
    setPhase(Phase::Cleanup);
    updateText(std::string("  ...Successful!") + CRLF + CRLF);
    session().attemptCount = 0;
    session().elapsedTicks = 0;
}

// SerialTimer: from tick timeoutTicks on, each tick is one attempt of the bridge's
// current step until the attempts run out; closePending closes on the next tick.
void SessionWindow::serialTick() {
    SessionState& s = session();
    ++ticksRun;
    try {
        s.elapsedTicks += 1;
        updateElapsedTime();
        const BridgeSession& bridge = sessionBridge();
        if (closePending) {
            if (bridge.closePort(*this)) closeConnection();
            return;
        }
        if (s.elapsedTicks < Variant(s.timeoutTicks).numericValue()) return;
        if (s.attemptCount < allowedAttempts(config())) {
            s.attemptCount += 1;
            bridge.step(*this);
        } else {
            bridge.exhausted(*this);
        }
    } catch (...) {
        record(errc::SerialTimerFailed);
        setPatientFound(false);
    }
}

void BridgeSession::exhausted(SessionWindow& window) const {
    window.closePending = true;
    window.SerialTimer.setInterval(timeDelay());
}

}  // namespace trellybridge::session
