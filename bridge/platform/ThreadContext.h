// What the platform layer keeps for each thread, in one object: the socket layer's last
// failure, the event loop, the toolkit and clock a host or test installed, the
// generator of temporary file names, and the higher layers' per-thread objects (the
// progress windows, what the thread's requests carry from one to the next). A thread that never
// used the layer has none of it.
#pragma once

#include <memory>
#include <random>
#include <typeindex>
#include <unordered_map>

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
    // Last, so that they go first, while the event loop their timers leave still stands.
    std::unordered_map<std::type_index, std::shared_ptr<void>> objects;
};

// The calling thread's context.
ThreadContext& threadContext();
// Back to the state of a new thread: no socket failure, no installed toolkit or clock, and
// none of the higher layers' objects (they go first, on the toolkit they were shown on).
// The event loop stays: its timers and watches may belong to objects still alive elsewhere.
void resetThreadContext();

// The calling thread's one object of type T, made on first use and kept until the
// thread ends.
template <typename T>
T& threadObject() {
    std::shared_ptr<void>& slot = threadContext().objects[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
}

}  // namespace trellybridge::platform
