#include "session/TcpSession.h"

#include <algorithm>
#include <chrono>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/Keywords.h"
#include "common/SessionPhase.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "formats/RequestBuilder.h"
#include "session/Bridges.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"
#include "settings/Settings.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

std::string portInUse() {
    return session().portInUse;
}

// The ports in the order they are tried: the last good port first when it is one of
// the configured ones, the others shuffled, each once.
void buildPortOrder() {
    SessionState& s = session();
    s.configuredPorts = portInUse();
    if (s.remoteIP.empty())
        s.remoteIP = tcp::resolveHostAddress(config().TCPRemoteHostName.toText());
    std::string ports = tcp::distinctItems(s.configuredPorts);
    std::string shuffled = tcp::shufflePorts(ports);
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

std::string vendorAddress() {
    return session().remoteIP + " port " + portInUse();
}

// ": Connection refused", or nothing when the system gave no reason.
std::string systemReason() {
    std::string reason = tcp::systemErrorText();
    return reason.empty() ? reason : ": " + reason;
}

// Without a known format no request can be built and no answer read.
std::string unknownFormatNote() {
    const Variant& format = config().VendorFormatType;
    return isUnset(format) ? "the request was not sent: VendorFormatType is not set"
                           : "the request was not sent: VendorFormatType " + format.toText() +
                                 " is not HL7, STANDARD, SCAN or XML";
}

class PatientExchange : public Exchange {
public:
    Request request(SessionWindow& window) const override {
        request::BuiltRequest built = request::buildRequest(config());
        recordErrors(built.notices);
        if (!built.formatKnown) {
            noteFailure(FailureKind::Settings, unknownFormatNote());
            window.failureNotice("ERROR building patient request");
        }
        ErrorNotices notices;
        std::string payload = built.text + request::endOfRequest(config(), notices);
        recordErrors(notices);
        return {std::move(built.text), std::move(payload)};
    }
    bool answerComplete(const std::string& answer, size_t newFrom) const override {
        double code = config().EOFCharacter.numericValue();
        if (!(code >= 0 && code <= 255)) return false;
        char end = static_cast<char>(static_cast<unsigned char>(code));
        return answer.find(end, newFrom) != std::string::npos;
    }
    bool takeAnswer(SessionWindow& window, const std::string& answer) const override {
        if (window.processResponse(answer)) return true;
        if (formatKind(config()) == FormatKind::Unknown) {
            noteFailure(FailureKind::Settings, unknownFormatNote());
            return false;
        }
        bool serial = bridgeKind(config()) == BridgeKind::Serial;
        std::string source = serial ? "COM" + config().CommPort.toText()
                                    : session().remoteIP + " port " + session().answeredPort;
        // A serial answer arrives without its end character; a TCP one keeps it.
        if (!serial && !answerComplete(answer, 0)) {
            noteFailure("the answer from " + source +
                        " did not end: " + std::to_string(answer.size()) +
                        " bytes without the end character (EOFCharacter " +
                        config().EOFCharacter.toText() + ")");
            return false;
        }
        noteFailure(FailureKind::NotOnFile, "the answer from " + source + " holds no patient " +
                                                config().PatientID.toText());
        return false;
    }
};

class TcpSession : public BridgeSession {
public:
    explicit TcpSession(const Exchange& exchange) : exchange_(exchange) {}
    RunLoop load(SessionWindow& window) override {
        connection_.setLimits(tcp::connectionLimits(config()));
        return loadPortBridge(window);
    }
    // One step: parse-report, parse, receive or connect, by the session's phase.
    void step(SessionWindow& window) override;
    // The attempts of the current port are used up: the next port, or the close.
    void exhausted(SessionWindow& window) override;
    // Keeps the port that answered for the next request, and closes the socket.
    void close(SessionWindow& window) override;
    // Fast pace: the receive step runs once the connection has something to read.
    int awaitedDescriptor() const override {
        return session().phase == Phase::Receive && connection_.connected() ? connection_.socket()
                                                                            : -1;
    }

private:
    bool connectTcp(SessionWindow& window);
    bool sendTcpRequest(SessionWindow& window);
    void receive(SessionWindow& window);
    // Closes a connection that failed, so the next connect step opens a new one.
    void dropConnection();

    const Exchange& exchange_;
    tcp::Connection connection_;
    int portIndex_ = 0;  // the port of the ordered list being tried
};

}  // namespace

bool TcpSession::sendTcpRequest(SessionWindow& window) {
    SessionState& s = session();
    Exchange::Request request = exchange_.request(window);
    s.requestText = std::move(request.text);
    s.startedSending = platform::clock().now();
    window.updateText("Attempting to send: " + s.requestText + CRLF);
    bool sent = false;
    if (connection_.connected()) {
        sent = connection_.sendRequest(request.payload);
        if (!sent) window.record(errc::SendWithoutConnection);
    } else {
        window.record(errc::SendWithoutConnection);
        window.record(errc::SendWithoutConnection);
    }
    if (sent) s.attemptCount = 0;
    s.finishedSending = platform::clock().now();
    return sent;
}

bool TcpSession::connectTcp(SessionWindow& window) {
    SessionState& s = session();
    try {
        if (s.localHostName.empty()) s.localHostName = text::upper(tcp::getLocalHostName());
        if (s.localIP.empty())
            s.localIP = tcp::getLocalIP(s.localHostName, localIpKeyword(config()));
        if (portIndex_ == 0 && s.attemptCount == 1) buildPortOrder();
        s.portInUse = s.portList[static_cast<size_t>(portIndex_)];
        if (s.attemptCount == 1) {
            window.clearText();
            window.updateText(parameterBlock());
        }
        if (connection_.connected()) throw std::runtime_error("already connected");
        tcp::resolveSessionAddresses(s, config().TCPRemoteHostName.toText(),
                                     localIpKeyword(config()));
        if (!connection_.open(s.localIP, s.remoteIP, tcp::portNumberOf(portInUse()))) {
            noteFailure(errc::PortOpenFailed,
                        s.remoteIP.empty()
                            ? "could not find the address of " + config().TCPRemoteHostName.toText()
                            : "could not connect to " + vendorAddress() + systemReason());
            window.updateText(
                std::string(s.attemptCount == 1 ? " open.attempt.port." : " open.reattempt.port.") +
                portInUse() + "  <unsuccessful>!" + CRLF);
            s.portResults[static_cast<size_t>(portIndex_)] = "FAILED!";
            window.record(errc::PortOpenFailed);
            window.lblConnectionTime = "Could not establish connection";
            window.setStatus("Failed to:  IP: " + s.remoteIP);
            throw std::runtime_error("connect failed");
        }
        s.portResults[static_cast<size_t>(portIndex_)] = "SUCCESS!";
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
            window.record(errc::SendWithoutConnection);
        }
        workStarted();
        s.elapsedTicks = 0;
        return true;
    } catch (...) {
        window.record(errc::PortOpenFailed);
        attemptFailed();
        return false;
    }
}

void TcpSession::receive(SessionWindow& window) {
    SessionState& s = session();
    if (!connection_.dataWaiting()) {
        noteFailure(errc::HostTimedOut,
                    "no answer from " + s.remoteIP + " port " + s.connectedPort);
        window.record(errc::HostTimedOut);
        return;
    }
    s.startedReceiving = platform::clock().now();
    std::string answer;
    // Each attempt reads into an empty buffer: an answer is never joined to an earlier one.
    tcp::AnswerRead read =
        connection_.readAnswer(answer, [this](const std::string& a, size_t newFrom) {
            return exchange_.answerComplete(a, newFrom);
        });
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
        window.record(errc::ReceivingDataFailed);
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
    window.PortTimer.setInterval(static_cast<int>(config().TimeDelay.numericValue()));
}

void TcpSession::dropConnection() {
    connection_.close(tcp::CloseMode::Forced);
    setPhase(Phase::Connect);
}

void TcpSession::step(SessionWindow& window) {
    SessionState& s = session();
    bool first = s.attemptCount == 1;
    if (s.phase == Phase::Parsed) {
        window.updateText(std::string(first ? " parse.attempt          <successful>!"
                                            : " parse.reattempt  <successful>!") +
                          CRLF);
        setClosePending();
        s.attemptCount = 0;
    } else if (s.phase == Phase::Parse) {
        window.updateText(std::string(first ? " receive.attempt" : " receive.reattempt") +
                          "  <successful>!" + CRLF);
        if (exchange_.takeAnswer(window, s.rawDataReceived)) {
            setPhase(Phase::Parsed);
            s.attemptCount = 0;
        }
    } else if (s.phase == Phase::Receive) {
        receive(window);
    } else if (connectTcp(window)) {
        setPhase(Phase::Receive);
        window.PortTimer.setInterval(1000);
    }
}

void TcpSession::exhausted(SessionWindow&) {
    SessionState& s = session();
    if (portIndex_ >= s.portCount + 1 || portIndex_ >= SessionState::kMaxPorts - 1) {
        setClosePending();
        return;
    }
    if (s.attemptCount >= allowedAttempts(config())) {
        portIndex_ += 1;
        s.attemptCount = 0;
        s.brokenConnections = 0;
    }
    s.portInUse = s.portList[static_cast<size_t>(portIndex_)];
    if (s.portInUse.empty()) setClosePending();
}

void TcpSession::close(SessionWindow& window) {
    SessionState& s = session();
    // Found: the port whose connection answered. Not found: the port in use.
    std::string port =
        state().patientFound && !s.answeredPort.empty() ? s.answeredPort : portInUse();
    bool known = !port.empty() && s.configuredPorts.find(port) != std::string::npos;
    settings::saveProperty(settings::kLastGoodPort, known ? port : "");
    if (connection_.close(tcp::CloseMode::Normal)) {
        window.updateText(std::string("  CLOSE.PORT.successful!") + CRLF);
    } else {
        window.updateText(std::string("**CLOSE.PORT.unsuccessful!") + CRLF);
        window.record(errc::ClosePortFailed);
    }
}

RunLoop loadPortBridge(SessionWindow& window) {
    SessionState& s = session();
    setPhase(Phase::Connect);
    s.connectedPort.clear();
    s.answeredPort.clear();
    s.brokenConnections = 0;
    s.portInUse = config().TCPRemotePorts.toText();
    window.updateText(std::string("Verifying port availability...") + CRLF);
    s.timeoutTicks = config().SerialTimeout.toText();
    return RunLoop::Port;
}

std::unique_ptr<BridgeSession> makeTcpBridge(const Exchange& exchange) {
    return std::make_unique<TcpSession>(exchange);
}

const Exchange& patientExchange() {
    static const PatientExchange exchange;
    return exchange;
}

std::unique_ptr<BridgeSession> makeTcpBridge() {
    return makeTcpBridge(patientExchange());
}

}  // namespace trellybridge::session
