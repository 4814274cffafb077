// How much of a vendor answer is accepted and how much of it is shown. No real patient
// answer comes near the limit; a vendor that streams without end must not take the
// host's memory, disk or terminal with it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trellybridge {

inline constexpr std::size_t kDefaultAnswerLimit = std::size_t{1024} * 1024;
inline constexpr std::size_t kMinAnswerLimit = 1024;
inline constexpr std::size_t kMaxAnswerLimit = std::size_t{64} * 1024 * 1024;

// A number of bytes set in the environment, used when it is a whole number from `minimum`
// to `maximum`; anything else leaves `fallback` in force and is told, not guessed at.
struct ByteSetting {
    const char* variable;
    std::size_t minimum, maximum, fallback;
};
std::size_t byteSetting(const ByteSetting& setting);
// Why the variable is not used ("... must be a whole number of bytes from ... to ...,
// not ..."), or empty text when it is, or unset.
std::string byteSettingProblem(const ByteSetting& setting);

// The most bytes an answer (socket, serial line, results file, web body) may hold:
// TRELLYBRIDGE_MAX_ANSWER_BYTES when that is a whole number from kMinAnswerLimit to
// kMaxAnswerLimit, else kDefaultAnswerLimit.
std::size_t maxAnswerBytes();
// Why TRELLYBRIDGE_MAX_ANSWER_BYTES is not used, or empty text when it is, or unset.
std::string answerLimitProblem();

// The most of an answer that the debug dump and the failure display show.
inline constexpr std::size_t kShownAnswerBytes = 4096;

// The answer as it may be shown: whole when short, else its first kShownAnswerBytes
// followed by a line saying how much was cut.
std::string answerForDisplay(std::string_view answer);
// The same for a text whose newest part matters (the thread's error list, which only
// grows): its last kShownAnswerBytes after a line saying how much came before.
std::string newestForDisplay(std::string_view text);

// The most of an answer the DebugDataDump property keeps: an answer of the default limit
// whole, a larger one as its head and its tail, so that no copy of it grows with the limit.
inline constexpr std::size_t kDumpedAnswerBytes = kDefaultAnswerLimit;
std::string answerForDump(std::string_view answer);

}  // namespace trellybridge
