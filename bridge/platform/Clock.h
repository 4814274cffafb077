// The tick counter and local time of day, replaceable per thread for tests.
#pragma once

#include <cstdint>
#include <string>

namespace trellybridge::platform {

struct LocalTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping like a signed 32-bit counter.
    virtual std::int32_t tickCount() = 0;
    virtual LocalTime now() = 0;
    // A virtual clock does not run by itself: the event loop advances it instead of sleeping.
    virtual bool isVirtual() const { return false; }
    virtual void advance(int /*milliseconds*/) {}
};

class SystemClock : public Clock {
public:
    std::int32_t tickCount() override;
    LocalTime now() override;
};

// A clock that moves only when told to, for tests of tick-counting logic.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(LocalTime start = {2026, 1, 2, 3, 4, 5}) : start_(start) {}
    std::int32_t tickCount() override { return static_cast<std::int32_t>(elapsed_); }
    LocalTime now() override;
    bool isVirtual() const override { return true; }
    void advance(int milliseconds) override {
        elapsed_ += static_cast<std::uint32_t>(milliseconds);
    }

private:
    LocalTime start_;
    std::uint32_t elapsed_ = 0;
};

// The calling thread's clock: the system clock unless a test installed another.
Clock& clock();
// Installs `replacement` for the calling thread (null restores the system clock).
void setClock(Clock* replacement);

std::string formatDate(const LocalTime& time, const char* pattern);

}  // namespace trellybridge::platform
