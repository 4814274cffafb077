#include "formats/AnswerDispatch.h"

#include <algorithm>

#include "common/Keywords.h"
#include "formats/Formats.h"
#include "platform/Clock.h"

namespace trellybridge::formats {

bool isKnownFormat(std::string_view name) {
    return formatNamed(name) != nullptr;
}

std::string endCharacter(const BridgeConfiguration& config) {
    double code = config.EOFCharacter.numericValue();
    if (code < 0 || code > 255) return {};
    return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

std::optional<std::string_view> standardFromHeader(std::string_view answer) {
    for (size_t i = 0; i + 3 < answer.size(); ++i) {
        char level = answer[i + 2];
        if (answer[i] == 'H' && (level == '1' || level == '2' || level == '3'))
            return answer.substr(i, answer.size() - i - 1);
    }
    return std::nullopt;
}

std::string_view trimmedForDisplay(std::string_view answer, const RequestSettings& settings) {
    size_t first = answer.find_first_not_of(' ');
    answer = first == std::string_view::npos ? std::string_view() : answer.substr(first);
    const std::string& end = settings.endCharacter;
    while (!answer.empty()) {
        char last = answer.back();
        if (last == '\r' || last == '\n' || last == ' ' || (!end.empty() && last == end[0]))
            answer.remove_suffix(1);
        else
            break;
    }
    return answer;
}

std::string_view answerAsRead(std::string_view answer, const RequestSettings& settings,
                              std::string& converted) {
    if (!settings.keywords.has(keyword::ChangeLfToCr) ||
        answer.find('\n') == std::string_view::npos)
        return answer;
    converted.assign(answer);
    std::replace(converted.begin(), converted.end(), '\n', '\r');
    return converted;
}

namespace {

// A NUL from the vendor would end a value early for a host that reads it as a C string
// (what the serial control's NullDiscard was for): no value keeps one.
void dropNuls(std::string& value) {
    std::erase(value, '\0');
}

}  // namespace

ParseResult shownAndEnded(ParseResult result) {
    result.found = false;
    result.next = NextStep::ShowAnswerAndEnd;
    return result;
}

ParseResult dispatchAnswer(std::string_view answer, const BridgeConfiguration& config,
                           ParseContext context) {
    context.record.clear();
    const Format* format = formatOf(formatKind(config));
    ParseResult result = format ? format->read(answer, config, context) : ParseResult{};
    for (std::string& value : context.record.fields) dropNuls(value);
    for (auto& slot : context.record.insurance)
        for (std::string& value : slot) dropNuls(value);
    return result;
}

void noteNoPatient(const std::optional<AnswerProblem>& problem, std::string_view source,
                   std::string_view patientId, const Reasons& reasons) {
    if (problem)
        reasons.note(problem->kind, std::string(source) + ": " + problem->what);
    else
        reasons.note(FailureKind::NotOnFile,
                     std::string(source) + " holds no patient " + std::string(patientId));
}

}  // namespace trellybridge::formats
