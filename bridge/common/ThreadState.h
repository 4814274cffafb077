// The state that every TrellyBridgeComm on one thread shares: the settings of the
// request, the patient record, the session bookkeeping and the recorded errors, and the
// per-thread parts of the TCP connection, the transports and the insurance log. It
// lives as long as the thread and is overwritten, never freed, by later requests;
// `threadState() = ThreadState{}` starts a thread afresh.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/InsuranceLog.h"
#include "common/PatientRecord.h"
#include "common/SessionState.h"
#include "platform/FileSystem.h"

namespace trellybridge {

// Held by pointer so that this layer needs only their names; their owners make them on
// first use (shared_ptr, because it destroys what it holds without the full type here).
namespace tcp {
struct TcpConnectionState;
struct TcpTableSnapshot;
}  // namespace tcp
namespace session {
struct SerialLine;
class WebServiceTransport;
}  // namespace session

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

    std::shared_ptr<tcp::TcpConnectionState> tcpConnection;
    std::shared_ptr<tcp::TcpTableSnapshot> tcpTable;
    // The generator of the port shuffle: seeded once, so two shuffles in one second differ.
    std::shared_ptr<std::mt19937> shuffleGenerator;

    // The serial port of the SERIAL bridge, held only within one request.
    std::shared_ptr<session::SerialLine> serialLine;
    // The line behind the HTTPS bridge; tests install fakes.
    std::shared_ptr<session::WebServiceTransport> webServiceTransport;
};

ThreadState& threadState();

}  // namespace trellybridge
