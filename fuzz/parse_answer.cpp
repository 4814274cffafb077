// An answer read by each of TRELLYBRIDGE_FUZZ_PARSERS, in the format TRELLYBRIDGE_FUZZ_FORMAT
// (or the one it looks like), then recorded and shown as a session records and shows it: a
// parser called directly, or the dispatcher for the whole path of a request.
#include "FuzzSupport.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string answer = fuzzing::answerOf(TRELLYBRIDGE_FUZZ_FORMAT, data, size);
    for (auto parser : {TRELLYBRIDGE_FUZZ_PARSERS}) {
        formats::ParseResult result = fuzzing::readWith(parser, answer);
        fuzzing::request().reasons().record(result.notices);
        if (result.next == formats::NextStep::ShowAnswerAndEnd)
            answerForDisplay(
                formats::trimmedForDisplay(answer, fuzzing::request().preparedSettings()));
    }
    return 0;
}
