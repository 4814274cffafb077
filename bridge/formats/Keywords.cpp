#include "formats/Keywords.h"

#include "common/BridgeConfiguration.h"
#include "common/Text.h"

namespace trellybridge {

bool inForce(const BridgeConfiguration& config, std::string_view keyword) {
    return text::contains(config.HTTPSSubjectCN.upperText(), keyword);
}

std::optional<std::string> localIpKeyword(const BridgeConfiguration& config) {
    constexpr std::string_view kOpen = "{LOCAL IP:";
    std::string upper = config.HTTPSSubjectCN.upperText();
    size_t start = upper.find(kOpen);
    if (start == std::string::npos) return std::nullopt;
    start += kOpen.size();
    size_t end = upper.find('}', start);
    if (end == std::string::npos) return std::nullopt;
    return text::trimSpaces(config.HTTPSSubjectCN.toText().substr(start, end - start));
}

}  // namespace trellybridge
