// Setting texts from outside: the override keyword text, as every part of a request reads
// it, and character-code lists such as "13,10" (the end-of-request characters).
#include "FuzzSupport.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "formats/Codecs.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzzing::prepare("HL7", "TCPIP");
    std::string text(reinterpret_cast<const char*>(data), size);
    BridgeConfiguration& config = fuzzing::request().config;
    config.HTTPSSubjectCN = text;
    for (std::string_view word :
         {keyword::NoInsurance, keyword::UseIn1ForGuarantor, keyword::TcpForce,
          keyword::ChangeLfToCr, keyword::RelationshipCodes})
        if (inForce(config, word) != text::contains(text::upper(text), word)) __builtin_trap();
    localIpKeyword(config);

    ErrorNotices notices;
    std::string characters = request::parseEOFRequest(text, notices);
    if (characters.size() > 21 || characters.empty() != !notices.empty()) __builtin_trap();
    config.EOFRequest = text;
    platform::VirtualClock clock;
    request::buildRequest(config, clock);
    request::endOfRequest(config, notices);
    return 0;
}
