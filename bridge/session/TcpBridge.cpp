#include "session/TcpBridge.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/Expected.h"
#include "common/FailureNote.h"
#include "common/Keywords.h"
#include "common/PhaseTrail.h"
#include "common/Text.h"
#include "formats/Codecs.h"
#include "formats/Mllp.h"
#include "session/Bridges.h"
#include "settings/Settings.h"
#include "tcp/HostUtilities.h"
#include "tcp/PortList.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

// The ports in the order they are tried: the last good port first when it is one of
// the configured ones, the others shuffled, each once.
void buildPortOrder(Request& request) {
    SessionState& s = request.session;
    s.configuredPorts = s.portInUse;
    if (s.remoteIP.empty()) s.remoteIP = tcp::resolveHostAddress(request.settings.remoteHost);
    std::string ports = tcp::distinctItems(s.configuredPorts);
    std::string shuffled = tcp::shufflePorts(ports);
    s.randomizedPorts = shuffled;
    s.lastGoodPort = settings::getProperty(settings::kLastGoodPort);
    if (!s.lastGoodPort.empty() && text::contains(s.configuredPorts, s.lastGoodPort))
        shuffled = s.lastGoodPort + "," + shuffled;
    std::vector<std::string> ordered = tcp::listItems(tcp::distinctItems(shuffled));
    s.portList.fill("");
    s.portResults.fill("");
    std::copy_n(ordered.begin(), std::min(ordered.size(), s.portList.size()), s.portList.begin());
    s.portCount = static_cast<int>(ordered.size());
}

std::string parameterBlock(const Request& request) {
    const SessionState& s = request.session;
    auto line = [](const char* label, const std::string& value) {
        return std::string(label) + "  <" + value + ">" + CRLF;
    };
    return std::string("Using following parameters...") + CRLF +
           line(" remote.host ", request.config.TCPRemoteHostName.toText()) +
           line(" remote.ip ", s.remoteIP) +
           line(s.lastGoodPort.empty() ? " remote.port " : " lastgood.port ", s.portInUse) +
           line(" local.host ", s.localHostName) + line(" local.ip ", s.localIP);
}

// The address a connect attempt tried, or the host whose address was not found.
std::string triedAddress(const SessionState& s, const BridgeConfiguration& c) {
    return s.remoteIP.empty() ? c.TCPRemoteHostName.toText() + " (no address found)" : s.remoteIP;
}

std::string vendorAddress(const SessionState& s) {
    return s.remoteIP + " port " + s.portInUse;
}

bool speaksMllp(const Request& request) {
    return transportOf(request.settings.bridge) == Transport::Tcp &&
           request.settings.keywords.has(keyword::Mllp);
}

// The character that ends an answer: the block's end under MLLP, else EOFCharacter's;
// none when that is not a character code.
std::optional<char> endOfAnswer(const Request& request) {
    if (speaksMllp(request)) return mllp::kEndBlock;
    return request.settings.endOfAnswer;
}

// Without a known format no request can be built and no answer read.
std::string unknownFormatNote(const BridgeConfiguration& settings) {
    const Variant& format = settings.VendorFormatType;
    return isUnset(format) ? "the request was not sent: VendorFormatType is not set"
                           : "the request was not sent: VendorFormatType " + format.toText() +
                                 " is not " + formatNameList();
}

// Why an answer could not be taken: too large, cut off, never sent, unreadable.
Failure brokenAnswer(Request& request, tcp::AnswerRead read, size_t received,
                     const std::string& readFailure) {
    const SessionState& s = request.session;
    std::string where = s.remoteIP + " port " + s.connectedPort;
    if (read == tcp::AnswerRead::TooLarge) {
        std::string limit = std::to_string(maxAnswerBytes());
        request.updateText(" answer too large: more than " + limit + " bytes" + CRLF);
        return {errc::ReceivingDataFailed,
                "the answer from " + where + " was too large: more than " + limit + " bytes"};
    }
    if (read == tcp::AnswerRead::Unfinished) {
        // Insurances at the end of a cut answer would be lost without a word.
        std::string bytes = std::to_string(received) + " bytes";
        request.updateText(" answer cut off: " + bytes + " without its end" + CRLF);
        return {errc::ReceivingDataFailed,
                "the answer from " + where + " was cut off: " + bytes +
                    " arrived without the end character (" +
                    (speaksMllp(request) ? std::string("the MLLP block's FS")
                                         : "EOFCharacter " + request.config.EOFCharacter.toText()) +
                    ")",
                FailureKind::Incomplete};
    }
    if (read == tcp::AnswerRead::Closed)
        return {errc::ReceivingDataFailed, where + " closed the connection without answering"};
    return {errc::ReceivingDataFailed,
            "could not receive from " + where + (readFailure.empty() ? "" : ": " + readFailure)};
}

class PatientExchange : public Exchange {
public:
    Message message(Request& request) const override {
        request::BuiltRequest built = request::buildRequest(request.config, platform::clock());
        request.reasons.record(built.notices);
        if (!built.formatKnown) {
            request.reasons.note(FailureKind::Settings, unknownFormatNote(request.config));
            request.failureNotice("ERROR building patient request");
        }
        if (speaksMllp(request)) {
            std::string block = mllp::block(built.text);
            return {std::move(built.text), std::move(block), true};
        }
        ErrorNotices notices;
        std::string payload = built.text + request::endOfRequest(request.config, notices);
        request.reasons.record(notices);
        return {std::move(built.text), std::move(payload)};
    }
    bool answerComplete(const Request& request, const std::string& answer,
                        size_t newFrom) const override {
        std::optional<char> end = endOfAnswer(request);
        return end && answer.find(*end, newFrom) != std::string::npos;
    }
    bool closeEndsAnswer(const Request& request) const override { return !endOfAnswer(request); }
    bool takeAnswer(Request& request, const std::string& answer) const override {
        const BridgeConfiguration& c = request.config;
        if (request.processResponse(speaksMllp(request) ? mllp::content(answer)
                                                        : std::string_view(answer)))
            return true;
        if (request.settings.format == FormatKind::Unknown) {
            request.reasons.note(FailureKind::Settings, unknownFormatNote(c));
            return false;
        }
        bool serial = transportOf(request.settings.bridge) == Transport::SerialLine;
        request.noteNoPatient("the answer from " + (serial ? "COM" + c.CommPort.toText()
                                                           : request.session.remoteIP + " port " +
                                                                 request.session.answeredPort));
        return false;
    }
};

class TcpBridge : public Bridge {
public:
    explicit TcpBridge(const Exchange& exchange) : exchange_(exchange) {}
    RunLoop load(Request& request) override {
        connection_.setLimits(tcp::connectionLimits(request.settings));
        connection_.reportTo(request.reasons);
        return loadPortBridge(request);
    }
    // One step: parse-report, parse, receive or connect, by the session's phase.
    void step(Request& request) override;
    // The attempts of the current port are used up: the next port, or the close.
    void exhausted(Request& request) override;
    // Keeps the port that answered for the next request, and closes the socket.
    void close(Request& request) override;
    // Fast pace: the receive step runs once the connection has something to read.
    int awaitedDescriptor(const Request& request) const override {
        return request.session.phase == Phase::Receive && connection_.connected()
                   ? connection_.socket()
                   : -1;
    }

private:
    // Connects to the port in use and sends the request; false when the connect failed.
    bool connectTcp(Request& request);
    Expected<void> openPort(Request& request);
    Expected<void> sendTcpRequest(Request& request);
    // Reads the vendor's answer; fails when none came whole (the connection is then broken).
    Expected<std::string> readVendorAnswer(Request& request);
    void receive(Request& request);
    void dropBrokenConnection(Request& request);
    // Closes a connection that failed, so the next connect step opens a new one.
    void dropConnection(Request& request);

    const Exchange& exchange_;
    tcp::Connection connection_;
    int portIndex_ = 0;  // the port of the ordered list being tried
};

}  // namespace

Expected<void> TcpBridge::sendTcpRequest(Request& request) {
    SessionState& s = request.session;
    Exchange::Message message = exchange_.message(request);
    s.requestText = std::move(message.text);
    s.startedSending = platform::clock().now();
    request.updateText("Attempting to send: " + s.requestText + CRLF);
    bool sent =
        connection_.connected() && (message.block ? connection_.sendData(message.payload)
                                                  : connection_.sendRequest(message.payload));
    if (sent) s.attemptCount = 0;
    s.finishedSending = platform::clock().now();
    if (!sent) return fails(errc::SendWithoutConnection);
    return {};
}

Expected<void> TcpBridge::openPort(Request& request) {
    SessionState& s = request.session;
    if (connection_.connected()) return fails(errc::PortOpenFailed);
    const std::optional<std::string>& pinned = request.settings.keywords.localIp();
    tcp::resolveSessionAddresses(s, request.settings.remoteHost, pinned);
    Expected<void> opened = connection_.open(s.localIP, s.remoteIP, tcp::portNumberOf(s.portInUse));
    if (!opened) {
        request.updateText(
            std::string(s.attemptCount == 1 ? " open.attempt.port." : " open.reattempt.port.") +
            s.portInUse + "  <unsuccessful>!" + CRLF);
        s.portResults[static_cast<size_t>(portIndex_)] = "FAILED!";
        request.setConnectionTime("Could not establish connection");
        request.setStatus("Failed to:  IP: " + triedAddress(s, request.config) + " port " +
                          s.portInUse);
        const std::string& reason = opened.error().detail;
        return fails(errc::PortOpenFailed,
                     s.remoteIP.empty()
                         ? "could not find the address of " + request.settings.remoteHost
                         : "could not connect to " + vendorAddress(s) +
                               (reason.empty() ? "" : ": " + reason));
    }
    s.portResults[static_cast<size_t>(portIndex_)] = "SUCCESS!";
    s.connectedPort = s.portInUse;
    return {};
}

bool TcpBridge::connectTcp(Request& request) {
    SessionState& s = request.session;
    if (s.localHostName.empty()) s.localHostName = text::upper(tcp::getLocalHostName());
    if (s.localIP.empty())
        s.localIP = tcp::getLocalIP(s.localHostName, request.settings.keywords.localIp());
    if (portIndex_ == 0 && s.attemptCount == 1) buildPortOrder(request);
    s.portInUse = s.portList[static_cast<size_t>(portIndex_)];
    if (s.attemptCount == 1) {
        request.clearText();
        request.updateText(parameterBlock(request));
    }
    if (Expected<void> opened = openPort(request); !opened) {
        request.fail(opened.error());
        request.attemptFailed();
        return false;
    }
    request.clearText();
    if (s.attemptCount == 1) {
        request.clearText();
        request.updateText(parameterBlock(request));
    } else {
        request.updateText(" open.reattempt.port." + s.portInUse + "  <successful>!" + CRLF);
    }
    request.setConnectionTime("Connected for: " + std::to_string(s.elapsedTicks) + " seconds");
    request.setStatus("Connected to:  IP: " + s.remoteIP);
    Expected<void> sent = sendTcpRequest(request);
    request.updateText(
        std::string(sent ? " send attempt  <successful>!" : " send attempt  <unsuccessful>!") +
        CRLF);
    if (!sent) request.fail(sent.error());
    request.workStarted();
    s.elapsedTicks = 0;
    return true;
}

Expected<std::string> TcpBridge::readVendorAnswer(Request& request) {
    SessionState& s = request.session;
    if (!connection_.dataWaiting())
        return fails(errc::HostTimedOut,
                     "no answer from " + s.remoteIP + " port " + s.connectedPort);
    s.startedReceiving = platform::clock().now();
    std::string answer;
    // Each attempt reads into an empty buffer: an answer is never joined to an earlier one.
    tcp::AnswerRead read =
        connection_.readAnswer(answer, [this, &request](const std::string& a, size_t newFrom) {
            return exchange_.answerComplete(request, a, newFrom);
        });
    bool stopped = read == tcp::AnswerRead::Unfinished || read == tcp::AnswerRead::Closed;
    bool whole =
        read == tcp::AnswerRead::Complete || (stopped && exchange_.closeEndsAnswer(request));
    if (!whole)
        return Unexpected(brokenAnswer(request, read, answer.size(), connection_.readFailure()));
    return answer;
}

void TcpBridge::receive(Request& request) {
    SessionState& s = request.session;
    Expected<std::string> answer = readVendorAnswer(request);
    if (!answer) {
        request.fail(answer.error());
        if (answer.error().code == errc::ReceivingDataFailed) dropBrokenConnection(request);
        return;
    }
    s.rawDataReceived = std::move(*answer);
    request.setPhase(Phase::Parse);
    s.answeredPort = s.connectedPort;
    s.finishedReceiving = platform::clock().now();
    s.attemptCount = 0;
    request.setTickInterval(RunLoop::Port, request.settings.timeDelayMs);
}

// Back to the connect step: that needs a new connection, not the broken one. The new
// connection's send starts the attempts afresh, so a vendor that breaks every connection
// would be asked forever: its port is given up after as many broken connections as
// attempts are allowed.
void TcpBridge::dropBrokenConnection(Request& request) {
    SessionState& s = request.session;
    dropConnection(request);
    if (++s.brokenConnections >= request.settings.attempts)
        s.attemptCount = std::max(s.attemptCount, request.settings.attempts);
}

void TcpBridge::dropConnection(Request& request) {
    connection_.close(tcp::CloseMode::Forced);
    request.setPhase(Phase::Connect);
}

void TcpBridge::step(Request& request) {
    SessionState& s = request.session;
    bool first = s.attemptCount == 1;
    if (s.phase == Phase::Parsed) {
        request.updateText(std::string(first ? " parse.attempt          <successful>!"
                                             : " parse.reattempt  <successful>!") +
                           CRLF);
        setClosePending();
        s.attemptCount = 0;
    } else if (s.phase == Phase::Parse) {
        request.updateText(std::string(first ? " receive.attempt" : " receive.reattempt") +
                           "  <successful>!" + CRLF);
        if (exchange_.takeAnswer(request, s.rawDataReceived)) {
            request.setPhase(Phase::Parsed);
            s.attemptCount = 0;
        }
    } else if (s.phase == Phase::Receive) {
        receive(request);
    } else if (connectTcp(request)) {
        request.setPhase(Phase::Receive);
        request.setTickInterval(RunLoop::Port, 1000);
    }
}

void TcpBridge::exhausted(Request& request) {
    SessionState& s = request.session;
    if (portIndex_ >= s.portCount + 1 || portIndex_ >= SessionState::kMaxPorts - 1) {
        setClosePending();
        return;
    }
    if (s.attemptCount >= request.settings.attempts) {
        portIndex_ += 1;
        s.attemptCount = 0;
        s.brokenConnections = 0;
    }
    s.portInUse = s.portList[static_cast<size_t>(portIndex_)];
    if (s.portInUse.empty()) setClosePending();
}

void TcpBridge::close(Request& request) {
    SessionState& s = request.session;
    // Found: the port whose connection answered. Not found: the port in use.
    std::string port =
        request.patientFound() && !s.answeredPort.empty() ? s.answeredPort : s.portInUse;
    bool known = !port.empty() && s.configuredPorts.find(port) != std::string::npos;
    settings::saveProperty(settings::kLastGoodPort, known ? port : "");
    if (connection_.close(tcp::CloseMode::Normal)) {
        request.updateText(std::string("  CLOSE.PORT.successful!") + CRLF);
    } else {
        request.updateText(std::string("**CLOSE.PORT.unsuccessful!") + CRLF);
        request.record(errc::ClosePortFailed);
    }
}

RunLoop loadPortBridge(Request& request) {
    SessionState& s = request.session;
    request.setPhase(Phase::Connect);
    s.connectedPort.clear();
    s.answeredPort.clear();
    s.brokenConnections = 0;
    s.portInUse = request.config.TCPRemotePorts.toText();
    request.updateText(std::string("Verifying port availability...") + CRLF);
    s.timeoutTicks = request.config.SerialTimeout.toText();
    return RunLoop::Port;
}

std::unique_ptr<Bridge> makeTcpBridge(const Exchange& exchange) {
    return std::make_unique<TcpBridge>(exchange);
}

const Exchange& patientExchange() {
    static const PatientExchange exchange;
    return exchange;
}

std::unique_ptr<Bridge> makeTcpBridge() {
    return makeTcpBridge(patientExchange());
}

}  // namespace trellybridge::session
