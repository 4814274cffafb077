// The answer dispatcher: hands the vendor's answer to the parser of the vendor format.
#include <optional>

#include "common/AnswerLimit.h"
#include "formats/Keywords.h"
#include "formats/Parsers.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::session {
namespace {

std::string format() {
    return config().VendorFormatType.toText();
}

// The STANDARD header record: the first "H" with "1", "2" or "3" two places on.
// Returns the answer from there, without its last character; nullopt without a header.
std::optional<std::string> standardFromHeader(const std::string& answer) {
    for (size_t i = 0; i + 3 < answer.size(); ++i) {
        char level = answer[i + 2];
        if (answer[i] == 'H' && (level == '1' || level == '2' || level == '3'))
            return answer.substr(i, answer.size() - i - 1);
    }
    return std::nullopt;
}

std::string trimmedForDisplay(std::string answer) {
    size_t first = answer.find_first_not_of(' ');
    answer = first == std::string::npos ? "" : answer.substr(first);
    std::string end = endCharacter();
    while (!answer.empty()) {
        char last = answer.back();
        if (last == '\r' || last == '\n' || last == ' ' || (!end.empty() && last == end[0]))
            answer.pop_back();
        else
            break;
    }
    return answer;
}

}  // namespace

bool SessionWindow::processResponse(std::string answer) {
    SessionState& s = session();
    if (inForce(config(), keyword::ChangeLfToCr))
        for (char& c : answer)
            if (c == '\n') c = '\r';
    state().record.clear();

    std::string type = format();
    bool found = false;
    if (type == "HL7") {
        s.startedParsing = platform::clock().now();
        TrellyBridgeComm parsing;
        if (formats::parseHL7Stream(parsing, answer)) {
            s.finishedParsing = platform::clock().now();
            std::string vendor = config().VendorName.upperText();
            bool medicVendor = vendor == "MEDIC" || vendor == "MISYS PM" || vendor == "MISYSPM";
            if (medicVendor && config().MEDICuseGuarantorAddress.toText() == "true")
                useGuarantorAddress(state().record);
            return state().patientFound;
        }
    } else if (type == "STANDARD") {
        s.startedParsing = platform::clock().now();
        if (auto records = standardFromHeader(answer)) {
            bool delimited = records->size() > 1 && (*records)[1] != ' ';
            bool parsed = delimited ? formats::parseStandardStream(*records)
                                    : formats::parseStandardFixedStream(*records);
            if (parsed) s.finishedParsing = platform::clock().now();
            found = state().patientFound;
        }
        if (found) return true;
    } else if (type == "SCAN") {
        s.startedParsing = platform::clock().now();
        if (formats::parseScanStream(answer)) s.finishedParsing = platform::clock().now();
        return state().patientFound;
    } else if (type == "XML") {
        s.startedParsing = platform::clock().now();
        if (formats::parseXMLStream(answer)) s.finishedParsing = platform::clock().now();
        if (state().patientFound) return true;
    } else {
        return state().patientFound;
    }

    // The answer was not a patient: show it and end the session without more attempts.
    state().patientFound = false;
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + answerForDisplay(trimmedForDisplay(answer)) + CRLF + CRLF);
    closeConnection();
    return false;
}

}  // namespace trellybridge::session
