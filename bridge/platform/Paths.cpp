#include "platform/Paths.h"

#include <algorithm>
#include <cctype>

#include "platform/FileSystem.h"

namespace trellybridge::fs {
namespace {

std::string trimSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::string fileNameOf(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string folderPartOf(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool folderContains(std::string_view folder, std::string_view name) {
    std::string path = trimSpaces(folder);
    if (path.empty() || path.back() != '\\') path += '\\';
    for (const std::string& entry : listFolder(path))
        if (equalsIgnoringCase(entry, name)) return true;
    return false;
}

}  // namespace trellybridge::fs
