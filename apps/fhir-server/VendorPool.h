// The vendor requests of the service: at most as many at once as there are vendor threads,
// each in the fast pace, and at most `waiting` more in line. A request that is not
// answered by its deadline is given up by its asker; one that has not started by then
// never runs, one that runs is cancelled and keeps its thread until it has ended, so that
// the count of requests at the vendor stays true.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/CancelSignal.h"

namespace trellybridge::fhirserver {

// What one vendor request gave.
struct VendorAnswer {
    bool found = false;
    std::string bundle;        // GetPatient: the patient as FHIR (patientAsFhir)
    std::string result;        // GetPatientData: the <Result> text
    std::string failureKind;   // as the component's FailureKind property says it
    std::string failureNotes;  // its FailureNotes: "error 328: no answer ...", one a line
    bool late = false;         // ended by its deadline or its asker, not by the vendor
};

class VendorPool {
public:
    using Clock = std::chrono::steady_clock;
    // What the work is given: when its asker gives up, and the cancel raised then.
    struct Call {
        Clock::time_point deadline;
        platform::CancelSignal& cancel;
    };
    using Work = std::function<VendorAnswer(const Call& call)>;
    enum class Outcome { Answered, Busy, Late };

    VendorPool(std::size_t threads, std::size_t waiting);
    // Waits for the requests running; those waiting never run.
    ~VendorPool();
    VendorPool(const VendorPool&) = delete;
    VendorPool& operator=(const VendorPool&) = delete;

    // Runs `work` on a vendor thread and waits for it until `deadline`: Answered with
    // `answer` set, Busy when the line is full (nothing runs), Late when the deadline came
    // first.
    Outcome run(Work work, Clock::time_point deadline, VendorAnswer& answer);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trellybridge::fhirserver
