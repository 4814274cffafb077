// What one request works on: the settings it runs with, the patient record it fills, the
// session's bookkeeping and the reasons it records. A request owns its state while it
// runs and hands it back whole when it ends; what earlier requests on the thread left
// behind (the error list that keeps growing, counters a host never reset) comes in with
// it, so that a request sees what a host would expect it to see.
#pragma once

#include <optional>
#include <string>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/PatientRecord.h"
#include "common/Reasons.h"
#include "common/RequestSettings.h"
#include "common/SessionState.h"

namespace trellybridge {

struct RequestState {
    BridgeConfiguration config;
    // The settings as the steps use them, read from `config` when the request is prepared;
    // a request ends without them, so that none outlives the request it was read for.
    std::optional<RequestSettings> settings;
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
    // The settings of the request: as prepared, or read now for one that was not.
    const RequestSettings& preparedSettings() {
        if (!settings) settings = readRequestSettings(config);
        return *settings;
    }
};

}  // namespace trellybridge
