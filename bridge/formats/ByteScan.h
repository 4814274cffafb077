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

// One bit per lane of eight mask lanes, lane 0 lowest: the high bit of each byte is
// gathered into the top byte by one multiplication (no two products overlap).
inline unsigned gather(Word lanes) {
    if constexpr (std::endian::native == std::endian::big) {
        Word swapped = 0;
        for (size_t i = 0; i < 8; ++i) swapped |= ((lanes >> (8 * i)) & 0xFF) << (56 - 8 * i);
        lanes = swapped;
    }
    return static_cast<unsigned>(((lanes & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56);
}

}  // namespace detail

// One bit per lane of the mask, lane 0 lowest: one instruction where the machine has SSE2.
inline unsigned bits(const Mask& mask) {
#if defined(__SSE2__)
    using Chars = char __attribute__((vector_size(16)));
    return static_cast<unsigned>(__builtin_ia32_pmovmskb128(reinterpret_cast<const Chars&>(mask)));
#else
    detail::Word halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return detail::gather(halves[0]) | detail::gather(halves[1]) << 8;
#endif
}

// Calls visit(position) for each position in text[from, to) that `matches` flags, in
// order, until visit returns false; returns one past the position where visiting
// stopped, or `to`. `matches(p)` flags positions p[0..15] in its Mask, reading
// p[0 .. 15 + Reach]; near the end it reads a copy padded with zero bytes.
template <size_t Reach = 0, typename Matches, typename Visit>
size_t forEach(std::string_view text, size_t from, size_t to, Matches matches, Visit visit) {
    for (size_t at = from; at < to; at += kBlockBytes) {
        unsigned lanes;
        size_t left = to - at;
        if (left >= kBlockBytes + Reach) {
            lanes = bits(matches(text.data() + at));
        } else {
            std::array<char, 2 * kBlockBytes + Reach> padded{};
            // A loop rather than a library call: the rest is a few characters.
            for (size_t i = 0; i < left; ++i) padded[i] = text[at + i];
            lanes = bits(matches(padded.data()));
            if (left < kBlockBytes) lanes &= (1u << left) - 1;
        }
        for (; lanes != 0; lanes &= lanes - 1) {
            size_t position = at + static_cast<size_t>(std::countr_zero(lanes));
            if (!visit(position)) return position + 1;
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
