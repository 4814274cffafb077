// What the session does with a vendor's answer: the formats' dispatcher reads it, the
// session takes on the parse's outcome, and an answer that is no patient is shown.
#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/SessionPhase.h"
#include "formats/AnswerDispatch.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {

void applyParseResult(const formats::ParseResult& result) {
    recordErrors(result.notices);
    SessionState& s = session();
    if (result.startedParsing) s.startedParsing = result.startedParsing;
    if (result.finishedParsing) s.finishedParsing = result.finishedParsing;
    if (result.recordDelimiter) s.recordDelimiter = std::string(1, *result.recordDelimiter);
    if (result.found) setPatientFound(*result.found);
    if (result.disconnected) workStopped();
}

formats::ParseContext threadParseContext() {
    ThreadState& thread = state();
    return {thread.record, thread.debugDataDump,
            formats::ParseContext::delimiterOf(thread.session.recordDelimiter)};
}

bool SessionWindow::processResponse(std::string answer) {
    formats::ParseResult parsed = formats::dispatchAnswer(answer, config(), threadParseContext());
    applyParseResult(parsed);
    if (parsed.next != formats::NextStep::ShowAnswerAndEnd) return state().patientFound;

    // The answer was not a patient: show it and end the session without more attempts.
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + answerForDisplay(formats::trimmedForDisplay(answer, config())) + CRLF + CRLF);
    closeConnection();
    return false;
}

}  // namespace trellybridge::session
