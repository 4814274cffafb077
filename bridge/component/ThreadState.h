// The state that every TrellyBridgeComm on one thread shares: what the last request left
// behind (its settings, record, bookkeeping and recorded errors, which the next request
// takes in) and GetPatientData's request sections. Only the component's entry points read
// it: a request gets its own copy and hands back its outcome, which the entry copies in.
// It lives as long as the thread, in the thread's context (platform/ThreadContext.h), and
// goes with it when that context starts afresh.
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

// One request of an entry, starting from what the thread holds: the entry prepares and
// runs it, and however the entry ends (a return, an exception, a host that ended the
// request from a callback), what the request ended with becomes the thread's once, as the
// request goes out of scope.
class ThreadRequest {
public:
    ThreadRequest();
    ~ThreadRequest();
    ThreadRequest(const ThreadRequest&) = delete;
    ThreadRequest& operator=(const ThreadRequest&) = delete;

    RequestState& state() { return state_; }
    // Runs it; the call's cancel, if any, ends it, and is lowered for the next.
    void run(const session::RequestOptions& options);
    // The request an entry on this thread is making, or null: a host's closeConnection
    // ends it too.
    static ThreadRequest* current();

private:
    RequestState state_;
    ThreadRequest* outer_;
};

// As ThreadRequest, for an entry that works on the thread's state itself (GetPatientData,
// whose request sections stay the thread's): the run's end is copied back in one piece.
void runFromThread(ThreadState& state, const session::RequestOptions& options);

}  // namespace trellybridge
