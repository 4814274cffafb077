// How much of a vendor answer is accepted and how much of it is shown. No real patient
// answer comes near the limit; a vendor that streams without end must not take the
// host's memory, disk or terminal with it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trellybridge {

// The most bytes an answer (socket, results file, web body) may hold: 1 MiB, or
// TRELLYBRIDGE_MAX_ANSWER_BYTES when that is a positive whole number.
std::size_t maxAnswerBytes();

// The most of an answer that the debug dump and the failure display show.
inline constexpr std::size_t kShownAnswerBytes = 4096;

// The answer as it may be shown: whole when short, else its first kShownAnswerBytes
// followed by a line saying how much was cut.
std::string answerForDisplay(std::string_view answer);

}  // namespace trellybridge
