// One request as a bridge's steps see it: the settings it runs with, the session's
// bookkeeping, and what the engine does on a step's behalf (progress lines, errors, the
// answer's hand-off, the phase and outcome, the timer that runs the bridge, the end).
// The engine makes one per request and hands it to each step; no bridge sees the view
// that shows the session.
#pragma once

#include <string>
#include <string_view>

#include "common/BridgeConfiguration.h"
#include "common/Errors.h"
#include "common/Expected.h"
#include "common/Reasons.h"
#include "common/RequestSettings.h"
#include "common/RequestState.h"
#include "common/SessionState.h"
#include "formats/AnswerDispatch.h"
#include "session/RunLoop.h"

namespace trellybridge::session {

class Session;

// How the progress display ends its lines.
inline constexpr const char* CRLF = "\r\n";

class Request {
public:
    // The request works on the state runRequest hands over: the
    // settings it was prepared with, and the session, record and reasons it fills in.
    Request(Session& engine, RequestState& state);

    // The settings as stored: the text shown, logged and quoted in messages.
    BridgeConfiguration& config;
    // The settings as the steps use them, read when the request was prepared.
    const RequestSettings& settings;
    SessionState& session;
    Reasons reasons;  // the error list and failure notes this request records into

    // What the user sees of the session.
    void updateText(std::string_view text);
    void clearText();
    void setStatus(std::string_view status);
    const std::string& status() const;
    void setConnectionTime(std::string_view text);

    // Errors, attempts and the answer.
    void record(errc code, std::string_view description = {}) const;
    // What a step's failure says: noted for people, and its error recorded.
    void fail(const Failure& failure) const;
    // The pattern a failing step ends with; the timer's retry rules then go on.
    void failureNotice(std::string_view stepText, std::string_view runtimeError = {});
    // Success starts the attempts afresh; a failure counts one more attempt.
    void countAttempt(bool succeeded);
    // Hands the answer to the parser of the vendor format; true when it held the patient.
    bool processResponse(std::string_view answer);
    // Notes why the answer from `source` ("the answer from 10.0.0.5 port 9991") held no
    // patient: the vendor's refusal or an answer that could not be read, as the parser
    // found it, or else that the patient is not in it.
    void noteNoPatient(std::string_view source) const;

    // The session's phase and outcome.
    void setPhase(Phase next);
    void workStarted();
    void attemptFailed();
    void setPatientFound(bool found);
    bool patientFound() const;
    void answerFound();
    // What reading an answer means for the session: the parse's stamps, the STANDARD
    // delimiter, the found flag, and a disconnected session with its ticks restarted.
    // The errors the parse raised are recorded first.
    void applyParse(const formats::ParseResult& result);
    // The record, debug dump and STANDARD delimiter an answer is parsed into.
    formats::ParseContext parseContext();
    // Appends the dump of this request to the debug log.
    void writeDebugLog();

    // The timer that runs the bridge: the wait before its next tick, a wait started
    // afresh, the next step now (fast pace), and the session's end.
    void setTickInterval(RunLoop loop, int milliseconds);
    void restartTicks(RunLoop loop);
    void continueAtOnce();
    void end();

private:
    Session& engine_;
    RequestState& state_;
};

}  // namespace trellybridge::session
