// MLLP, the framing HL7 engines speak over TCP: a message travels as one block, VT, the
// message (each segment ended by CR), then FS and CR. The keyword {MLLP} asks for it;
// without it the bytes on the wire stay as the vendors built for this system expect.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::mllp {

inline constexpr char kStartBlock = '\v';
inline constexpr char kEndBlock = '\x1c';

// The request as one block: whatever framing the request text carries (a leading VT,
// the trailer after its last segment) gives way to the block's own.
std::string block(std::string_view request);

// The message inside the first block of an answer: from after its VT to before its FS;
// the answer as it is where it has no VT, up to its end where it has no FS.
std::string_view content(std::string_view answer);

}  // namespace trellybridge::mllp
