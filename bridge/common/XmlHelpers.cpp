#include "common/XmlHelpers.h"

#include "common/Text.h"
#include "platform/Toolkit.h"

namespace trellybridge::xml {
namespace {

// The first "<NAME" at or after `from` (0-based) followed by a blank, "/" or ">".
size_t findOpening(std::string_view upperText, std::string_view opening, size_t from) {
    for (size_t at = upperText.find(opening, from); at != std::string_view::npos;
         at = upperText.find(opening, at + 1)) {
        size_t next = at + opening.size();
        if (next < upperText.size() &&
            (upperText[next] == ' ' || upperText[next] == '/' || upperText[next] == '>'))
            return at;
    }
    return std::string_view::npos;
}

// Walks the elements named `name` in order, calling `visit(start, length)` for each, until
// it returns false or none is left. Elements end at their own closing text. Each search
// goes on from where the previous one stopped, so the walk reads the text once.
template <typename Visit>
void walkElements(std::string_view upperText, std::string_view name, Visit visit) {
    std::string upperName = text::upper(name);
    std::string opening = "<" + upperName;
    std::string closingTag = "</" + upperName + ">";
    bool hasClosingTag = upperText.find(closingTag) != std::string_view::npos;
    std::string_view closing =
        hasClosingTag ? std::string_view(closingTag) : std::string_view("/>");
    for (size_t position = 0;;) {
        size_t start = findOpening(upperText, opening, position);
        if (start == std::string_view::npos) return;
        // The element's own closing text: searched from its opening, so that the "/>" of
        // an earlier self-closing element is never taken for it.
        size_t end = upperText.find(closing, start + 1);
        if (end == std::string_view::npos) return;
        if (!visit(start, end - start + closing.size())) return;
        position = end + 1;
    }
}

}  // namespace

Document::Document(std::string_view text) : text_(text), upper_(text::upper(text)) {}

std::vector<Searchable> getXMLElements(Searchable within, std::string_view name) {
    std::vector<Searchable> elements;
    walkElements(within.upper, name, [&](size_t start, size_t length) {
        elements.push_back({within.text.substr(start, length), within.upper.substr(start, length)});
        return true;
    });
    return elements;
}

std::string getXMLElement(std::string_view text, std::string_view name, long occurrence) {
    if (occurrence < 1) return {};
    std::string element;
    long seen = 0;
    std::string upperText = text::upper(text);
    walkElements(upperText, name, [&](size_t start, size_t length) {
        if (++seen < occurrence) return true;
        element = std::string(text.substr(start, length));
        return false;
    });
    return element;
}

long countXMLElements(std::string_view text, std::string_view name) {
    long count = 0;
    walkElements(text::upper(text), name, [&count](size_t, size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string getXMLAttribute(Searchable element, std::string_view name) {
    size_t at = element.upper.find(text::upper(name) + "=");
    if (at == std::string_view::npos) return {};
    size_t open = element.text.find('"', at);
    if (open == std::string_view::npos) return {};
    size_t close = element.text.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(element.text.substr(open + 1, close - open - 1));
}

std::string getXMLAttribute(std::string_view element, std::string_view name) {
    std::string upperElement = text::upper(element);
    return getXMLAttribute(Searchable{element, upperElement}, name);
}

std::string getXMLTagValue(std::string_view text, std::string_view tag, bool includeTags) {
    if (tag.empty() || text.empty()) return {};
    // Found in the text as its upper-cased copy would find them: a request of a few
    // kilobytes is searched several times, and copying it each time was most of the cost.
    std::string upperTag = text::upper(tag);
    std::string opening = std::string(1, '<').append(upperTag).append(">");
    std::string closing = std::string("</").append(upperTag).append(">");
    size_t open = text::findUpperCased(text, opening), close = text::findUpperCased(text, closing);
    if (open == std::string::npos || close == std::string::npos) return {};
    size_t from = includeTags ? open : open + opening.size();
    size_t to = includeTags ? close + closing.size() : close;
    if (to < from) {
        ui::toolkit().messageBox("Invalid procedure call or argument: </" + std::string(tag) +
                                     "> comes before <" + std::string(tag) + ">",
                                 "", ui::Icon::Critical);
        return {};
    }
    return std::string(text.substr(from, to - from));
}

}  // namespace trellybridge::xml
