// The engine of one request's session, on the caller's thread. Two timers drive it:
// PortTimer runs the serial and TCP bridges (and an invalid bridge type), NetworkTimer
// the file exchanges, the web service and the USB bridge. Each tick performs at most
// one step, through the bridge object made for the request when the session starts;
// the engine keeps the attempts, retries and phases, hands the answer to the formats'
// dispatcher, and tells its view what to show.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/Errors.h"
#include "common/Expected.h"
#include "common/RequestState.h"
#include "formats/AnswerDispatch.h"
#include "platform/EventLoop.h"
#include "platform/Toolkit.h"
#include "session/Bridge.h"

namespace trellybridge::session {

// What a session shows while it runs, and what ends it: the progress window.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void appendText(std::string_view text) = 0;  // the progress log
    virtual void clearText() = 0;
    virtual void showStatus(std::string_view status) = 0;
    virtual void showConnectionTime(std::string_view text) = 0;
    // The session is over: the view closes.
    virtual void close() = 0;
    // Whether the view still shows the session; a closed one runs no more steps.
    virtual bool showing() const = 0;
};

class Session {
public:
    explicit Session(ProgressView& view);
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ui::Timer PortTimer;
    ui::Timer NetworkTimer;
    int ticksRun = 0;  // timer ticks of this session, for measuring the engine

    // Serves the request that `state` holds: the session's resets, its bridge made and
    // loaded, and the timer that runs the bridge started.
    virtual void start(RequestState& state);
    // One tick of each timer.
    void networkTick();
    void portTick();
    // Hands the answer to the parser of the vendor format; true when it held the patient.
    bool processResponse(std::string_view answer);
    // What the last answer without the patient said beyond "not on file", if anything.
    const std::optional<formats::AnswerProblem>& answerProblem() const { return answerProblem_; }

    // Stops the timers, lets the bridge close and writes the debug log; the view closes.
    void closeConnection();
    void endSession();
    // Stops the timers and lets go of the bridge and what it holds (its port, its
    // connection): the host closed the connection.
    void stop();
    // Ends the session at once as one whose attempts ran out, `why` its failure note: the
    // request was cancelled, or its deadline passed.
    void cancel(std::string_view why);
    // The request has ended and its state goes back to the caller: the timers stop and
    // nothing of the request is kept but the bridge, which the host closes.
    void release();
    // Fast pace: runs the port loop's next step now, as the tick that would run it
    // will, and keeps the timer on the schedule it would have had; or once `descriptor`
    // is readable. The network loop's next phase runs now, its next tick counted from now.
    void continueAtOnce();
    void continueWhenReadable(int descriptor);
    void continueNetworkAtOnce();
    // The pattern a failing step ends with; the timer's retry rules then go on.
    void failureNotice(std::string_view stepText, std::string_view runtimeError = {});
    // A step's attempt: success is reported and starts the attempts afresh, a failure
    // counts one more attempt.
    void countAttempt(bool succeeded);

    // The bridge object of the current request; null before the first start and after
    // the host closed the connection.
    const Bridge* bridge() const { return bridge_.get(); }

    // How the engine makes its bridge and records errors: the settings' bridge and the
    // single-patient recorder here; the enhanced session has its own.
    virtual std::unique_ptr<Bridge> makeSessionBridge(const Request& request) const;
    virtual void record(errc code, std::string_view description = {}) const;

    // What the view shows.
    void updateText(std::string_view text);
    void clearText();
    void setStatus(std::string_view status);
    const std::string& status() const { return status_; }
    void setConnectionTime(std::string_view text);
    void updateElapsedTime();
    bool showing() const { return view_.showing(); }

protected:
    std::optional<Request> request_;  // the request being served, made at start

private:
    void startTimer(ui::Timer& timer);
    std::string bridgeName() const;
    // The network run loop's step once its wait is over: the end and retry rules, then
    // the phase.
    void runNetworkStep();
    // The phases of the network run loop.
    void readPhase(Bridge& bridge);
    void sendPhase(Bridge& bridge);
    void cleanupPhase(Bridge& bridge);
    // A step that succeeded moves the request on to `next`; one that failed is recorded.
    bool stepTo(Phase next, const Expected<void>& step);
    void preparePhase();
    // One attempt of the port loop's current step, or the end rule when none is left.
    void runPortStep(Bridge& bridge);
    void stopAwaiting();
    // The tick count at which the wait before a step is over (timeoutTicks, bounded).
    int stepTick() const;

    ProgressView& view_;
    std::string status_;
    std::unique_ptr<Bridge> bridge_;
    std::optional<formats::AnswerProblem> answerProblem_;
    int sessionNumber_ = 0;  // which session a continuation belongs to
    int awaitWatch_ = 0;
    // An answer is being read where it lies: a tick (from a message box's own loop) must
    // not replace it meanwhile.
    bool readingAnswer_ = false;
    bool failedOutright_ = false;  // fast pace: the port loop's last attempt failed outright
    bool retryScheduled_ = false;  // fast pace: that attempt is tried again one TimeDelay on
};

// What reading an answer means for a request's state: the parse's stamps, the STANDARD
// delimiter, the found flag, and a disconnected session with its ticks restarted. The
// errors the parse raised are recorded first.
void applyParseResult(RequestState& state, const formats::ParseResult& result);
// Shows the message boxes a parse called for, in order.
void showMessageBoxes(const formats::ParseResult& result);
// The record, debug dump and STANDARD delimiter that an answer is parsed into.
formats::ParseContext parseContext(RequestState& state);

}  // namespace trellybridge::session
