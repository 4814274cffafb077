#include "platform/ThreadContext.h"

#include <utility>

namespace trellybridge::platform {

ThreadContext& threadContext() {
    thread_local ThreadContext context;
    return context;
}

void resetThreadContext() {
    ThreadContext& context = threadContext();
    // Moved out before they go, so that one that looks up another while it goes finds the
    // new thread's.
    auto objects = std::move(context.objects);
    context.objects.clear();
    objects.clear();
    context.socketFailure = 0;
    context.socketErrno = 0;
    context.toolkit.reset();
    context.clock = nullptr;
}

}  // namespace trellybridge::platform
