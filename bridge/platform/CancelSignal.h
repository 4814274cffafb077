// A request's cancel: raised from any thread, and seen by the thread that runs the request
// as a descriptor its event loop watches, so that the loop wakes at once instead of
// looking at a flag on every tick.
#pragma once

#include <atomic>

namespace trellybridge::platform {

class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Any thread, any number of times.
    void raise() noexcept;
    bool raised() const noexcept { return raised_.load(); }
    // Lowered again, for the next request.
    void reset() noexcept;
    // Readable while raised; -1 when none could be made (the flag alone then tells).
    int descriptor() const { return descriptor_; }

private:
    int descriptor_ = -1;
    std::atomic<bool> raised_{false};
};

}  // namespace trellybridge::platform
