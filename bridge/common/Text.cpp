#include "common/Text.h"

#include <algorithm>
#include <cctype>

namespace trellybridge::text {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

size_t findUpperCased(std::string_view text, std::string_view upperPart) {
    // Only lower-case letters and bytes beyond ASCII are the locale's to map: any other
    // ASCII character is its own upper case, compared without the library call.
    auto upperEquals = [](char a, char b) {
        auto c = static_cast<unsigned char>(a);
        if (c < 0x80 && (c < 'a' || c > 'z')) return c == static_cast<unsigned char>(b);
        return std::toupper(c) == static_cast<unsigned char>(b);
    };
    constexpr size_t npos = std::string_view::npos;
    if (upperPart.empty()) return 0;
    if (upperPart.size() > text.size()) return npos;
    // A first character that is no letter is matched by itself alone (case maps letters
    // to letters): other places are passed over, in a long text by the library's search.
    auto first = static_cast<unsigned char>(upperPart[0]);
    bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first >= 0x80;
    bool jump = !letter && text.size() > 32;
    for (size_t at = 0; at + upperPart.size() <= text.size(); ++at) {
        if (jump) {
            at = text.find(upperPart[0], at);
            if (at == npos || at + upperPart.size() > text.size()) return npos;
        } else if (!letter && text[at] != upperPart[0]) {
            continue;
        }
        size_t i = 0;
        while (i < upperPart.size() && upperEquals(text[at + i], upperPart[i])) ++i;
        if (i == upperPart.size()) return at;
    }
    return npos;
}

bool containsUpperCased(std::string_view text, std::string_view upperPart) {
    if (upperPart.empty()) return !text.empty();  // as a search for nothing finds
    return findUpperCased(text, upperPart) != std::string_view::npos;
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    // One pass from left to right; inserted text is never searched again, so a
    // replacement that holds the search text (a patient identifier "x[PID]") cannot make
    // the replacing go on for ever.
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string_view::npos;
         start = found + from.size()) {
        out.append(text.substr(start, found - start));
        out.append(to);
    }
    out.append(text.substr(start));
    return out;
}

std::string windows1252ToUtf8(std::string_view text) {
    static const char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        char32_t code = c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace trellybridge::text
