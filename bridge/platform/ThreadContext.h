// What the platform layer keeps for each thread, in one object: the socket layer's last
// failure, the event loop, the toolkit and clock a host or test installed, and the
// generator of temporary file names. A thread that never used the layer has none of it.
#pragma once

#include <memory>
#include <random>

#include "platform/EventLoop.h"

namespace trellybridge::ui {
class Toolkit;
}

namespace trellybridge::platform {

class Clock;

struct ThreadContext {
    // First, so that it goes last: toolkits and windows own timers that leave it.
    ui::EventLoop eventLoop;
    // The last socket failure as a Windows Sockets number, and the errno behind it.
    int socketFailure = 0;
    int socketErrno = 0;
    std::shared_ptr<ui::Toolkit> toolkit;  // none: a HeadlessToolkit on first use
    Clock* clock = nullptr;                // none: the system clock
    std::mt19937 temporaryNames{std::random_device{}()};
};

// The calling thread's context.
ThreadContext& threadContext();
// Back to the state of a new thread: no socket failure, no installed toolkit or clock.
// The event loop stays: its timers and watches belong to objects that are still alive.
void resetThreadContext();

}  // namespace trellybridge::platform
