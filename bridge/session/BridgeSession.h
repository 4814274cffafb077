// One bridge's part of a session. The run loops own the timing (the wait before each
// step, the attempt count, the retry and end rules) and ask the bridge for the work of
// a step; a bridge without a step keeps the default, which is what the loops do for
// such a bridge. A new bridge is one more implementation and one more line in
// bridgeSession(); the loops stay as they are.
#pragma once

#include <optional>

#include "common/BridgeConfiguration.h"

namespace trellybridge::session {

class SessionWindow;

// The timer that runs a bridge.
enum class RunLoop { Serial, Network };

class BridgeSession {
public:
    virtual ~BridgeSession() = default;

    // At load, after the common resets: this bridge's resets, its first progress line
    // and its time-out. Returns the timer that runs it.
    virtual RunLoop load(SessionWindow& window) const = 0;

    // Network run loop. Cleanup and send give the step's success, or nullopt when the
    // bridge has no such step (the loop then passes it without an attempt).
    virtual std::optional<bool> removeFiles(SessionWindow&) const { return std::nullopt; }
    virtual std::optional<bool> sendRequest(SessionWindow&) const { return std::nullopt; }
    // Reads the answer into rawDataReceived and counts the attempt; true when it came.
    virtual bool readAnswer(SessionWindow&) const { return false; }

    // Serial run loop: one attempt of the current step.
    virtual void step(SessionWindow&) const {}
    // The attempts are used up: by default the session closes on the next tick.
    virtual void exhausted(SessionWindow& window) const;
    // The session is to close: true once the bridge lets it.
    virtual bool closePort(SessionWindow&) const { return true; }

    // Fast pace: the descriptor whose readiness lets the current step run, or -1 when the
    // step awaits nothing.
    virtual int awaitedDescriptor() const { return -1; }

    // The session closes: this bridge's part, once the timers have stopped.
    virtual void close(SessionWindow&) const {}
};

// The implementation for the bridge the settings name (an invalid one for any other).
const BridgeSession& bridgeSession(BridgeKind kind);

}  // namespace trellybridge::session
