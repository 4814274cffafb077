// The answer dispatcher: hands a vendor's answer to the parser of the configured format
// and says what the session does next. It reads nothing of the session and writes only
// the caller's record and debug dump; showing the answer and ending the session are the
// caller's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/BridgeConfiguration.h"
#include "common/Reasons.h"
#include "formats/Codecs.h"

namespace trellybridge::formats {

// A format of the table of formats, compared exactly.
bool isKnownFormat(std::string_view name);

// The character whose code EOFCharacter gives (its leading number); empty text when the
// code is outside 0 to 255.
std::string endCharacter(const BridgeConfiguration& config);

// The STANDARD header record: the first "H" with "1", "2" or "3" two places on.
// Returns the answer from there, without its last character; nullopt without a header.
std::optional<std::string_view> standardFromHeader(std::string_view answer);

// The answer as it is shown when it held no patient: without leading blanks, nor trailing
// line ends, blanks and end characters.
std::string_view trimmedForDisplay(std::string_view answer, const RequestSettings& settings);

// The answer as the parsers read it and a failure shows it: under {CHANGE LF TO CR} its
// line feeds are carriage returns (made in `converted`), else it is the answer itself.
std::string_view answerAsRead(std::string_view answer, const RequestSettings& settings,
                              std::string& converted);

// Reads the answer (as answerAsRead gives it) with the parser of the configured format
// into the (first cleared) record of `context`. An answer that holds no patient
// is to be shown and the session ended (NextStep::ShowAnswerAndEnd), except in the SCAN
// format and when the HL7 parser could read it. MEDIC sites that ask for it get the
// guarantor's address as the patient's. No value keeps a NUL byte.
ParseResult dispatchAnswer(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext context);

// Notes why the answer from `source` ("the answer from 10.0.0.5 port 9991") held no
// patient: the vendor's refusal or an answer that could not be read, as the parser found
// it, or else that the patient is not in it.
void noteNoPatient(const std::optional<AnswerProblem>& problem, std::string_view source,
                   std::string_view patientId, const Reasons& reasons);

}  // namespace trellybridge::formats
