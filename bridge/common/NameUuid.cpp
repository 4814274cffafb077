#include "common/NameUuid.h"

#include <cstddef>

namespace trellybridge {
namespace {

std::uint32_t rotate(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

// SHA-1 (FIPS 180-4) of a message held whole in memory: names are short.
std::array<std::uint8_t, 20> sha1(std::string_view message) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string padded(message);
    padded += static_cast<char>(0x80);
    while (padded.size() % 64 != 56) padded += '\0';
    std::uint64_t bitLength = static_cast<std::uint64_t>(message.size()) * 8;
    for (int shift = 56; shift >= 0; shift -= 8)
        padded += static_cast<char>((bitLength >> shift) & 0xFF);

    for (std::size_t block = 0; block < padded.size(); block += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            w[i] = 0;
            for (int b = 0; b < 4; ++b)
                w[i] = (w[i] << 8) | static_cast<std::uint8_t>(
                                         padded[block + static_cast<std::size_t>(4 * i + b)]);
        }
        for (int i = 16; i < 80; ++i) w[i] = rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d), k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d, k = 0xCA62C1D6;
            }
            std::uint32_t next = rotate(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rotate(b, 30), b = a, a = next;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> digest{};
    for (std::size_t i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace

std::string nameUuid(const UuidBytes& space, std::string_view name) {
    std::string message(space.begin(), space.end());
    message.append(name);
    std::array<std::uint8_t, 20> digest = sha1(message);
    digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);  // version 5
    digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 0x0F];
    }
    return out;
}

}  // namespace trellybridge
