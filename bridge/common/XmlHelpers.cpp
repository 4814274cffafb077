#include "common/XmlHelpers.h"

#include "common/Text.h"

namespace trellybridge::xml {
namespace {

// The first "<NAME" at or after `from` (0-based) followed by a blank, "/" or ">".
size_t findOpening(const std::string& upperText, const std::string& upperName, size_t from) {
    std::string opening = "<" + upperName;
    for (size_t at = upperText.find(opening, from); at != std::string::npos;
         at = upperText.find(opening, at + 1)) {
        size_t next = at + opening.size();
        if (next < upperText.size() &&
            (upperText[next] == ' ' || upperText[next] == '/' || upperText[next] == '>'))
            return at;
    }
    return std::string::npos;
}

}  // namespace

std::string getXMLElement(std::string_view text, std::string_view name, long occurrence) {
    std::string upperText = text::upper(text);
    std::string upperName = text::upper(name);
    std::string closingTag = "</" + upperName + ">";
    bool hasClosingTag = upperText.find(closingTag) != std::string::npos;
    std::string_view closing =
        hasClosingTag ? std::string_view(closingTag) : std::string_view("/>");

    size_t position = 0;  // 0-based search position
    size_t start = std::string::npos, end = std::string::npos;
    for (long i = 1; i <= occurrence; ++i) {
        start = findOpening(upperText, upperName, position);
        if (start == std::string::npos) return {};
        // The element's own closing text: searched from its opening, so that the "/>" of
        // an earlier self-closing element is never taken for it.
        end = upperText.find(closing, start + 1);
        if (end == std::string::npos) return {};
        position = end + 1;
    }
    if (start == std::string::npos || end == std::string::npos || end < start) return {};
    return std::string(text.substr(start, end - start + closing.size()));
}

long countXMLElements(std::string_view text, std::string_view name) {
    long count = 0;
    // Each element found moves the search past its closing text, so this ends.
    while (!getXMLElement(text, name, count + 1).empty()) ++count;
    return count;
}

std::string getXMLAttribute(std::string_view element, std::string_view name) {
    std::string upperElement = text::upper(element);
    size_t at = upperElement.find(text::upper(name) + "=");
    if (at == std::string::npos) return {};
    size_t open = element.find('"', at);
    if (open == std::string_view::npos) return {};
    size_t close = element.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(element.substr(open + 1, close - open - 1));
}

std::string getXMLTagValue(std::string_view text, std::string_view tag, bool includeTags) {
    if (tag.empty() || text.empty()) return {};
    std::string upperText = text::upper(text);
    std::string opening = "<" + text::upper(tag) + ">", closing = "</" + text::upper(tag) + ">";
    size_t open = upperText.find(opening), close = upperText.find(closing);
    if (open == std::string::npos || close == std::string::npos) return {};
    size_t from = includeTags ? open : open + opening.size();
    size_t to = includeTags ? close + closing.size() : close;
    if (to < from) return {};
    return std::string(text.substr(from, to - from));
}

}  // namespace trellybridge::xml
