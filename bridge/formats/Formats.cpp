#include "formats/Formats.h"

#include <array>

namespace trellybridge::formats {
namespace {

// HL7 ends its messages with FS and its segments with CR; the others end with "~" and
// CR LF.
constexpr std::array kFormats = {
    // clang-format off
    Format{FormatKind::Standard, "STANDARD", readStandardAnswer, request::buildStandardRequest,
           "ACCT=", "126", "13,10", "13,10", "13,10"},
    Format{FormatKind::Hl7, "HL7", readHl7Answer, request::buildHl7Request,
           request::kDynamicTag, "28", "13", "13,28", "13,28"},
    Format{FormatKind::Scan, "SCAN", readScanAnswer, request::buildScanRequest,
           request::kDynamicTag, "126", "13,10", "13,10", ""},
    Format{FormatKind::Xml, "XML", readXmlAnswer, request::buildXmlRequest,
           request::kDynamicTag, "126", "13,10", "13,10", ""},
    // clang-format on
};

}  // namespace

std::span<const Format> formats() {
    return kFormats;
}

const Format* formatNamed(std::string_view name) {
    for (const Format& format : kFormats)
        if (format.name == name) return &format;
    return nullptr;
}

const Format* formatOf(FormatKind kind) {
    for (const Format& format : kFormats)
        if (format.kind == kind) return &format;
    return nullptr;
}

}  // namespace trellybridge::formats
