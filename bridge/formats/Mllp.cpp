#include "formats/Mllp.h"

namespace trellybridge::mllp {

std::string block(std::string_view request) {
    size_t first = request.find_first_not_of(kStartBlock);
    size_t last = request.find_last_not_of("\x1c\r\n");
    std::string message;
    if (first != std::string_view::npos && last != std::string_view::npos && last >= first)
        message = request.substr(first, last + 1 - first);
    return kStartBlock + message + '\r' + kEndBlock + '\r';
}

std::string_view content(std::string_view answer) {
    size_t start = answer.find(kStartBlock);
    if (start != std::string_view::npos) answer.remove_prefix(start + 1);
    return answer.substr(0, answer.find(kEndBlock));
}

}  // namespace trellybridge::mllp
