#include "common/ThreadState.h"

namespace trellybridge {

ThreadState& threadState() {
    thread_local ThreadState state;
    return state;
}

}  // namespace trellybridge
