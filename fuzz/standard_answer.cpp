// The STANDARD answer, both layouts, through the answer dispatcher.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    return trellybridge::fuzzing::readAnswer("STANDARD", data, size);
}
