// Character-code lists such as "13,10": the end-of-request characters.
#include "FuzzSupport.h"
#include "formats/RequestBuilder.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzzing::prepare("HL7", "TCPIP");
    std::string codes(reinterpret_cast<const char*>(data), size);
    ErrorNotices notices;
    std::string characters = request::parseEOFRequest(codes, notices);
    if (characters.size() > 21 || characters.empty() != !notices.empty()) __builtin_trap();
    fuzzing::request().config.EOFRequest = codes;
    platform::VirtualClock clock;
    request::buildRequest(fuzzing::request().config, clock);
    request::endOfRequest(fuzzing::request().config, notices);
    return 0;
}
