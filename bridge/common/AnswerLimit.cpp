#include "common/AnswerLimit.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>

namespace trellybridge {
namespace {

const char* configuredLimit() {
    const char* configured = std::getenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
    return configured && *configured ? configured : nullptr;
}

std::optional<std::size_t> limitFrom(std::string_view text) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < kMinAnswerLimit ||
        value > kMaxAnswerLimit)
        return std::nullopt;
    return value;
}

}  // namespace

std::size_t maxAnswerBytes() {
    const char* configured = configuredLimit();
    return configured ? limitFrom(configured).value_or(kDefaultAnswerLimit) : kDefaultAnswerLimit;
}

std::string answerLimitProblem() {
    const char* configured = configuredLimit();
    if (!configured || limitFrom(configured)) return {};
    constexpr std::size_t kShown = 40;
    std::string shown(configured, std::min(kShown, std::string_view(configured).size()));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "TRELLYBRIDGE_MAX_ANSWER_BYTES must be a whole number of bytes from " +
           std::to_string(kMinAnswerLimit) + " to " + std::to_string(kMaxAnswerLimit) + ", not \"" +
           shown + "\"";
}

std::string answerForDisplay(std::string_view answer) {
    if (answer.size() <= kShownAnswerBytes) return std::string(answer);
    return std::string(answer.substr(0, kShownAnswerBytes)) +
           "\r\n[... cut: " + std::to_string(answer.size() - kShownAnswerBytes) +
           " more bytes not shown]";
}

std::string newestForDisplay(std::string_view text) {
    if (text.size() <= kShownAnswerBytes) return std::string(text);
    return "[... cut: " + std::to_string(text.size() - kShownAnswerBytes) +
           " earlier bytes not shown]\r\n" +
           std::string(text.substr(text.size() - kShownAnswerBytes));
}

}  // namespace trellybridge
