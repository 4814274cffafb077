// The bookkeeping of one request's session, kept per thread between requests.
#pragma once

#include "common/Pace.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace trellybridge {

// Where a session stands. The network run loop goes Prepare -> Cleanup -> Send -> Read
// -> Answered (FOLDERS passes Cleanup and Send, HTTPS and USB start in Read); the TCP
// session goes Connect -> Receive -> Parse -> Parsed, and back to Connect when a
// connection breaks while receiving.
enum class Phase { Prepare, Cleanup, Send, Read, Answered, Connect, Receive, Parse, Parsed };

struct SessionState {
    int attemptCount = 0;         // attempts made in the current step
    int elapsedTicks = 0;         // timer ticks since the last reset
    int completionCode = 0;       // 1 once the session works on the vendor / has the answer
    int failedAttempts = 0;       // attempts that failed outright (refused, no device...)
    std::string timeoutTicks;     // ticks to wait before each step, as configured
    Pace pace = Pace::Scheduled;  // the pace this session runs at

    // Changed only through setPhase (common/PhaseTrail.h), which keeps the trail.
    Phase phase = Phase::Prepare;
    std::vector<std::string> phaseTrail;  // "Cleanup -> Send", ... of this session

    std::string rawDataReceived;
    std::string requestText;

    // Stamped when the events happen; unset means the step never happened.
    std::optional<platform::LocalTime> startedSending, finishedSending, startedReceiving,
        finishedReceiving, startedParsing, finishedParsing;

    int closePortAttempts = 0;
    std::string buildLabel;
    std::string recordDelimiter = "|";
    // Which identifier of the answer matched the one asked for, when not its own
    // ("PID-3 repetition 2"); shown and logged so that a match on another number is seen.
    std::string identifierMatch;
    std::string eolFirstCode, eofFirstCode;

    // TCP bookkeeping.
    static constexpr int kMaxPorts = 101;
    std::string localHostName, localIP, remoteIP;
    std::string configuredPorts, randomizedPorts, lastGoodPort;
    // The port the session is on: the configured list until the first connect attempt
    // orders it, then one port of the list.
    std::string portInUse;
    std::array<std::string, kMaxPorts> portList;
    std::array<std::string, kMaxPorts> portResults;
    int portCount = 0;
    // The port of the open connection, and the port whose connection delivered the
    // answer: a slow vendor may answer after the session has moved to the next port.
    std::string connectedPort, answeredPort;
    int brokenConnections = 0;  // connections of the current port that failed while receiving
};

}  // namespace trellybridge
