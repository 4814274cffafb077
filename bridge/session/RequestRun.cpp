#include "session/RequestRun.h"

#include <string>
#include <utility>

#include "common/AnswerLimit.h"
#include "formats/AnswerDispatch.h"
#include "platform/EventLoop.h"
#include "platform/Toolkit.h"
#include "session/EnhancedWindow.h"
#include "session/ProgressWindow.h"
#include "session/Session.h"

namespace trellybridge::session {
namespace {

thread_local RequestState* running = nullptr;

// The request's clock, pace and state, in force on the thread while it runs; what was in
// force before comes back when it ends, so that a request inside another's callback
// leaves the outer one as it was.
class RunScope {
public:
    RunScope(RequestState& state, const RequestOptions& options)
        : outerRunning_(running), outerClock_(&platform::clock()) {
        running = &state;
        if (options.clock) platform::setClock(options.clock);
        if (options.pace) {
            outerPace_ = setThreadPace(options.pace);
            paceSet_ = true;
        }
    }
    ~RunScope() {
        running = outerRunning_;
        platform::setClock(outerClock_);
        if (paceSet_) setThreadPace(outerPace_);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    RequestState* outerRunning_;
    platform::Clock* outerClock_;
    std::optional<Pace> outerPace_;
    bool paceSet_ = false;
};

// An answer at hand is read as a session reads the vendor's, with nothing sent: the
// errors it raised recorded, and an answer that holds no patient shown as a session shows it.
void readAnswerAtHand(RequestState& state, std::string_view answer) {
    std::string converted;
    std::string_view read = formats::answerAsRead(answer, state.preparedSettings(), converted);
    formats::ParseResult result = formats::dispatchAnswer(read, state.config, parseContext(state));
    showMessageBoxes(result);
    state.reasons().record(result.notices);
    state.patientFound = result.found.value_or(false);
    if (result.next != formats::NextStep::ShowAnswerAndEnd) return;
    ui::toolkit().progress(ui::ProgressKind::Log, std::string("Receiving response...") + CRLF);
    ui::toolkit().progress(
        ui::ProgressKind::Log,
        "  " + answerForDisplay(formats::trimmedForDisplay(read, state.preparedSettings())) + CRLF +
            CRLF);
}

// Ends the session when the request is cancelled or its deadline passes: it closes as one
// whose attempts ran out, and its failure note says why.
class Interruptions {
public:
    Interruptions(Session& engine, const RequestOptions& options) : engine_(engine) {
        if (options.cancel && options.cancel->descriptor() >= 0)
            watch_ = ui::EventLoop::current().watch(options.cancel->descriptor(), [this] {
                stopWatching();
                engine_.cancel("the request was cancelled");
            });
        if (options.deadlineMs > 0) {
            int deadline = options.deadlineMs;
            deadline_.setOnTick([this, deadline] {
                deadline_.setEnabled(false);
                engine_.cancel("the request did not end within its deadline of " +
                               std::to_string(deadline) + " ms");
            });
            deadline_.setInterval(deadline);
            deadline_.setEnabled(true);
        }
    }
    ~Interruptions() { stopWatching(); }
    Interruptions(const Interruptions&) = delete;
    Interruptions& operator=(const Interruptions&) = delete;

private:
    void stopWatching() {
        if (watch_ != 0) ui::EventLoop::current().unwatch(watch_);
        watch_ = 0;
    }
    Session& engine_;
    int watch_ = 0;
    ui::Timer deadline_;
};

// The request's window, shown modally until the session ends; the window then lets go of
// the request's state, however the run ended.
void runWindow(ProgressWindow& window, RequestState& state, const RequestOptions& options) {
    struct Release {
        ProgressWindow& window;
        ~Release() { window.release(); }
    } release{window};
    if (options.cancel && options.cancel->raised()) {
        state.reasons().note("the request was cancelled");
        return;
    }
    Interruptions interruptions(window.engine(), options);
    window.serve(state);
    ui::toolkit().runModal(window);
}

}  // namespace

Outcome runRequest(RequestState state, const RequestOptions& options) noexcept {
    Outcome outcome;
    outcome.errorsFrom = state.errorList.size();
    try {
        state.preparedSettings();
        RunScope scope(state, options);
        switch (options.kind) {
            case RequestKind::Patient: runWindow(progressWindow(), state, options); break;
            case RequestKind::Search: runWindow(enhancedWindow(), state, options); break;
            case RequestKind::AnswerAtHand: readAnswerAtHand(state, options.answer); break;
        }
    } catch (...) {
        // A request that breaks off ends as one that found nothing more.
    }
    state.settings.reset();
    outcome.state = std::move(state);
    return outcome;
}

RequestState* runningRequest() {
    return running;
}

}  // namespace trellybridge::session
