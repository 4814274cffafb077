// The STANDARD answer parsers, delimited and fixed-column, called directly.
#include "FuzzSupport.h"
#include "formats/Parsers.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzzing::Answer answer("STANDARD", data, size);
    answer.readWith(formats::parseStandardStream);
    answer.readWith(formats::parseStandardFixedStream);
    return 0;
}
