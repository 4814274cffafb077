#include "common/AnswerLimit.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>

namespace trellybridge {
namespace {

constexpr ByteSetting kAnswerLimit{"TRELLYBRIDGE_MAX_ANSWER_BYTES", kMinAnswerLimit,
                                   kMaxAnswerLimit, kDefaultAnswerLimit};

const char* configured(const ByteSetting& setting) {
    const char* text = std::getenv(setting.variable);
    return text && *text ? text : nullptr;
}

std::optional<std::size_t> valueOf(const ByteSetting& setting, std::string_view text) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < setting.minimum ||
        value > setting.maximum)
        return std::nullopt;
    return value;
}

}  // namespace

std::size_t byteSetting(const ByteSetting& setting) {
    const char* text = configured(setting);
    return text ? valueOf(setting, text).value_or(setting.fallback) : setting.fallback;
}

std::string byteSettingProblem(const ByteSetting& setting) {
    const char* text = configured(setting);
    if (!text || valueOf(setting, text)) return {};
    constexpr std::size_t kShown = 40;
    std::string shown(text, std::min(kShown, std::string_view(text).size()));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return std::string(setting.variable) + " must be a whole number of bytes from " +
           std::to_string(setting.minimum) + " to " + std::to_string(setting.maximum) + ", not \"" +
           shown + "\"";
}

std::size_t maxAnswerBytes() {
    return byteSetting(kAnswerLimit);
}

std::string answerLimitProblem() {
    return byteSettingProblem(kAnswerLimit);
}

std::string answerForDump(std::string_view answer) {
    if (answer.size() <= kDumpedAnswerBytes) return std::string(answer);
    constexpr std::size_t kTail = kDumpedAnswerBytes / 4, kHead = kDumpedAnswerBytes - kTail;
    return std::string(answer.substr(0, kHead)) +
           "\r\n[... cut: " + std::to_string(answer.size() - kHead - kTail) +
           " bytes not kept ...]\r\n" + std::string(answer.substr(answer.size() - kTail));
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
