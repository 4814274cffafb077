// Parsers not yet built fail outright.
#include "formats/Parsers.h"

namespace trellybridge::formats {
bool parseStandardStream(std::string_view) {
    return false;
}
bool parseStandardFixedStream(std::string_view) {
    return false;
}
bool parseScanStream(std::string_view) {
    return false;
}
bool parseXMLStream(std::string_view) {
    return false;
}
}  // namespace trellybridge::formats
