#include "component/ThreadState.h"

#include <utility>

namespace trellybridge {

ThreadState& threadState() {
    thread_local ThreadState state;
    return state;
}

void runFromThread(ThreadState& state, const session::RequestOptions& options) {
    RequestState& carried = state;
    session::Outcome outcome = session::runRequest(carried, options);
    carried = std::move(outcome.state);
}

}  // namespace trellybridge
