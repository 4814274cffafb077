// One bridge's part of a session. The run loops own the timing (the wait before each
// step, the attempt count, the retry and end rules) and ask the bridge for the work of
// a step; a bridge without a step keeps the default, which is what the loops do for
// such a bridge. A bridge is made for one request (makeBridge) and keeps what it needs
// between steps; a new bridge is its own file and one row in Bridges.h.
#pragma once

#include <memory>
#include <optional>

#include "common/BridgeConfiguration.h"
#include "common/Expected.h"
#include "session/Request.h"
#include "session/RunLoop.h"

namespace trellybridge::session {

class Bridge {
public:
    virtual ~Bridge() = default;

    // At load, after the common resets: this bridge's resets, its first progress line
    // and its time-out. Returns the timer that runs it.
    virtual RunLoop load(Request& request) = 0;

    // Network run loop: the cleanup and send steps of a bridge that asks by a request file
    // or a program. A bridge without them goes from the prepare step straight to reading.
    virtual bool hasRequestSteps() const { return false; }
    virtual Expected<void> removeFiles(Request&) { return {}; }
    virtual Expected<void> sendRequest(Request&) { return {}; }
    // Reads the answer into rawDataReceived and counts the attempt; true when it came.
    virtual bool readAnswer(Request&) { return false; }

    // Port run loop: one attempt of the current step.
    virtual void step(Request&) {}
    // The attempts are used up: by default the session closes on the next tick.
    virtual void exhausted(Request& request);
    // The session is to close: true once the bridge lets it.
    virtual bool closePort(Request&) { return true; }

    // Fast pace: the descriptor whose readiness lets the current step run, or -1 when the
    // step awaits nothing.
    virtual int awaitedDescriptor(const Request&) const { return -1; }
    // Fast pace, network run loop: whether the read phase waits for something the vendor
    // writes (a results file), or, as by default, asks the vendor itself, so that a read
    // that failed is tried again one TimeDelay later. And whether the answer it waits for
    // can be read before the read's tick (a results file the vendor has finished writing).
    virtual bool readAwaitsVendor() const { return false; }
    virtual bool answerAtHand(Request&) { return false; }

    // The session closes: this bridge's part, once the timers have stopped.
    virtual void close(Request&) {}

    // The port loop closes the session on its next tick once this is set.
    bool closePending() const { return closePending_; }
    void setClosePending() { closePending_ = true; }

private:
    bool closePending_ = false;
};

// A bridge for one request of the named kind (one that only says it is invalid for any
// other).
std::unique_ptr<Bridge> makeBridge(BridgeKind kind);
std::unique_ptr<Bridge> makeInvalidBridge();

}  // namespace trellybridge::session
