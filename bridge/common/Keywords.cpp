#include "common/Keywords.h"

#include "common/BridgeConfiguration.h"
#include "common/Text.h"

namespace trellybridge {

bool anyKeyword(const BridgeConfiguration& config) {
    const Variant& field = config.HTTPSSubjectCN;
    return field.kind() != Variant::Kind::Text ||
           field.textView().find('{') != std::string_view::npos;
}

bool inForce(const BridgeConfiguration& config, std::string_view keyword) {
    // Compared as the upper-cased text would be, without building that text each time.
    const Variant& field = config.HTTPSSubjectCN;
    if (field.kind() != Variant::Kind::Text) return text::contains(field.upperText(), keyword);
    if (!anyKeyword(config)) return false;
    return text::containsUpperCased(field.textView(), keyword);
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
