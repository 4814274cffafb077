#include "common/SessionPhase.h"

#include <string>

#include "common/ThreadState.h"

namespace trellybridge {
namespace {

// A TCP session that keeps losing connections goes round many times; the trail keeps
// the start and stops growing.
constexpr size_t kMaxTrail = 64;

}  // namespace

std::string_view phaseName(Phase phase) {
    switch (phase) {
        case Phase::Prepare: return "Prepare";
        case Phase::Cleanup: return "Cleanup";
        case Phase::Send: return "Send";
        case Phase::Read: return "Read";
        case Phase::Answered: return "Answered";
        case Phase::Connect: return "Connect";
        case Phase::Receive: return "Receive";
        case Phase::Parse: return "Parse";
        case Phase::Parsed: return "Parsed";
    }
    return "?";
}

void setPhase(Phase next) {
    SessionState& s = threadState().session;
    if (next != s.phase && s.phaseTrail.size() < kMaxTrail)
        s.phaseTrail.push_back(std::string(phaseName(s.phase)) + " -> " +
                               std::string(phaseName(next)));
    s.phase = next;
}

void startPhase(Phase first) {
    SessionState& s = threadState().session;
    s.phaseTrail.clear();
    s.phase = first;
}

void workStarted() {
    threadState().session.completionCode = 1;
}

void setPatientFound(bool found) {
    threadState().patientFound = found;
}

void workStopped() {
    threadState().session.completionCode = 0;
    threadState().session.elapsedTicks = 0;
}

void attemptFailed() {
    threadState().patientFound = false;
    workStopped();
}

void answerFound() {
    threadState().session.completionCode = 1;
    threadState().patientFound = true;
}

}  // namespace trellybridge
