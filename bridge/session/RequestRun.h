// One request as a value: the state it starts from (the prepared settings, and what the
// requests before it on the thread left behind) goes in, the state it ends with comes
// back. The request runs on the caller's thread, in its progress window, on the clock and
// at the pace it is given, until it ends, is cancelled or its deadline passes; nothing of
// it stays behind once it returns, except the bridge's connection or port, which a host
// releases with closeConnection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/Pace.h"
#include "common/RequestState.h"
#include "platform/CancelSignal.h"
#include "platform/Clock.h"

namespace trellybridge::session {

enum class RequestKind {
    Patient,       // GetPatient: the vendor is asked for one patient
    Search,        // GetPatientData: the vendor is sent a search
    AnswerAtHand,  // an answer already at hand is read as the vendor's would be
};

struct RequestOptions {
    RequestKind kind = RequestKind::Patient;
    // The pace; the thread's choice (or TRELLYBRIDGE_PACE) when unset.
    std::optional<Pace> pace;
    // The clock the request's ticks and time stamps come from; the thread's when null.
    platform::Clock* clock = nullptr;
    // Raised from any thread, it ends the request as one that found nothing.
    platform::CancelSignal* cancel = nullptr;
    // Milliseconds on the request's clock after which it ends as one that found nothing;
    // 0 for none.
    int deadlineMs = 0;
    // RequestKind::AnswerAtHand: the answer.
    std::string_view answer;
};

struct Outcome {
    RequestState state;          // as the request left it: record, found flag, notes, errors, dump
    std::size_t errorsFrom = 0;  // where the error list's entries of this request begin

    bool found() const { return state.patientFound; }
    const PatientRecord& record() const { return state.record; }
    const FailureNotes& failures() const { return state.failures; }
    // The error list entries this request recorded.
    std::string_view errors() const {
        return std::string_view(state.errorList)
            .substr(std::min(errorsFrom, state.errorList.size()));
    }
    const std::string& debugDump() const { return state.debugDataDump; }
};

// Runs one request from `state` and returns what it ended with. Never throws: a request
// that breaks off ends as one that found nothing more.
Outcome runRequest(RequestState state, const RequestOptions& options = {}) noexcept;

// The state of the request running on this thread, or null: what a host's call in the
// middle of it (closeConnection from a progress callback) and a progress display read.
RequestState* runningRequest();

}  // namespace trellybridge::session
