// What the session does with a vendor's answer: the formats' dispatcher reads it, the
// session takes on the parse's outcome, and an answer that is no patient is shown.
#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/SessionPhase.h"
#include "common/ThreadState.h"
#include "formats/AnswerDispatch.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {

void applyParseResult(ThreadState& shared, const formats::ParseResult& result) {
    SessionState& s = shared.session;
    shared.reasons().record(result.notices);
    if (result.startedParsing) s.startedParsing = result.startedParsing;
    if (result.finishedParsing) s.finishedParsing = result.finishedParsing;
    if (result.recordDelimiter) s.recordDelimiter = std::string(1, *result.recordDelimiter);
    if (result.found) shared.patientFound = *result.found;
    if (result.disconnected) workStopped(s);
}

formats::ParseContext parseContext(ThreadState& shared) {
    return {shared.record, shared.debugDataDump,
            formats::ParseContext::delimiterOf(shared.session.recordDelimiter)};
}

bool SessionWindow::processResponse(std::string answer) {
    if (!request_) return false;  // no request loaded: nothing to read the answer for
    Request& request = *request_;
    formats::ParseResult parsed =
        formats::dispatchAnswer(answer, request.settings, request.parseContext());
    request.applyParse(parsed);
    if (parsed.next != formats::NextStep::ShowAnswerAndEnd) return request.patientFound();

    // The answer was not a patient: show it and end the session without more attempts.
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + answerForDisplay(formats::trimmedForDisplay(answer, request.settings)) +
               CRLF + CRLF);
    closeConnection();
    return false;
}

}  // namespace trellybridge::session
