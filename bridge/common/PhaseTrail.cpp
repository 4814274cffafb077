#include "common/PhaseTrail.h"

#include <string>

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

void setPhase(SessionState& s, Phase next) {
    if (next != s.phase && s.phaseTrail.size() < kMaxTrail)
        s.phaseTrail.push_back(std::string(phaseName(s.phase)) + " -> " +
                               std::string(phaseName(next)));
    s.phase = next;
}

void startPhase(SessionState& s, Phase first) {
    s.phaseTrail.clear();
    s.phase = first;
}

void workStarted(SessionState& s) {
    s.completionCode = 1;
}

void workStopped(SessionState& s) {
    s.completionCode = 0;
    s.elapsedTicks = 0;
}

void attemptFailed(SessionState& s, bool& patientFound) {
    patientFound = false;
    s.failedAttempts += 1;
    workStopped(s);
}

void answerFound(SessionState& s, bool& patientFound) {
    s.completionCode = 1;
    patientFound = true;
}

}  // namespace trellybridge
