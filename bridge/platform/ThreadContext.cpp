#include "platform/ThreadContext.h"

namespace trellybridge::platform {

ThreadContext& threadContext() {
    thread_local ThreadContext context;
    return context;
}

void resetThreadContext() {
    ThreadContext& context = threadContext();
    context.socketFailure = 0;
    context.socketErrno = 0;
    context.toolkit.reset();
    context.clock = nullptr;
}

}  // namespace trellybridge::platform
