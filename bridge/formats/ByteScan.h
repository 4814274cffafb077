// Finding single characters in a text eight bytes at a time: an answer is mostly
// short values between separators, so a byte-per-step loop spends its time on branches
// and a library search on its call. Portable: plain 64-bit arithmetic, any byte order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace trellybridge::hl7::scan {

using Word = std::uint64_t;
constexpr size_t kWordBytes = sizeof(Word);

// Eight characters, the first in the lowest byte.
inline Word load(const char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        Word swapped = 0;
        for (size_t i = 0; i < kWordBytes; ++i) swapped |= ((w >> (8 * i)) & 0xFF) << (56 - 8 * i);
        w = swapped;
    }
    return w;
}

// The character in every byte of a word.
constexpr Word repeated(char c) {
    return 0x0101010101010101ULL * static_cast<unsigned char>(c);
}

// The high bit set in each byte of `word` equal to the byte of `pattern` (a repeated
// character), no other bit set.
inline Word equalRepeated(Word word, Word pattern) {
    constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    Word x = word ^ pattern;
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}
inline Word equal(Word word, char c) {
    return equalRepeated(word, repeated(c));
}

// Calls visit(position) for each position in text[from, to) whose character `matches`
// flags, in order, until visit returns false. `matches(word)` flags bytes of a loaded
// word as equal() does. Returns one past the position where visiting stopped, or `to`.
template <typename Matches, typename Visit>
size_t forEach(std::string_view text, size_t from, size_t to, Matches matches, Visit visit) {
    size_t at = from;
    for (; at + kWordBytes <= to; at += kWordBytes) {
        for (Word found = matches(load(text.data() + at)); found != 0; found &= found - 1) {
            size_t position = at + static_cast<size_t>(std::countr_zero(found)) / 8;
            if (!visit(position)) return position + 1;
        }
    }
    for (; at < to; ++at) {
        Word one = static_cast<unsigned char>(text[at]);
        if (matches(one) & 0x80 && !visit(at)) return at + 1;
    }
    return to;
}

}  // namespace trellybridge::hl7::scan
