// The system's text is Windows-1252 bytes; a toolkit draws Unicode. The tables map every
// byte to one character and back, so text shown and saved unedited keeps its bytes.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::ui {

std::string ansiToUtf8(std::string_view ansi);
// Characters Windows-1252 cannot hold become "?"; malformed UTF-8 does too.
std::string utf8ToAnsi(std::string_view utf8);

}  // namespace trellybridge::ui
