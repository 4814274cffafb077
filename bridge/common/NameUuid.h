// Name-based UUIDs (version 5, SHA-1): the same name in the same namespace always gives
// the same UUID, so identifiers made from a record stay stable across runs and hosts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace trellybridge {

using UuidBytes = std::array<std::uint8_t, 16>;

// The lower-case 8-4-4-4-12 form of the version 5 UUID of `name` in `space`.
std::string nameUuid(const UuidBytes& space, std::string_view name);

}  // namespace trellybridge
