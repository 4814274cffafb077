#include "session/Request.h"

#include "common/DebugLog.h"
#include "common/PhaseTrail.h"
#include "formats/AnswerDispatch.h"
#include "session/Session.h"

namespace trellybridge::session {

Request::Request(Session& engine, RequestState& state)
    : config(state.config),
      settings(state.preparedSettings()),
      session(state.session),
      reasons(state.reasons()),
      engine_(engine),
      state_(state) {}

void Request::updateText(std::string_view text) {
    engine_.updateText(text);
}

void Request::clearText() {
    engine_.clearText();
}

void Request::setStatus(std::string_view status) {
    engine_.setStatus(status);
}

const std::string& Request::status() const {
    return engine_.status();
}

void Request::setConnectionTime(std::string_view text) {
    engine_.setConnectionTime(text);
}

void Request::record(errc code, std::string_view description) const {
    engine_.record(code, description);
}

void Request::fail(const Failure& failure) const {
    if (!failure.detail.empty()) {
        if (failure.code)
            reasons.note(*failure.code, failure.detail, failure.kind);
        else
            reasons.note(failure.kind, failure.detail);
    }
    if (failure.code) record(*failure.code);
}

void Request::failureNotice(std::string_view stepText, std::string_view runtimeError) {
    engine_.failureNotice(stepText, runtimeError);
}

void Request::countAttempt(bool succeeded) {
    engine_.countAttempt(succeeded);
}

bool Request::processResponse(std::string_view answer) {
    return engine_.processResponse(answer);
}

void Request::noteNoPatient(std::string_view source) const {
    formats::noteNoPatient(engine_.answerProblem(), source, settings.patientId, reasons);
}

void Request::setPhase(Phase next) {
    trellybridge::setPhase(session, next);
}

void Request::workStarted() {
    trellybridge::workStarted(session);
}

void Request::attemptFailed() {
    trellybridge::attemptFailed(session, state_.patientFound);
}

void Request::setPatientFound(bool found) {
    state_.patientFound = found;
}

bool Request::patientFound() const {
    return state_.patientFound;
}

void Request::answerFound() {
    trellybridge::answerFound(session, state_.patientFound);
}

void Request::applyParse(const formats::ParseResult& result) {
    applyParseResult(state_, result);
}

formats::ParseContext Request::parseContext() {
    return session::parseContext(state_);
}

void Request::writeDebugLog() {
    trellybridge::writeDebugLog(state_);
}

void Request::setTickInterval(RunLoop loop, int milliseconds) {
    (loop == RunLoop::Port ? engine_.PortTimer : engine_.NetworkTimer).setInterval(milliseconds);
}

void Request::restartTicks(RunLoop loop) {
    ui::Timer& timer = loop == RunLoop::Port ? engine_.PortTimer : engine_.NetworkTimer;
    timer.setEnabled(false);
    timer.setEnabled(true);
}

void Request::continueAtOnce() {
    engine_.continueAtOnce();
}

void Request::end() {
    engine_.endSession();
}

}  // namespace trellybridge::session
