// The state that every TrellyBridgeComm on one thread shares: what the last request left
// behind (its settings, record, bookkeeping and recorded errors, which the next request
// takes in) and GetPatientData's request sections. Only the component's entry points read
// it: a request gets its own copy and hands back its outcome, which the entry copies in.
// It lives as long as the thread; assigning a fresh ThreadState starts a thread afresh.
#pragma once

#include <string>

#include "common/RequestState.h"
#include "session/RequestRun.h"

namespace trellybridge {

struct ThreadState : RequestState {
    // GetPatientData: the user and bridge sections of its request, each with its own tags.
    std::string userInfoSection, bridgeParametersSection;
};

ThreadState& threadState();

// The cancel of the C interface's object that the call in progress came in on, in force
// while the call runs: the request the call starts ends when it is raised.
class CallCancel {
public:
    explicit CallCancel(platform::CancelSignal* signal);
    ~CallCancel();
    CallCancel(const CallCancel&) = delete;
    CallCancel& operator=(const CallCancel&) = delete;
    static platform::CancelSignal* current();

private:
    platform::CancelSignal* outer_;
};

// Runs one request from what the thread holds and copies what it ended with back into
// the thread, in one piece: the host then reads this request's result, and the next
// request starts from it. The call's cancel, if any, ends it, and is lowered for the next.
void runFromThread(ThreadState& state, const session::RequestOptions& options);

}  // namespace trellybridge
