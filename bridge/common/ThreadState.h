// The state that every TrellyBridgeComm on one thread shares: the settings of the
// request, the patient record, the session bookkeeping and the recorded errors. It
// lives as long as the thread and is overwritten, never freed, by later requests.
#pragma once

#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/PatientRecord.h"
#include "common/SessionState.h"

namespace trellybridge {

struct ThreadState {
    BridgeConfiguration config;
    PatientRecord record;
    bool patientFound = false;
    std::string debugDataDump;  // the raw answer last handed to a parser
    std::string errorList;      // the error elements recorded on this thread, oldest first
    std::string enhancedError;  // the last message of the enhanced recorder
    SessionState session;
    std::vector<std::string> insuranceLogLines;  // the insurance log being rewritten
    FailureNotes failures;                       // why this request failed, for people
};

ThreadState& threadState();

}  // namespace trellybridge
