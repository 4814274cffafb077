// The parts of a Windows-style or POSIX path, and what a folder holds, for the
// file-exchange bridges.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge::fs {

// The characters after the last "\" (or "/", for POSIX paths); the whole text when
// there is none.
std::string fileNameOf(std::string_view path);
// The characters up to and including the last "\" or "/" (empty when there is none).
std::string folderPartOf(std::string_view path);
// True when the folder has an entry (file or folder) named `name`, ignoring case.
bool folderContains(std::string_view folder, std::string_view name);

}  // namespace trellybridge::fs
