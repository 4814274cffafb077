// The system's text is Windows-1252 bytes; a toolkit draws Unicode. The tables map every
// byte to one character and back, so text shown and saved unedited keeps its bytes.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::ui {

std::string ansiToUtf8(std::string_view ansi);
// Characters Windows-1252 cannot hold become "?"; malformed UTF-8 does too.
std::string utf8ToAnsi(std::string_view utf8);
// Window text as it is drawn (UTF-8): CR LF, a lone CR and a lone LF break the line; any
// other byte below 0x20, and 0x7F, shows as \xHH as the command line shows it (an HL7
// answer's VT and FS would otherwise be drawn as boxes).
std::string shownWindowText(std::string_view ansi);

}  // namespace trellybridge::ui
