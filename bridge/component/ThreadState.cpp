#include "component/ThreadState.h"

#include <utility>

namespace trellybridge {

ThreadState& threadState() {
    thread_local ThreadState state;
    return state;
}

namespace {
thread_local platform::CancelSignal* callCancel = nullptr;
}  // namespace

CallCancel::CallCancel(platform::CancelSignal* signal) : outer_(callCancel) {
    callCancel = signal;
}

CallCancel::~CallCancel() {
    callCancel = outer_;
}

platform::CancelSignal* CallCancel::current() {
    return callCancel;
}

void runFromThread(ThreadState& state, const session::RequestOptions& options) {
    session::RequestOptions run = options;
    if (!run.cancel) run.cancel = CallCancel::current();
    RequestState& carried = state;
    session::Outcome outcome = session::runRequest(carried, run);
    carried = std::move(outcome.state);
    if (run.cancel) run.cancel->reset();
}

}  // namespace trellybridge
