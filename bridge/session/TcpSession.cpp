#include "session/TcpSession.h"

#include <algorithm>
#include <chrono>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "session/RequestBuilder.h"
#include "session/SessionWindow.h"
#include "settings/Settings.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

constexpr const char* CRLF = "\r\n";

ThreadState& state() {
    return threadState();
}
SessionState& session() {
    return threadState().session;
}
BridgeConfiguration& config() {
    return threadState().config;
}
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

}  // namespace

bool TcpSession::sendRequest() {
    SessionState& s = session();
    request::BuiltRequest built = request::buildRequest(config());
    if (!built.formatKnown) window_.failureNotice("ERROR building patient request");
    s.requestText = built.text;
    s.startedSending = platform::clock().now();
    std::string payload = s.requestText + request::endOfRequest(config());
    window_.updateText("Attempting to send: " + s.requestText + CRLF);
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

bool TcpSession::connect() {
    SessionState& s = session();
    try {
        if (s.localHostName.empty()) s.localHostName = text::upper(tcp::getLocalHostName());
        if (s.localIP.empty()) s.localIP = tcp::getLocalIP(s.localHostName);
        if (window_.portIndex == 0 && s.attemptCount == 1) buildPortOrder();
        config().TCPRemotePorts = s.portList[static_cast<size_t>(window_.portIndex)];
        if (s.attemptCount == 1) {
            window_.clearText();
            window_.updateText(parameterBlock());
        }
        if (tcp::connectionState().connected) throw std::runtime_error("already connected");
        tcp::resolveSessionAddresses();
        if (!tcp::tcpOpenConnection()) {
            noteFailure(errc::PortOpenFailed,
                        s.remoteIP.empty()
                            ? "could not find the address of " + config().TCPRemoteHostName.toText()
                            : "could not connect to " + vendorAddress() + systemReason());
            window_.updateText(
                std::string(s.attemptCount == 1 ? " open.attempt.port." : " open.reattempt.port.") +
                portInUse() + "  <unsuccessful>!" + CRLF);
            s.portResults[static_cast<size_t>(window_.portIndex)] = "FAILED!";
            recordError(errc::PortOpenFailed);
            window_.lblConnectionTime = "Could not establish connection";
            window_.setStatus("Failed to:  IP: " + s.remoteIP);
            throw std::runtime_error("connect failed");
        }
        s.portResults[static_cast<size_t>(window_.portIndex)] = "SUCCESS!";
        s.connectedPort = portInUse();
        window_.clearText();
        if (s.attemptCount == 1) {
            window_.clearText();
            window_.updateText(parameterBlock());
        } else {
            window_.updateText(" open.reattempt.port." + portInUse() + "  <successful>!" + CRLF);
        }
        window_.lblConnectionTime = "Connected for: " + std::to_string(s.elapsedTicks) + " seconds";
        window_.setStatus("Connected to:  IP: " + s.remoteIP);
        if (sendRequest()) {
            window_.updateText(std::string(" send attempt  <successful>!") + CRLF);
        } else {
            window_.updateText(std::string(" send attempt  <unsuccessful>!") + CRLF);
            recordError(errc::SendWithoutConnection);
        }
        s.completionCode = 1;
        s.elapsedTicks = 0;
        return true;
    } catch (...) {
        recordError(errc::PortOpenFailed);
        state().patientFound = false;
        s.completionCode = 0;
        s.elapsedTicks = 0;
        return false;
    }
}

void TcpSession::receive() {
    SessionState& s = session();
    if (!tcp::tcpDataWaiting()) {
        noteFailure(errc::HostTimedOut, "no answer from " + s.remoteIP + " port " + s.connectedPort);
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
            window_.updateText(" answer too large: more than " + limit + " bytes" + CRLF);
            noteFailure(errc::ReceivingDataFailed, "the answer from " + where +
                                                       " was too large: more than " + limit +
                                                       " bytes");
        } else {
            noteFailure(errc::ReceivingDataFailed, "could not receive from " + where + systemReason());
        }
        s.tcpReceived = false;
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
    s.tcpReceived = true;
    s.answeredPort = s.connectedPort;
    s.finishedReceiving = platform::clock().now();
    s.attemptCount = 0;
    window_.SerialTimer.setInterval(static_cast<int>(config().TimeDelay.numericValue()));
}

void TcpSession::dropConnection() {
    tcp::tcpCloseConnection(0);
    tcp::connectionState().connected = false;
    session().tcpConnected = false;
}

void TcpSession::step() {
    SessionState& s = session();
    bool first = s.attemptCount == 1;
    if (s.tcpParsed) {
        window_.updateText(std::string(first ? " parse.attempt          <successful>!"
                                             : " parse.reattempt  <successful>!") +
                           CRLF);
        window_.closePending = true;
        s.attemptCount = 0;
    } else if (s.tcpReceived) {
        window_.updateText(std::string(first ? " receive.attempt" : " receive.reattempt") +
                           "  <successful>!" + CRLF);
        s.tcpParsed = window_.processResponse(s.rawDataReceived);
        if (s.tcpParsed)
            s.attemptCount = 0;
        else
            noteFailure("the answer from " + s.remoteIP + " port " + s.answeredPort +
                        " holds no patient " + config().PatientID.toText());
    } else if (s.tcpConnected) {
        receive();
    } else {
        s.tcpConnected = connect();
        if (s.tcpConnected) window_.SerialTimer.setInterval(1000);
    }
}

void TcpSession::nextPort() {
    SessionState& s = session();
    if (window_.portIndex >= s.portCount + 1 || window_.portIndex >= SessionState::kMaxPorts - 1) {
        window_.closePending = true;
        return;
    }
    if (s.attemptCount >= allowedAttempts(config())) {
        window_.portIndex += 1;
        s.attemptCount = 0;
        s.brokenConnections = 0;
    }
    config().TCPRemotePorts = s.portList[static_cast<size_t>(window_.portIndex)];
    if (config().TCPRemotePorts.isEmptyText()) window_.closePending = true;
}

bool TcpSession::closeSocket() {
    bool closed = tcp::tcpCloseConnection(1);
    tcp::connectionState().connected = false;
    return closed;
}

}  // namespace trellybridge::session
