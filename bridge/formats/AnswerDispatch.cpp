#include "formats/AnswerDispatch.h"

#include "common/Keywords.h"
#include "common/ThreadState.h"
#include "platform/Clock.h"

namespace trellybridge::formats {

bool isKnownFormat(std::string_view name) {
    return formatKindOf(name) != FormatKind::Unknown;
}

std::string endCharacter(const BridgeConfiguration& config) {
    double code = config.EOFCharacter.numericValue();
    if (code < 0 || code > 255) return {};
    return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

std::optional<std::string> standardFromHeader(const std::string& answer) {
    for (size_t i = 0; i + 3 < answer.size(); ++i) {
        char level = answer[i + 2];
        if (answer[i] == 'H' && (level == '1' || level == '2' || level == '3'))
            return answer.substr(i, answer.size() - i - 1);
    }
    return std::nullopt;
}

std::string trimmedForDisplay(std::string answer, const BridgeConfiguration& config) {
    size_t first = answer.find_first_not_of(' ');
    answer = first == std::string::npos ? "" : answer.substr(first);
    std::string end = endCharacter(config);
    while (!answer.empty()) {
        char last = answer.back();
        if (last == '\r' || last == '\n' || last == ' ' || (!end.empty() && last == end[0]))
            answer.pop_back();
        else
            break;
    }
    return answer;
}

namespace {

platform::LocalTime now() {
    return platform::clock().now();
}

// Read, timed: the start stamped before the parser runs, the end after it when it could
// read the answer (a parser may have stamped its own end already).
template <typename Parse>
ParseResult timed(Parse parse) {
    platform::LocalTime started = now();
    ParseResult result = parse();
    result.startedParsing = started;
    if (result.read) result.finishedParsing = now();
    return result;
}

// A NUL from the vendor would end a value early for a host that reads it as a C string
// (what the serial control's NullDiscard was for): no value keeps one.
void dropNuls(std::string& value) {
    std::erase(value, '\0');
}

ParseResult readAnswer(std::string& answer, const BridgeConfiguration& config,
                       ParseContext& context) {
    ParseResult result;
    switch (formatKind(config)) {
        case FormatKind::Hl7: {
            result = timed([&] { return parseHL7Stream(answer, config, context); });
            if (result.read) {
                std::string vendor = config.VendorName.upperText();
                bool medicVendor = vendor == "MEDIC" || vendor == "MISYS PM" || vendor == "MISYSPM";
                if (medicVendor && config.MEDICuseGuarantorAddress.toText() == "true")
                    useGuarantorAddress(context.record);
                return result;
            }
            break;
        }
        case FormatKind::Standard: {
            platform::LocalTime started = now();
            if (auto records = standardFromHeader(answer)) {
                bool delimited = records->size() > 1 && (*records)[1] != ' ';
                result = delimited ? parseStandardStream(*records, config, context)
                                   : parseStandardFixedStream(*records, config, context);
                if (result.read) result.finishedParsing = now();
            }
            result.startedParsing = started;
            if (result.found.value_or(false)) return result;
            break;
        }
        case FormatKind::Scan:
            return timed([&] { return parseScanStream(answer, config, context); });
        case FormatKind::Xml:
            result = timed([&] { return parseXMLStream(answer, config, context); });
            if (result.found.value_or(false)) return result;
            break;
        case FormatKind::Unknown: return result;
    }

    result.found = false;
    result.next = NextStep::ShowAnswerAndEnd;
    return result;
}

}  // namespace

ParseResult dispatchAnswer(std::string& answer, const BridgeConfiguration& config,
                           ParseContext context) {
    if (inForce(config, keyword::ChangeLfToCr))
        for (char& c : answer)
            if (c == '\n') c = '\r';
    context.record.clear();
    ParseResult result = readAnswer(answer, config, context);
    for (std::string& value : context.record.fields) dropNuls(value);
    for (auto& slot : context.record.insurance)
        for (std::string& value : slot) dropNuls(value);
    return result;
}

ParseContext threadParseContext() {
    ThreadState& state = threadState();
    return {state.record, state.debugDataDump,
            ParseContext::delimiterOf(state.session.recordDelimiter)};
}

}  // namespace trellybridge::formats
