// The calling thread's event loop: millisecond timers and descriptor watches, waited on
// with poll(2). Nothing spins: a wait sleeps until the next timer is due or a watched
// descriptor is ready. Under a virtual clock the loop jumps the clock to the next timer,
// after giving watched descriptors a short real moment to become ready (a peer on the
// other end of a pipe or terminal lives in real time).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace trellybridge::ui {

class EventLoop;

// A window timer: fires every `interval` ms while enabled. Changing the interval or
// enabling it restarts the countdown.
class Timer {
public:
    explicit Timer(std::function<void()> onTick = {});
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setOnTick(std::function<void()> onTick) { onTick_ = std::move(onTick); }
    void setInterval(int milliseconds);
    int interval() const { return interval_; }
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    // When the next tick is due, on the clock's tick count.
    std::int32_t dueAt() const { return dueAt_; }
    // Counts the interval from `startTick` instead of from now: the timer then keeps the
    // schedule it would have had had its last tick come at that moment.
    void restartFrom(std::int32_t startTick);

private:
    friend class EventLoop;
    void restart();
    std::function<void()> onTick_;
    int interval_ = 0;
    bool enabled_ = false;
    std::int32_t dueAt_ = 0;
};

enum class WatchEvents { Readable = 1, Writable = 2 };

class EventLoop {
public:
    static EventLoop& current();

    // Calls `onReady` whenever `fd` is readable; returns a handle for unwatch(). A
    // descriptor that hangs up or fails gets one last `onReady` (to take what is left)
    // and is then no longer watched, so the loop never spins on it; `onHangUp`, when
    // given, is told after that last call.
    int watch(int fd, std::function<void()> onReady, std::function<void()> onHangUp = {});
    bool watching(int handle) const;
    // Runs `work` on the loop's next turn, before it waits for anything.
    void post(std::function<void()> work);
    void unwatch(int handle);

    // Waits for the next event (at most `maxWaitMs`, or until the next timer when
    // negative) and dispatches what is ready. Returns false when there was nothing that
    // could ever wake the loop (no enabled timer, no watch, no bound).
    bool runOnce(int maxWaitMs = -1);
    // Dispatches what is ready now without waiting.
    void pump() { runOnce(0); }

    // What another loop (a toolkit's) must wait on to drive this one: the watched
    // descriptors, and the milliseconds to the next timer (-1 when none is enabled).
    std::vector<int> watchedDescriptors() const;
    int nextTimerWait() const { return millisecondsToNextTimer(); }

private:
    friend class Timer;
    std::int32_t now() const;
    int millisecondsToNextTimer() const;
    void fireDueTimers();

    struct Watch {
        int handle;
        int fd;
        std::function<void()> onReady;
        std::function<void()> onHangUp;
    };
    void dispatchReady(const Watch& watch, short events);
    std::vector<Timer*> timers_;
    std::vector<Watch> watches_;
    std::vector<std::function<void()>> posted_;
    int nextHandle_ = 1;
};

}  // namespace trellybridge::ui
