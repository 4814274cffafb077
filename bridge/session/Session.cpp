// The session engine: its start and end, the two run loops (each tick waits out the
// time-out, applies the retry and end rules, and lets the bridge do at most one step),
// and what the session does with a vendor's answer.
#include "session/Session.h"

#include <algorithm>
#include <cstdint>

#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/PhaseTrail.h"
#include "common/Version.h"

namespace trellybridge::session {
namespace {

// A flag raised for as long as the object lives.
class FlagRaised {
public:
    explicit FlagRaised(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagRaised() { flag_ = false; }
    FlagRaised(const FlagRaised&) = delete;
    FlagRaised& operator=(const FlagRaised&) = delete;

private:
    bool& flag_;
};

// Cut before the first comma, as the debug log shows the end characters.
std::string firstCode(const Variant& codes) {
    std::string text = codes.toText();
    return text.substr(0, text.find(','));
}

}  // namespace

Session::Session(ProgressView& view) : view_(view) {
    PortTimer.setOnTick([this] { portTick(); });
    NetworkTimer.setOnTick([this] { networkTick(); });
}

Session::~Session() = default;

std::unique_ptr<Bridge> Session::makeSessionBridge(const Request& request) const {
    return makeBridge(request.settings.bridge);
}

void Session::record(errc code, std::string_view description) const {
    request_->reasons.record(code, description);
}

std::string Session::bridgeName() const {
    return request_ ? request_->config.NetworkBridgeType.toText() : std::string();
}

void Session::startTimer(ui::Timer& timer) {
    timer.setInterval(request_->settings.timeDelayMs);
    timer.setEnabled(true);
}

void Session::start(RequestState& state) {
    PortTimer.setEnabled(false);
    NetworkTimer.setEnabled(false);
    bridge_.reset();  // the last request's bridge goes before the request it served
    request_.emplace(*this, state);
    Request& request = *request_;
    SessionState& s = request.session;
    s.buildLabel = " (" + Variant(kControlVersion).toText() + ")";

    ticksRun = 0;
    answerProblem_.reset();
    ++sessionNumber_;
    stopAwaiting();
    failedOutright_ = retryScheduled_ = false;
    s.pace = requestedPace();
    s.closePortAttempts = 0;
    s.attemptCount = 0;
    s.recordDelimiter = "|";
    s.identifierMatch.clear();
    startPhase(s, Phase::Prepare);
    s.eolFirstCode = firstCode(request.config.EOLCharacter);
    s.eofFirstCode = firstCode(request.config.EOFCharacter);
    s.elapsedTicks = 0;
    // Steps of this request that never happen print as ABORTED in the debug log.
    s.startedSending = s.finishedSending = s.startedReceiving = s.finishedReceiving =
        s.startedParsing = s.finishedParsing = std::nullopt;
    clearText();

    setConnectionTime("Connected for: " + std::to_string(s.elapsedTicks) + " seconds");
    setStatus(bridgeName() + " style bridge...");

    bridge_ = makeSessionBridge(request);
    RunLoop loop = bridge_->load(request);
    // A bridge whose first step already ended the session (an answer at load that held
    // no patient) leaves no timer behind to call the vendor again.
    if (showing()) startTimer(loop == RunLoop::Port ? PortTimer : NetworkTimer);
    if (std::string problem = answerLimitProblem(); !problem.empty() && showing())
        updateText(problem + ": the default of " + std::to_string(kDefaultAnswerLimit) +
                   " bytes applies" + CRLF);
    if (std::string problem = debugLogLimitProblem(); !problem.empty() && showing())
        updateText(problem + ": the default of " + std::to_string(maxDebugLogBytes()) +
                   " bytes applies" + CRLF);
    if (s.pace == Pace::Fast && showing()) {
        updateText(std::string("Pace: fast (each step runs once what it waits for has happened)") +
                   CRLF);
        // The first step awaits nothing: it runs now, as its tick would. A web service
        // already called at load is called again one TimeDelay later.
        if (loop == RunLoop::Port)
            continueAtOnce();
        else if (s.phase == Phase::Read && !bridge_->readAwaitsVendor())
            s.elapsedTicks = stepTick();
        else
            continueNetworkAtOnce();
    }

    if (request.patientFound()) {
        request.answerFound();
        endSession();
    }
}

void Session::closeConnection() {
    try {
        PortTimer.setEnabled(false);
        NetworkTimer.setEnabled(false);
        stopAwaiting();
        if (request_) {
            request_->session.elapsedTicks = 0;
            if (bridge_) bridge_->close(*request_);
            if (request_->settings.debugging) request_->writeDebugLog();
        }
    } catch (...) {
    }
    view_.close();
}

void Session::endSession() {
    closeConnection();
}

void Session::stop() {
    PortTimer.setEnabled(false);
    NetworkTimer.setEnabled(false);
    stopAwaiting();
    bridge_.reset();
}

void Session::cancel(std::string_view why) {
    if (!request_ || !showing()) return;
    request_->reasons.note(why);
    request_->setPatientFound(false);
    endSession();
}

void Session::release() {
    PortTimer.setEnabled(false);
    NetworkTimer.setEnabled(false);
    stopAwaiting();
    request_.reset();
}

void Session::failureNotice(std::string_view stepText, std::string_view runtimeError) {
    if (request_->settings.debugging) {
        ui::toolkit().messageBox(runtimeError.empty() ? "0 - " : runtimeError, "", ui::Icon::None);
        ui::toolkit().messageBox(stepText, "Attention!", ui::Icon::Critical);
    }
    request_->attemptFailed();
}

void Session::countAttempt(bool succeeded) {
    if (succeeded) {
        updateText(std::string("  ...Successful!") + CRLF + CRLF);
        request_->session.attemptCount = 0;
    } else {
        request_->session.attemptCount += 1;
    }
}

void Session::updateText(std::string_view text) {
    view_.appendText(text);
}

void Session::clearText() {
    view_.clearText();
}

void Session::setStatus(std::string_view status) {
    status_ = status;
    view_.showStatus(status);
}

void Session::setConnectionTime(std::string_view text) {
    view_.showConnectionTime(text);
}

void Session::updateElapsedTime() {
    setConnectionTime("Connection time: " + std::to_string(request_->session.elapsedTicks));
}

// NetworkTimer: Prepare -> Cleanup -> Send -> Read -> Answered, a phase on the tick
// after timeoutTicks ticks; a failed phase is tried again until the attempts run out.
void Session::networkTick() {
    if (!bridge_ || !request_ || readingAnswer_) return;
    SessionState& s = request_->session;
    ++ticksRun;
    updateElapsedTime();
    s.elapsedTicks += 1;
    // Fast pace: an answer that is there to be read is read now, as the read's tick would.
    bool atHand =
        s.pace == Pace::Fast && s.phase == Phase::Read && bridge_->answerAtHand(*request_);
    if (s.elapsedTicks <= Variant(s.timeoutTicks).numericValue() && !atHand) return;
    runNetworkStep();
}

void Session::runNetworkStep() {
    Request& request = *request_;
    SessionState& s = request.session;
    if (s.attemptCount > request.settings.retryLimit) {
        request.setPatientFound(false);
        NetworkTimer.setInterval(request.settings.timeDelayMs);
        endSession();
        return;
    }
    if (s.phase == Phase::Answered) {
        request.answerFound();
        endSession();
        return;
    }
    Bridge& bridge = *bridge_;
    Phase before = s.phase;
    int attemptsBefore = s.attemptCount;
    switch (s.phase) {
        case Phase::Read: readPhase(bridge); break;
        case Phase::Send: sendPhase(bridge); break;
        case Phase::Cleanup: cleanupPhase(bridge); break;
        default: preparePhase(); break;
    }
    if (s.pace != Pace::Fast || !showing()) return;
    // Fast pace: a phase that moved on lets the next run at once; one that failed outright
    // is tried again one TimeDelay later; a results file not there yet is waited for on
    // the schedule, and looked at on every tick in between.
    if (s.phase != before)
        continueNetworkAtOnce();
    else if (s.attemptCount > attemptsBefore &&
             (s.phase != Phase::Read || !bridge.readAwaitsVendor())) {
        s.elapsedTicks = stepTick();
        NetworkTimer.setInterval(request.settings.timeDelayMs);
    }
}

void Session::continueNetworkAtOnce() {
    int which = sessionNumber_;
    ui::EventLoop::current().post([this, which] {
        if (which != sessionNumber_ || !showing() || !bridge_ || !NetworkTimer.enabled()) return;
        // The step runs as its tick would, and the next tick counts from now. A read only
        // runs when its answer is at hand: the vendor has only just been asked.
        NetworkTimer.setEnabled(false);
        NetworkTimer.setEnabled(true);
        if (request_->session.phase != Phase::Read || bridge_->answerAtHand(*request_))
            runNetworkStep();
    });
}

int Session::stepTick() const {
    double timeout = Variant(request_->session.timeoutTicks).numericValue();
    return static_cast<int>(std::clamp(timeout, 0.0, 1e9));
}

void Session::readPhase(Bridge& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    s.finishedSending = s.startedReceiving = platform::clock().now();
    bool received = bridge.readAnswer(request);
    if (received) request.setPhase(Phase::Answered);
    s.elapsedTicks = 0;
    if (received) NetworkTimer.setInterval(request.settings.timeDelayMs);
}

bool Session::stepTo(Phase next, const Expected<void>& step) {
    if (step)
        request_->setPhase(next);
    else
        request_->fail(step.error());
    return step.has_value();
}

void Session::sendPhase(Bridge& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    if (bridge.hasRequestSteps()) {
        countAttempt(stepTo(Phase::Read, bridge.sendRequest(request)));
    } else {
        s.attemptCount = 0;
        request.setPhase(Phase::Read);
    }
    s.elapsedTicks = 0;
    NetworkTimer.setInterval(1000);
}

void Session::cleanupPhase(Bridge& bridge) {
    Request& request = *request_;
    SessionState& s = request.session;
    if (bridge.hasRequestSteps()) {
        bool removed = stepTo(Phase::Send, bridge.removeFiles(request));
        s.startedSending = platform::clock().now();
        countAttempt(removed);
    } else {
        // Nothing to remove and nothing to send: straight to reading.
        s.attemptCount = 0;
        request.setPhase(Phase::Read);
        s.startedSending = platform::clock().now();
    }
    s.elapsedTicks = 0;
}

void Session::preparePhase() {
    Request& request = *request_;
    request.setPhase(Phase::Cleanup);
    updateText(std::string("  ...Successful!") + CRLF + CRLF);
    request.session.attemptCount = 0;
    request.session.elapsedTicks = 0;
}

// PortTimer: from tick timeoutTicks on, each tick is one attempt of the bridge's
// current step until the attempts run out; closePending closes on the next tick.
void Session::portTick() {
    if (!bridge_ || !request_ || readingAnswer_) return;
    SessionState& s = request_->session;
    ++ticksRun;
    try {
        s.elapsedTicks += 1;
        updateElapsedTime();
        Bridge& bridge = *bridge_;
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

void Session::runPortStep(Bridge& bridge) {
    SessionState& s = request_->session;
    bool fast = s.pace == Pace::Fast;
    if (s.attemptCount >= request_->settings.attempts) {
        bridge.exhausted(*request_);
        // Attempts that failed outright leave nothing to wait for: the next port, or the end.
        if (fast && failedOutright_ && showing()) continueAtOnce();
        return;
    }
    s.attemptCount += 1;
    Phase before = s.phase;
    bool closingBefore = bridge.closePending();
    int failuresBefore = s.failedAttempts;
    bridge.step(*request_);
    failedOutright_ = s.failedAttempts != failuresBefore;
    // A step that moved on lets the next one run as soon as what it awaits has happened;
    // one that failed outright (refused, no such host or device) is tried again one
    // TimeDelay later; any other keeps the schedule.
    bool movedOn = static_cast<int>(s.phase) > static_cast<int>(before) ||
                   (bridge.closePending() && !closingBefore);
    if (!fast || !showing()) return;
    if (movedOn) {
        if (int descriptor = bridge.awaitedDescriptor(*request_); descriptor >= 0)
            continueWhenReadable(descriptor);
        else
            continueAtOnce();
    } else if (failedOutright_) {
        if (s.attemptCount >= request_->settings.attempts) {
            continueAtOnce();
        } else {
            s.elapsedTicks = std::max(0, stepTick() - 1);
            PortTimer.setInterval(request_->settings.timeDelayMs);
            retryScheduled_ = true;
        }
    }
}

void Session::continueAtOnce() {
    int which = sessionNumber_;
    ui::EventLoop::current().post([this, which] {
        if (which != sessionNumber_ || !showing() || !bridge_ || !PortTimer.enabled()) return;
        SessionState& s = request_->session;
        // The ticks until the one that would run the step: the step runs as that tick,
        // and the timer then counts from that tick's time.
        auto timeout =
            static_cast<std::int64_t>(std::min(Variant(s.timeoutTicks).numericValue(), 1e9));
        std::int64_t ticks =
            bridge_->closePending() ? 1 : std::max<std::int64_t>(1, timeout - s.elapsedTicks);
        // The timer's phase moves no further than the tick counter can tell apart; the
        // ticks themselves all count, however many a time-out holds.
        constexpr std::int64_t kFurthestMs = std::int64_t{1} << 30;
        std::int64_t ahead = std::min(kFurthestMs, (ticks - 1) * PortTimer.interval());
        auto stepAt = static_cast<std::int32_t>(static_cast<std::uint32_t>(PortTimer.dueAt()) +
                                                static_cast<std::uint32_t>(ahead));
        s.elapsedTicks += static_cast<int>(ticks - 1);
        retryScheduled_ = false;
        portTick();
        // A retry counts its TimeDelay from now; any other step keeps its tick's schedule.
        if (showing() && PortTimer.enabled() && !retryScheduled_) PortTimer.restartFrom(stepAt);
    });
}

void Session::continueWhenReadable(int descriptor) {
    stopAwaiting();
    int which = sessionNumber_;
    auto resume = [this, which] {
        stopAwaiting();
        if (which == sessionNumber_) continueAtOnce();
    };
    awaitWatch_ = ui::EventLoop::current().watch(descriptor, resume, resume);
}

void Session::stopAwaiting() {
    if (awaitWatch_ != 0) ui::EventLoop::current().unwatch(awaitWatch_);
    awaitWatch_ = 0;
}

void applyParseResult(RequestState& state, const formats::ParseResult& result) {
    SessionState& s = state.session;
    state.reasons().record(result.notices);
    if (result.startedParsing) s.startedParsing = result.startedParsing;
    if (result.finishedParsing) s.finishedParsing = result.finishedParsing;
    if (result.recordDelimiter) s.recordDelimiter = std::string(1, *result.recordDelimiter);
    s.identifierMatch = result.identifierMatch;
    if (result.found) state.patientFound = *result.found;
    if (result.disconnected) workStopped(s);
}

void showMessageBoxes(const formats::ParseResult& result) {
    for (const formats::MessageBoxNotice& box : result.messageBoxes)
        ui::toolkit().messageBox(box.text, box.title, box.icon);
}

formats::ParseContext parseContext(RequestState& state) {
    return {state.record, state.debugDataDump,
            formats::ParseContext::delimiterOf(state.session.recordDelimiter), platform::clock(),
            state.preparedSettings()};
}

bool Session::processResponse(std::string_view received) {
    if (!request_) return false;  // no request loaded: nothing to read the answer for
    Request& request = *request_;
    // Read where it lies: a copy of an answer as large as the limit would double its cost.
    formats::ParseResult parsed;
    std::string shown;
    {
        FlagRaised reading(readingAnswer_);
        std::string converted;
        std::string_view answer = formats::answerAsRead(received, request.settings, converted);
        parsed = formats::dispatchAnswer(answer, request.config, request.parseContext());
        showMessageBoxes(parsed);
        if (parsed.next == formats::NextStep::ShowAnswerAndEnd)
            shown = answerForDisplay(formats::trimmedForDisplay(answer, request.settings));
    }
    request.applyParse(parsed);
    answerProblem_ = parsed.problem;
    if (request.patientFound() && !parsed.identifierMatch.empty())
        updateText("Patient ID " + request.settings.patientId + " matched " +
                   parsed.identifierMatch + CRLF);
    if (parsed.next != formats::NextStep::ShowAnswerAndEnd) return request.patientFound();

    // The answer was not a patient: show it and end the session without more attempts.
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + shown + CRLF + CRLF);
    closeConnection();
    return false;
}

}  // namespace trellybridge::session
