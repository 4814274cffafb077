// The SCAN answer parser, called directly.
#include "FuzzSupport.h"
#include "formats/Parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    trellybridge::fuzzing::Answer("SCAN", data, size)
        .readWith(trellybridge::formats::parseScanStream);
    return 0;
}
