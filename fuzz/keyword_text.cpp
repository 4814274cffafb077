// The override keyword text, as every part of a request reads it.
#include "FuzzSupport.h"
#include "common/Keywords.h"
#include "common/Text.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzzing::prepare("HL7", "TCPIP");
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzzing::request().config.HTTPSSubjectCN = text;
    for (std::string_view word :
         {keyword::NoInsurance, keyword::UseIn1ForGuarantor, keyword::TcpForce,
          keyword::ChangeLfToCr, keyword::RelationshipCodes})
        if (inForce(fuzzing::request().config, word) != text::contains(text::upper(text), word))
            __builtin_trap();
    localIpKeyword(fuzzing::request().config);
    return 0;
}
