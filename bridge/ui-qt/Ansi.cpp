#include "ui-qt/Ansi.h"

#include <array>
#include <cstdint>

namespace trellybridge::ui {
namespace {

// 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined map to the C1 controls of
// the same number, as Windows itself converts them, so they survive the round trip.
constexpr std::array<char32_t, 32> kHighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t toCodePoint(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighTable[byte - 0x80] : byte;
}

char fromCodePoint(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighTable.size(); ++i)
        if (kHighTable[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string ansiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char byte : ansi) appendUtf8(out, toCodePoint(static_cast<unsigned char>(byte)));
    return out;
}

std::string utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || i + length > utf8.size()) {
            out += '?';
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        bool wellFormed = true;
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            wellFormed = wellFormed && (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        out += wellFormed ? fromCodePoint(c) : '?';
        i += wellFormed ? length : 1;
    }
    return out;
}

std::string shownWindowText(std::string_view ansi) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(ansi.size());
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(ansi[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
            shown += '\n';
        } else if (c < 0x20 || c == 0x7F) {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0x0F];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return ansiToUtf8(shown);
}

}  // namespace trellybridge::ui
