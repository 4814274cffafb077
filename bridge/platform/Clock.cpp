#include "platform/Clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/ThreadContext.h"

namespace trellybridge::platform {

std::int32_t SystemClock::tickCount() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

LocalTime SystemClock::now() {
    std::time_t seconds = std::time(nullptr);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

LocalTime VirtualClock::now() {
    std::tm parts{};
    parts.tm_year = start_.year - 1900;
    parts.tm_mon = start_.month - 1;
    parts.tm_mday = start_.day;
    parts.tm_hour = start_.hour;
    parts.tm_min = start_.minute;
    parts.tm_sec = start_.second + static_cast<int>(elapsed_ / 1000);
    parts.tm_isdst = -1;
    std::time_t seconds = std::mktime(&parts);
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

Clock& clock() {
    static SystemClock system;
    Clock* installed = threadContext().clock;
    return installed ? *installed : system;
}

void setClock(Clock* replacement) {
    threadContext().clock = replacement;
}

// Patterns use yyyy, mm (month), dd, HH, MM (minute), SS; other characters are copied.
std::string formatDate(const LocalTime& time, const char* pattern) {
    std::string out;
    std::string_view p(pattern);
    auto two = [&out](int value) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%02d", value % 100);
        out += buffer;
    };
    for (size_t i = 0; i < p.size();) {
        if (p.substr(i, 4) == "yyyy") {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "%04d", time.year % 10000);
            out += buffer;
            i += 4;
        } else if (p.substr(i, 2) == "mm") {
            two(time.month), i += 2;
        } else if (p.substr(i, 2) == "dd") {
            two(time.day), i += 2;
        } else if (p.substr(i, 2) == "HH") {
            two(time.hour), i += 2;
        } else if (p.substr(i, 2) == "MM") {
            two(time.minute), i += 2;
        } else if (p.substr(i, 2) == "SS") {
            two(time.second), i += 2;
        } else {
            out += p[i++];
        }
    }
    return out;
}

}  // namespace trellybridge::platform
