// The XML answer, through the answer dispatcher.
#include "FuzzSupport.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzzing::prepare("XML", "FOLDERS");
    fuzzing::varySettings(data[0]);
    fuzzing::dispatch(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    return 0;
}
