// Finding characters in a text sixteen at a time: an answer is mostly short values
// between separators, so a byte-per-step loop spends its time on branches and a library
// search on its call. The compiler's vector type keeps this portable: SIMD instructions
// where the machine has them, plain words where it has not.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace trellybridge::hl7::scan {

// Sixteen characters, and the result of comparing them: all bits set where equal.
using Block = unsigned char __attribute__((vector_size(16)));
using Mask = signed char __attribute__((vector_size(16)));
constexpr size_t kBlockBytes = sizeof(Block);

inline Block load(const char* p) {
    Block block;
    std::memcpy(&block, p, sizeof block);
    return block;
}
inline Block repeated(char c) {
    return Block{} + static_cast<unsigned char>(c);
}
inline Mask equal(Block block, Block pattern) {
    return block == pattern;
}

namespace detail {

using Word = std::uint64_t;

// Eight lanes of a mask, the first in the lowest byte, only the high bit of each kept.
inline Word lanes(const Mask& mask, size_t half) {
    Word word;
    std::memcpy(&word, reinterpret_cast<const char*>(&mask) + 8 * half, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        Word swapped = 0;
        for (size_t i = 0; i < 8; ++i) swapped |= ((word >> (8 * i)) & 0xFF) << (56 - 8 * i);
        word = swapped;
    }
    return word & 0x8080808080808080ULL;
}

}  // namespace detail

// Calls visit(position) for each position in text[from, to) that `matches` flags, in
// order, until visit returns false; returns one past the position where visiting
// stopped, or `to`. `matches(p)` flags positions p[0..15] in its Mask, reading
// p[0 .. 15 + Reach]; near the end it reads a copy padded with zero bytes.
template <size_t Reach = 0, typename Matches, typename Visit>
size_t forEach(std::string_view text, size_t from, size_t to, Matches matches, Visit visit) {
    for (size_t at = from; at < to; at += kBlockBytes) {
        Mask found;
        size_t left = to - at;
        if (left >= kBlockBytes + Reach) {
            found = matches(text.data() + at);
        } else {
            std::array<char, 2 * kBlockBytes + Reach> padded{};
            // A loop rather than a library call: the rest is a few characters.
            for (size_t i = 0; i < left; ++i) padded[i] = text[at + i];
            found = matches(padded.data());
            for (size_t lane = left; lane < kBlockBytes; ++lane) found[lane] = 0;
        }
        for (size_t half = 0; half < 2; ++half) {
            for (detail::Word bits = detail::lanes(found, half); bits != 0; bits &= bits - 1) {
                size_t position = at + 8 * half + static_cast<size_t>(std::countr_zero(bits)) / 8;
                if (!visit(position)) return position + 1;
            }
        }
    }
    return to;
}

// forEach over the positions of one character.
template <typename Visit>
size_t forEachOf(std::string_view text, size_t from, size_t to, char c, Visit visit) {
    Block pattern = repeated(c);
    return forEach(
        text, from, to, [pattern](const char* p) { return equal(load(p), pattern); }, visit);
}

}  // namespace trellybridge::hl7::scan
