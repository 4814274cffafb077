// The positional primitives that read values straight out of an HL7 message. Each
// search returns the wanted value wrapped in the delimiter before it and the character
// that ends it ("|12345|"); stripDelimiters unwraps it. Positions are 1-based in the
// comments; the results are views into the text searched.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trellybridge {
struct BridgeConfiguration;
}

namespace trellybridge::hl7 {

// The n-th segment holding `tag` (anywhere in the text), through its carriage return.
std::string_view getHL7Record(std::string_view stream, std::string_view tag, long occurrence);
// The `level`-th field of a segment.
std::string_view getHL7Field(std::string_view stream, std::string_view tag, long level);
// The `level`-th component (or repetition) of a wrapped field; without a further
// separator it ends at `terminator`, the segment end (see componentTerminator).
std::string_view getHL7SubField(std::string_view stream, std::string_view outerTag,
                                std::string_view tag, long level, char terminator);
// Does the text (its last character aside) hold at least level - 1 `tag` characters?
bool verifySubFields(std::string_view stream, std::string_view tag, long level);
// The one character whose code the text gives; throws std::invalid_argument otherwise.
std::string getASCII(std::string_view code);
// The segment end of component lookups: the character whose code EOLCharacter gives.
// When the setting is no single code every component lookup fails, and a failed lookup
// ends the exchange. The throwing form says why (std::invalid_argument).
char requireComponentTerminator(const BridgeConfiguration& config);
std::optional<char> componentTerminator(const BridgeConfiguration& config);

// The value without its wrapping characters; without double quotes when `removeQuotes`
// ({REMOVE QUOTES} in force).
std::string stripDelimiters(std::string_view wrapped, bool removeQuotes = false);
// Occurrences of the pattern, overlapping ones included.
long countOccurrences(std::string_view text, std::string_view pattern);
// A two-character state code, else empty text.
std::string filterStateCode(std::string_view state);

}  // namespace trellybridge::hl7
