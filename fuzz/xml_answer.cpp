// The XML answer, through the answer dispatcher.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    return trellybridge::fuzzing::readAnswer("XML", data, size);
}
