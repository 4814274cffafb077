// The two run loops of the session window. Each tick waits out the time-out, applies
// the retry and end rules, and lets the configured bridge do at most one step.
#include <algorithm>
#include <cstdint>

#include "common/Errors.h"
#include "common/SessionPhase.h"
#include "session/BridgeSession.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {

// NetworkTimer: Prepare -> Cleanup -> Send -> Read -> Answered, a phase on the tick
// after timeoutTicks ticks; a failed phase is tried again until the attempts run out.
void SessionWindow::networkTick() {
    if (!bridge_) return;
    Request& request = *request_;
    SessionState& s = request.session;
    ++ticksRun;
    updateElapsedTime();
    s.elapsedTicks += 1;
    if (s.elapsedTicks <= Variant(s.timeoutTicks).numericValue()) return;

    if (s.attemptCount > request.settings.AllowedRetries.numericValue()) {
        request.setPatientFound(false);
        NetworkTimer.setInterval(request.timeDelay());
        cmdClose();
        return;
    }
    if (s.phase == Phase::Answered) {
        request.answerFound();
        cmdClose();
        return;
    }
    BridgeSession& bridge = *bridge_;
    switch (s.phase) {
        case Phase::Read: readPhase(bridge); break;
        case Phase::Send: sendPhase(bridge); break;
        case Phase::Cleanup: cleanupPhase(bridge); break;
        default: preparePhase(); break;
    }
}

void SessionWindow::readPhase(BridgeSession& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    s.finishedSending = s.startedReceiving = platform::clock().now();
    bool received = bridge.readAnswer(request);
    if (received) request.setPhase(Phase::Answered);
    s.elapsedTicks = 0;
    if (received) NetworkTimer.setInterval(request.timeDelay());
}

void SessionWindow::sendPhase(BridgeSession& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    if (std::optional<bool> sent = bridge.sendRequest(request)) {
        if (*sent) request.setPhase(Phase::Read);
        countAttempt(*sent);
    } else {
        s.attemptCount = 0;
        request.setPhase(Phase::Read);
    }
    s.elapsedTicks = 0;
    NetworkTimer.setInterval(1000);
}

void SessionWindow::cleanupPhase(BridgeSession& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    if (std::optional<bool> removed = bridge.removeFiles(request)) {
        if (*removed) request.setPhase(Phase::Send);
        s.startedSending = platform::clock().now();
        countAttempt(*removed);
    } else {
        // Nothing to remove and nothing to send: straight to reading.
        s.attemptCount = 0;
        request.setPhase(Phase::Read);
        s.startedSending = platform::clock().now();
    }
    s.elapsedTicks = 0;
}

void SessionWindow::preparePhase() {
    Request& request = *request_;
    request.setPhase(Phase::Cleanup);
    updateText(std::string("  ...Successful!") + CRLF + CRLF);
    request.session.attemptCount = 0;
    request.session.elapsedTicks = 0;
}

// PortTimer: from tick timeoutTicks on, each tick is one attempt of the bridge's
// current step until the attempts run out; closePending closes on the next tick.
void SessionWindow::portTick() {
    if (!bridge_) return;
    SessionState& s = request_->session;
    ++ticksRun;
    try {
        s.elapsedTicks += 1;
        updateElapsedTime();
        BridgeSession& bridge = *bridge_;
        if (bridge.closePending()) {
            if (bridge.closePort(*request_)) closeConnection();
            return;
        }
        if (s.elapsedTicks < Variant(s.timeoutTicks).numericValue()) return;
        runPortStep(bridge);
    } catch (...) {
        record(errc::SerialTimerFailed);
        request_->setPatientFound(false);
    }
}

void SessionWindow::runPortStep(BridgeSession& bridge) {
    SessionState& s = request_->session;
    if (s.attemptCount >= allowedAttempts(request_->settings)) {
        bridge.exhausted(*request_);
        return;
    }
    s.attemptCount += 1;
    Phase before = s.phase;
    bool closingBefore = bridge.closePending();
    bridge.step(*request_);
    // A step that moved on lets the next one run as soon as what it awaits has happened;
    // a failed one leaves the schedule as it is.
    bool movedOn = static_cast<int>(s.phase) > static_cast<int>(before) ||
                   (bridge.closePending() && !closingBefore);
    if (s.pace != Pace::Fast || !movedOn || !isLoaded()) return;
    if (int descriptor = bridge.awaitedDescriptor(*request_); descriptor >= 0)
        continueWhenReadable(descriptor);
    else
        continueAtOnce();
}

void SessionWindow::continueAtOnce() {
    int which = sessionNumber_;
    ui::EventLoop::current().post([this, which] {
        if (which != sessionNumber_ || !isLoaded() || !bridge_ || !PortTimer.enabled()) return;
        SessionState& s = request_->session;
        // The ticks until the one that would run the step: the step runs as that tick,
        // and the timer then counts from that tick's time.
        auto timeout =
            static_cast<std::int64_t>(std::min(Variant(s.timeoutTicks).numericValue(), 1e9));
        std::int64_t ticks =
            bridge_->closePending() ? 1 : std::max<std::int64_t>(1, timeout - s.elapsedTicks);
        ticks = std::min<std::int64_t>(ticks, 1 << 20);
        std::int64_t ahead = (ticks - 1) * PortTimer.interval();
        auto stepAt = static_cast<std::int32_t>(static_cast<std::uint32_t>(PortTimer.dueAt()) +
                                                static_cast<std::uint32_t>(ahead));
        s.elapsedTicks += static_cast<int>(ticks - 1);
        portTick();
        if (isLoaded() && PortTimer.enabled()) PortTimer.restartFrom(stepAt);
    });
}

void SessionWindow::continueWhenReadable(int descriptor) {
    stopAwaiting();
    int which = sessionNumber_;
    auto resume = [this, which] {
        stopAwaiting();
        if (which == sessionNumber_) continueAtOnce();
    };
    awaitWatch_ = ui::EventLoop::current().watch(descriptor, resume, resume);
}

void SessionWindow::stopAwaiting() {
    if (awaitWatch_ != 0) ui::EventLoop::current().unwatch(awaitWatch_);
    awaitWatch_ = 0;
}

}  // namespace trellybridge::session
