// Text helpers over one-byte-per-character strings.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::text {

std::string upper(std::string_view text);
std::string lower(std::string_view text);
// Removes leading and trailing spaces (only spaces, as Basic's Trim does).
std::string trimSpaces(std::string_view text);
bool contains(std::string_view text, std::string_view part);
// Would the upper-cased text contain `upperPart` (itself upper case)?
bool containsUpperCased(std::string_view text, std::string_view upperPart);
// Where upper(text).find(upperPart) would find it, without making the upper-cased copy.
size_t findUpperCased(std::string_view text, std::string_view upperPart);
// Empty, or spaces only: what trimSpaces leaves empty.
bool isBlank(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// Replaces every occurrence of `from`, left to right in one pass; the inserted text is
// not searched again.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);
// Vendor text is Windows-1252; JSON and most hosts want UTF-8. The five codes that
// Windows-1252 leaves unassigned become U+FFFD.
std::string windows1252ToUtf8(std::string_view text);

}  // namespace trellybridge::text
