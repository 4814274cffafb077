// Any answer through the dispatcher, read in the format it looks like: the whole path of a
// request, down to the display of an answer that held no patient.
#include "FuzzSupport.h"

using namespace trellybridge;

namespace {

const char* formatOf(std::string_view answer) {
    if (answer.find("PID|") != std::string_view::npos) return "HL7";
    if (answer.find('<') != std::string_view::npos) return "XML";
    return formats::standardFromHeader(answer) ? "STANDARD" : "SCAN";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size > 0 ? size - 1 : 0);
    fuzzing::Answer answer(formatOf(raw), data, size);
    const BridgeConfiguration& config = threadState().config;
    formats::ParseResult result = answer.readWith(formats::dispatchAnswer);
    threadState().reasons().record(result.notices);
    if (result.next == formats::NextStep::ShowAnswerAndEnd)
        answerForDisplay(formats::trimmedForDisplay(answer.text(), config));
    return 0;
}
