// The state that every TrellyBridgeComm on one thread shares: the settings of the
// request, the patient record, the session bookkeeping, the recorded errors and the
// insurance log. It lives as long as the thread and is overwritten, never freed, by
// later requests; `threadState() = ThreadState{}` starts a thread afresh. What a bridge
// holds during a request (its connection, its port) lives in the bridge object.
#pragma once

#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/InsuranceLog.h"
#include "common/PatientRecord.h"
#include "common/SessionState.h"
#include "platform/FileSystem.h"

namespace trellybridge {

struct ThreadState {
    BridgeConfiguration config;
    PatientRecord record;
    bool patientFound = false;
    std::string debugDataDump;  // the raw answer last handed to a parser
    std::string errorList;      // the error elements recorded on this thread, oldest first
    std::string enhancedError;  // the last message of the enhanced recorder
    // GetPatientData: the three sections of its request (each with its own tags; the
    // search section without spaces) and the result text it returns.
    std::string userInfoSection, searchInfoSection, bridgeParametersSection;
    std::string enhancedResult;
    SessionState session;
    std::vector<std::string> insuranceLogLines;  // the insurance log being rewritten
    FailureNotes failures;                       // why this request failed, for people

    // The insurance log from reading it to writing it back: its file, and the lock that
    // makes other writers wait their turn.
    std::string insuranceLogPath = kInsuranceLogFile;
    fs::FileLock insuranceLogLock;
};

ThreadState& threadState();

}  // namespace trellybridge
