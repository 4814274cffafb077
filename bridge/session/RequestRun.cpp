#include "session/RequestRun.h"

#include <utility>

#include "common/AnswerLimit.h"
#include "formats/AnswerDispatch.h"
#include "platform/Toolkit.h"
#include "session/EnhancedWindow.h"
#include "session/Session.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

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
    std::string_view read = formats::answerAsRead(answer, state.config, converted);
    formats::ParseResult result = formats::dispatchAnswer(read, state.config, parseContext(state));
    showMessageBoxes(result);
    state.reasons().record(result.notices);
    state.patientFound = result.found.value_or(false);
    if (result.next != formats::NextStep::ShowAnswerAndEnd) return;
    ui::toolkit().progress(ui::ProgressKind::Log, std::string("Receiving response...") + CRLF);
    ui::toolkit().progress(
        ui::ProgressKind::Log,
        "  " + answerForDisplay(formats::trimmedForDisplay(read, state.config)) + CRLF + CRLF);
}

}  // namespace

Outcome runRequest(RequestState state, const RequestOptions& options) noexcept {
    Outcome outcome;
    outcome.errorsFrom = state.errorList.size();
    try {
        RunScope scope(state, options);
        switch (options.kind) {
            case RequestKind::Patient:
                runSessionWindow(state);
                sessionWindow().release();
                break;
            case RequestKind::Search:
                runEnhancedWindow(state);
                enhancedWindow().release();
                break;
            case RequestKind::AnswerAtHand: readAnswerAtHand(state, options.answer); break;
        }
    } catch (...) {
        // A request that breaks off ends with what it had.
    }
    outcome.state = std::move(state);
    return outcome;
}

RequestState* runningRequest() {
    return running;
}

}  // namespace trellybridge::session
