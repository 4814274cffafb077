// The state that every TrellyBridgeComm on one thread shares: the settings of the
// request, the patient record, the session bookkeeping and the recorded errors. The
// component reads it when a host's call comes in and hands each step what it needs. It
// lives as long as the thread and is overwritten, never freed, by later requests;
// assigning a fresh ThreadState starts a thread afresh. What a bridge holds during a
// request (its connection, its port) lives in the bridge object.
#pragma once

#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/PatientRecord.h"
#include "common/Reasons.h"
#include "common/SessionState.h"

namespace trellybridge {

struct ThreadState {
    BridgeConfiguration config;
    PatientRecord record;
    bool patientFound = false;
    std::string debugDataDump;  // the raw answer last handed to a parser
    std::string debugLogFile;   // where this request's dump was written (host path), or empty
    std::string errorList;      // the error elements recorded on this thread, oldest first
    std::string enhancedError;  // the last message of the enhanced recorder
    // GetPatientData: the three sections of its request (each with its own tags; the
    // search section without spaces) and the result text it returns.
    std::string userInfoSection, searchInfoSection, bridgeParametersSection;
    std::string enhancedResult;
    SessionState session;
    FailureNotes failures;  // why this request failed, for people

    // The error list and the failure notes, as the steps of a request record into them.
    Reasons reasons() { return {errorList, enhancedError, failures, session}; }
};

ThreadState& threadState();

}  // namespace trellybridge
