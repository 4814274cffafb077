// What one request works on: the settings it runs with, the patient record it fills, the
// session's bookkeeping and the reasons it records. A request owns its state while it
// runs and hands it back whole when it ends; what earlier requests on the thread left
// behind (the error list that keeps growing, counters a host never reset) comes in with
// it, so that a request sees what a host would expect it to see.
#pragma once

#include <string>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/PatientRecord.h"
#include "common/Reasons.h"
#include "common/SessionState.h"

namespace trellybridge {

struct RequestState {
    BridgeConfiguration config;
    PatientRecord record;
    bool patientFound = false;
    std::string debugDataDump;  // the raw answer last handed to a parser
    std::string debugLogFile;   // where this request's dump was written (host path), or empty
    std::string errorList;      // the error elements recorded on this thread, oldest first
    std::string enhancedError;  // the last message of the enhanced recorder
    // GetPatientData: the search section it sends (without spaces) and the result text
    // it returns.
    std::string searchInfoSection;
    std::string enhancedResult;
    SessionState session;
    FailureNotes failures;  // why this request failed, for people

    // The error list and the failure notes, as the steps of a request record into them.
    Reasons reasons() { return {errorList, enhancedError, failures, session}; }
};

}  // namespace trellybridge
