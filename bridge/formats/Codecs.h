// Each vendor format's two halves: the parser that reads its answers and the builder of
// its patient request (the table of formats, formats/Formats.h, pairs them).
//
// A parser reads an answer with the request's settings into the caller's record and says
// what came of it; none of them publishes the record, records an error, shows anything or
// touches the session: the caller applies the result, and shows the message boxes it names
// (an identifier that does not match, a vendor's error element) as soon as the parse
// returns. A builder writes the request byte for byte from the settings and the clock it
// is given (an HL7 query's time stamp and control id); an error it meets comes back with
// what it built, for the caller to record. Time stamps come from the clock the caller
// hands over.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/BridgeConfiguration.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/PatientRecord.h"
#include "common/RequestSettings.h"
#include "platform/Clock.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {

// What the session does once the answer has been read.
enum class NextStep {
    Continue,          // goes on as the found flag says
    ShowAnswerAndEnd,  // the answer was not a patient: it is shown and the session ends
                       // without more attempts
};

// What an answer without the patient says beyond "not on file": the vendor refused the
// query, or the answer could not be read in the format set. It follows the answer's
// source in the failure note ("the answer from 10.0.0.5 port 9991: ...").
struct AnswerProblem {
    FailureKind kind = FailureKind::Unreadable;
    std::string what;
};

// A message box the answer calls for, in the order the parse came to it.
struct MessageBoxNotice {
    std::string text;
    std::string title;
    ui::Icon icon = ui::Icon::None;
};
using MessageBoxNotices = std::vector<MessageBoxNotice>;

struct ParseResult {
    // False when the parser failed outright (the answer could not be read at all).
    bool read = false;
    // Did the answer hold the patient asked for? Unset when no parser ran (a format
    // without one): the session's flag stands.
    std::optional<bool> found;
    // The answer ended the exchange (an identifier that does not match, a vendor's error
    // element, a component lookup that cannot be made): the session shows it disconnected
    // and its tick count starts again.
    bool disconnected = false;
    NextStep next = NextStep::Continue;
    // When reading began and ended; unset for a step that never happened.
    std::optional<platform::LocalTime> startedParsing, finishedParsing;
    // The delimiter a STANDARD header record named.
    std::optional<char> recordDelimiter;
    // The errors the answer raised, in order, for the caller to record.
    ErrorNotices notices;
    // The message boxes the answer calls for, for the caller to show.
    MessageBoxNotices messageBoxes;
    // Set when an answer without the patient was a refusal or could not be read.
    std::optional<AnswerProblem> problem;
    // Which identifier matched the one asked for when it was not the answer's own
    // ("PID-3 repetition 2: 12345^^^CLINIC^MR"); empty otherwise.
    std::string identifierMatch;
};

// What a parse works with besides the answer and the settings. The record and the debug
// dump belong to the caller, so that their storage is reused from one answer to the next.
struct ParseContext {
    PatientRecord& record;            // filled; a field the answer does not name keeps its text
    std::string& debugDump;           // the answer as kept for the debug log (HL7 and STANDARD),
                                      // bounded (answerForDump)
    char recordDelimiter = '|';       // the STANDARD delimiter until a header record names one
    platform::Clock& clock;           // the request's: when reading began and ended
    const RequestSettings& settings;  // the request's, as its steps use them

    // The delimiter a session keeps as text: its first character, "|" when empty.
    static char delimiterOf(std::string_view text) { return text.empty() ? '|' : text[0]; }
};

// Sees the HL7 record as read, before the guarantor substitutions of the keywords; the
// public parseHL7Stream method publishes it at that point.
using RecordObserver = std::function<void(const PatientRecord&)>;

// An answer without a PID segment is no patient and fails, so that the dispatcher shows it
// and ends the session.
ParseResult parseHL7Stream(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext context, const RecordObserver& whenRead = {});
// STANDARD, delimited layout (the header names the delimiter).
ParseResult parseStandardStream(std::string_view answer, const BridgeConfiguration& config,
                                ParseContext context);
// STANDARD, fixed-column layout.
ParseResult parseStandardFixedStream(std::string_view answer, const BridgeConfiguration& config,
                                     ParseContext context);
ParseResult parseScanStream(std::string_view answer, const BridgeConfiguration& config,
                            ParseContext context);
ParseResult parseXMLStream(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext context);

// Each format's reader, as the table of formats names it (formats/Formats.h): the parser
// timed, and the format's own test of an answer that is shown and ends the session.
ParseResult readHl7Answer(std::string_view answer, const BridgeConfiguration& config,
                          ParseContext& context);
ParseResult readStandardAnswer(std::string_view answer, const BridgeConfiguration& config,
                               ParseContext& context);
ParseResult readScanAnswer(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext& context);
ParseResult readXmlAnswer(std::string_view answer, const BridgeConfiguration& config,
                          ParseContext& context);

// Read, timed: the start stamped before the parser runs, the end after it when it could
// read the answer (a parser may have stamped its own end already).
template <typename Parse>
ParseResult timed(platform::Clock& clock, Parse parse) {
    platform::LocalTime started = clock.now();
    ParseResult result = parse();
    result.startedParsing = started;
    if (result.read) result.finishedParsing = clock.now();
    return result;
}

// An answer that holds no patient: it is shown, and the session ends without more attempts.
ParseResult shownAndEnded(ParseResult result);

// The tag of a SCAN line (before the first "=", trimmed) and its value (after it, up to
// the line's end character, trimmed).
std::string getScanTag(std::string_view line);
std::string getScanValue(std::string_view line);

}  // namespace trellybridge::formats

// The patient request in the vendor's format, and its framing.
namespace trellybridge::request {

inline constexpr std::string_view kDynamicTag = "<%DYNAMIC%>";

struct BuiltRequest {
    std::string text;
    bool formatKnown = true;  // false: the caller gives the failure notice, then sends anyway
    ErrorNotices notices = {};
};

// The request of the configured format (through the table of formats).
BuiltRequest buildRequest(const BridgeConfiguration& config, platform::Clock& clock);
// Each format's request: the dynamic request under <%DYNAMIC%>, else the request tag
// ([PID] replaced by the patient's identifier).
BuiltRequest buildStandardRequest(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildHl7Request(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildScanRequest(const BridgeConfiguration& config, platform::Clock& clock);
BuiltRequest buildXmlRequest(const BridgeConfiguration& config, platform::Clock& clock);

std::string buildHL7Query(const BridgeConfiguration& config, ErrorNotices& notices,
                          platform::Clock& clock);
std::string buildHISRequest(const BridgeConfiguration& config);

// The characters of a comma-separated list of decimal codes ("13,10" is CR LF); gives
// empty text and error 300 when an item is not a code from 0 to 255.
std::string parseEOFRequest(std::string_view codes, ErrorNotices& notices);

// The end-of-request characters that follow a request on the serial line or TCP.
std::string endOfRequest(const BridgeConfiguration& config, ErrorNotices& notices);

}  // namespace trellybridge::request
