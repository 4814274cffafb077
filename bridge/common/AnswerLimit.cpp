#include "common/AnswerLimit.h"

#include <charconv>
#include <cstdlib>

namespace trellybridge {

std::size_t maxAnswerBytes() {
    constexpr std::size_t kDefault = std::size_t{1024} * 1024;
    const char* configured = std::getenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
    if (!configured) return kDefault;
    std::string_view text(configured);
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0) return kDefault;
    return value;
}

std::string answerForDisplay(std::string_view answer) {
    if (answer.size() <= kShownAnswerBytes) return std::string(answer);
    return std::string(answer.substr(0, kShownAnswerBytes)) +
           "\r\n[... cut: " + std::to_string(answer.size() - kShownAnswerBytes) +
           " more bytes not shown]";
}

}  // namespace trellybridge
