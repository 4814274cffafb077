// The XML answer parser, called directly.
#include "FuzzSupport.h"
#include "formats/Parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    trellybridge::fuzzing::Answer("XML", data, size)
        .readWith(trellybridge::formats::parseXMLStream);
    return 0;
}
