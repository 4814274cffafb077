#include "session/TcpSession.h"

#include <algorithm>
#include <chrono>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/SessionPhase.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "session/Bridges.h"
#include "session/RequestBuilder.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"
#include "settings/Settings.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

std::string portInUse() {
    return config().TCPRemotePorts.toText();
}

// The ports in the order they are tried: the last good port first when it is one of
// the configured ones, the others shuffled, each once.
void buildPortOrder() {
    SessionState& s = session();
    s.configuredPorts = portInUse();
    if (s.remoteIP.empty())
        s.remoteIP = tcp::resolveHostAddress(config().TCPRemoteHostName.toText());
    std::string ports = tcp::distinctItems(s.configuredPorts);
    std::string shuffled = tcp::shufflePorts(ports, tcp::countListItems(ports));
    s.randomizedPorts = shuffled;
    s.lastGoodPort = settings::getProperty(settings::kLastGoodPort);
    if (!s.lastGoodPort.empty() && text::contains(s.configuredPorts, s.lastGoodPort))
        shuffled = s.lastGoodPort + "," + shuffled;
    std::string ordered = tcp::distinctItems(shuffled);
    int count = tcp::countListItems(ordered);
    s.portList.fill("");
    s.portResults.fill("");
    for (int i = 1; i <= count && i <= SessionState::kMaxPorts; ++i)
        s.portList[static_cast<size_t>(i - 1)] = tcp::getListItem(ordered, i);
    s.portCount = count;
}

std::string parameterBlock() {
    const SessionState& s = session();
    auto line = [](const char* label, const std::string& value) {
        return std::string(label) + "  <" + value + ">" + CRLF;
    };
    return std::string("Using following parameters...") + CRLF +
           line(" remote.host ", config().TCPRemoteHostName.toText()) +
           line(" remote.ip ", s.remoteIP) +
           line(s.lastGoodPort.empty() ? " remote.port " : " lastgood.port ", portInUse()) +
           line(" local.host ", s.localHostName) + line(" local.ip ", s.localIP);
}

// The whole answer: until the end-of-answer character arrives or the vendor closes,
// within the session's wait bound.
tcp::AnswerRead receiveAnswer(std::string& answer) {
    double code = config().EOFCharacter.numericValue();
    bool hasEnd = code >= 0 && code <= 255;
    char end = static_cast<char>(static_cast<unsigned char>(hasEnd ? code : 0));
    return tcp::readAnswer(answer, [&](const std::string& received, size_t newFrom) {
        return hasEnd && received.find(end, newFrom) != std::string::npos;
    });
}

std::string vendorAddress() {
    return session().remoteIP + " port " + portInUse();
}

// ": Connection refused", or nothing when the system gave no reason.
std::string systemReason() {
    std::string reason = tcp::systemErrorText();
    return reason.empty() ? reason : ": " + reason;
}

class TcpSession : public BridgeSession {
public:
    RunLoop load(SessionWindow& window) const override { return loadPortBridge(window); }
    // One step: parse-report, parse, receive or connect, by the session's phase.
    void step(SessionWindow& window) const override;
    // The attempts of the current port are used up: the next port, or closePending.
    void exhausted(SessionWindow& window) const override;
    // Keeps the port that answered for the next request, and closes the socket.
    void close(SessionWindow& window) const override;

private:
    static bool connectTcp(SessionWindow& window);
    static bool sendTcpRequest(SessionWindow& window);
    static void receive(SessionWindow& window);
    // Closes a connection that failed, so the next connect step opens a new one.
    static void dropConnection();
};

}  // namespace

bool TcpSession::sendTcpRequest(SessionWindow& window) {
    SessionState& s = session();
    request::BuiltRequest built = request::buildRequest(config());
    if (!built.formatKnown) window.failureNotice("ERROR building patient request");
    s.requestText = built.text;
    s.startedSending = platform::clock().now();
    std::string payload = s.requestText + request::endOfRequest(config());
    window.updateText("Attempting to send: " + s.requestText + CRLF);
    bool sent = false;
    if (tcp::connectionState().connected) {
        sent = tcp::tcpSendRequest(payload);
        if (!sent) recordError(errc::SendWithoutConnection);
    } else {
        recordError(errc::SendWithoutConnection);
        recordError(errc::SendWithoutConnection);
    }
    if (sent) s.attemptCount = 0;
    s.finishedSending = platform::clock().now();
    return sent;
}

bool TcpSession::connectTcp(SessionWindow& window) {
    SessionState& s = session();
    try {
        if (s.localHostName.empty()) s.localHostName = text::upper(tcp::getLocalHostName());
        if (s.localIP.empty()) s.localIP = tcp::getLocalIP(s.localHostName);
        if (window.portIndex == 0 && s.attemptCount == 1) buildPortOrder();
        config().TCPRemotePorts = s.portList[static_cast<size_t>(window.portIndex)];
        if (s.attemptCount == 1) {
            window.clearText();
            window.updateText(parameterBlock());
        }
        if (tcp::connectionState().connected) throw std::runtime_error("already connected");
        tcp::resolveSessionAddresses();
        if (!tcp::tcpOpenConnection()) {
            noteFailure(errc::PortOpenFailed,
                        s.remoteIP.empty()
                            ? "could not find the address of " + config().TCPRemoteHostName.toText()
                            : "could not connect to " + vendorAddress() + systemReason());
            window.updateText(
                std::string(s.attemptCount == 1 ? " open.attempt.port." : " open.reattempt.port.") +
                portInUse() + "  <unsuccessful>!" + CRLF);
            s.portResults[static_cast<size_t>(window.portIndex)] = "FAILED!";
            recordError(errc::PortOpenFailed);
            window.lblConnectionTime = "Could not establish connection";
            window.setStatus("Failed to:  IP: " + s.remoteIP);
            throw std::runtime_error("connect failed");
        }
        s.portResults[static_cast<size_t>(window.portIndex)] = "SUCCESS!";
        s.connectedPort = portInUse();
        window.clearText();
        if (s.attemptCount == 1) {
            window.clearText();
            window.updateText(parameterBlock());
        } else {
            window.updateText(" open.reattempt.port." + portInUse() + "  <successful>!" + CRLF);
        }
        window.lblConnectionTime = "Connected for: " + std::to_string(s.elapsedTicks) + " seconds";
        window.setStatus("Connected to:  IP: " + s.remoteIP);
        if (sendTcpRequest(window)) {
            window.updateText(std::string(" send attempt  <successful>!") + CRLF);
        } else {
            window.updateText(std::string(" send attempt  <unsuccessful>!") + CRLF);
            recordError(errc::SendWithoutConnection);
        }
        workStarted();
        s.elapsedTicks = 0;
        return true;
    } catch (...) {
        recordError(errc::PortOpenFailed);
        attemptFailed();
        return false;
    }
}

void TcpSession::receive(SessionWindow& window) {
    SessionState& s = session();
    if (!tcp::tcpDataWaiting()) {
        noteFailure(errc::HostTimedOut,
                    "no answer from " + s.remoteIP + " port " + s.connectedPort);
        recordError(errc::HostTimedOut);
        return;
    }
    s.startedReceiving = platform::clock().now();
    std::string answer;
    tcp::AnswerRead read = receiveAnswer(answer);
    if (read != tcp::AnswerRead::Complete) {
        std::string where = s.remoteIP + " port " + s.connectedPort;
        if (read == tcp::AnswerRead::TooLarge) {
            std::string limit = std::to_string(maxAnswerBytes());
            window.updateText(" answer too large: more than " + limit + " bytes" + CRLF);
            noteFailure(
                errc::ReceivingDataFailed,
                "the answer from " + where + " was too large: more than " + limit + " bytes");
        } else {
            noteFailure(errc::ReceivingDataFailed,
                        "could not receive from " + where + systemReason());
        }
        recordError(errc::ReceivingDataFailed);
        // Back to the connect step: that needs a new connection, not the broken one. The
        // new connection's send starts the attempts afresh, so a vendor that breaks every
        // connection would be asked forever: its port is given up after as many broken
        // connections as attempts are allowed.
        dropConnection();
        if (++s.brokenConnections >= allowedAttempts(config()))
            s.attemptCount = std::max(s.attemptCount, allowedAttempts(config()));
        return;
    }
    s.rawDataReceived = answer;
    setPhase(Phase::Parse);
    s.answeredPort = s.connectedPort;
    s.finishedReceiving = platform::clock().now();
    s.attemptCount = 0;
    window.SerialTimer.setInterval(static_cast<int>(config().TimeDelay.numericValue()));
}

void TcpSession::dropConnection() {
    tcp::tcpCloseConnection(0);
    tcp::connectionState().connected = false;
    setPhase(Phase::Connect);
}

void TcpSession::step(SessionWindow& window) const {
    SessionState& s = session();
    bool first = s.attemptCount == 1;
    if (s.phase == Phase::Parsed) {
        window.updateText(std::string(first ? " parse.attempt          <successful>!"
                                            : " parse.reattempt  <successful>!") +
                          CRLF);
        window.closePending = true;
        s.attemptCount = 0;
    } else if (s.phase == Phase::Parse) {
        window.updateText(std::string(first ? " receive.attempt" : " receive.reattempt") +
                          "  <successful>!" + CRLF);
        if (window.processResponse(s.rawDataReceived)) {
            setPhase(Phase::Parsed);
            s.attemptCount = 0;
        } else {
            noteFailure("the answer from " + s.remoteIP + " port " + s.answeredPort +
                        " holds no patient " + config().PatientID.toText());
        }
    } else if (s.phase == Phase::Receive) {
        receive(window);
    } else if (connectTcp(window)) {
        setPhase(Phase::Receive);
        window.SerialTimer.setInterval(1000);
    }
}

void TcpSession::exhausted(SessionWindow& window) const {
    SessionState& s = session();
    if (window.portIndex >= s.portCount + 1 || window.portIndex >= SessionState::kMaxPorts - 1) {
        window.closePending = true;
        return;
    }
    if (s.attemptCount >= allowedAttempts(config())) {
        window.portIndex += 1;
        s.attemptCount = 0;
        s.brokenConnections = 0;
    }
    config().TCPRemotePorts = s.portList[static_cast<size_t>(window.portIndex)];
    if (config().TCPRemotePorts.isEmptyText()) window.closePending = true;
}

void TcpSession::close(SessionWindow& window) const {
    SessionState& s = session();
    // Found: the port whose connection answered. Not found: the port in use.
    std::string port =
        state().patientFound && !s.answeredPort.empty() ? s.answeredPort : portInUse();
    bool known = !port.empty() && s.configuredPorts.find(port) != std::string::npos;
    settings::saveProperty(settings::kLastGoodPort, known ? port : "");
    window.resetConnection();
}

bool closeTcpSocket() {
    bool closed = tcp::tcpCloseConnection(1);
    tcp::connectionState().connected = false;
    return closed;
}

RunLoop loadPortBridge(SessionWindow& window) {
    SessionState& s = session();
    setPhase(Phase::Connect);
    s.connectedPort.clear();
    s.answeredPort.clear();
    s.brokenConnections = 0;
    tcp::connectionState().connected = false;
    window.updateText(std::string("Verifying port availability...") + CRLF);
    s.timeoutTicks = config().SerialTimeout.toText();
    return RunLoop::Serial;
}

const BridgeSession& tcpBridge() {
    static const TcpSession bridge;
    return bridge;
}

}  // namespace trellybridge::session
