#include "component/ThreadState.h"

#include "component/LastRequest.h"

#include <utility>

#include "platform/ThreadContext.h"

namespace trellybridge {

ThreadState& threadState() {
    return platform::threadObject<ThreadState>();
}

RequestState& lastRequest() {
    return threadState();
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

namespace {
thread_local ThreadRequest* currentRequest = nullptr;

// Runs `state` with the call's cancel, unless the options name one, and lowers it after.
void runWithCallCancel(RequestState& state, const session::RequestOptions& options) {
    session::RequestOptions run = options;
    if (!run.cancel) run.cancel = CallCancel::current();
    session::Outcome outcome = session::runRequest(std::move(state), run);
    state = std::move(outcome.state);
    if (run.cancel) run.cancel->reset();
}
}  // namespace

ThreadRequest::ThreadRequest() : state_(threadState()), outer_(currentRequest) {
    currentRequest = this;
}

ThreadRequest::~ThreadRequest() {
    currentRequest = outer_;
    static_cast<RequestState&>(threadState()) = std::move(state_);
}

void ThreadRequest::run(const session::RequestOptions& options) {
    runWithCallCancel(state_, options);
}

ThreadRequest* ThreadRequest::current() {
    return currentRequest;
}

void runFromThread(ThreadState& state, const session::RequestOptions& options) {
    runWithCallCancel(state, options);
}

}  // namespace trellybridge
