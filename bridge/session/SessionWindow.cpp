#include "session/SessionWindow.h"

#include <limits>

#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "common/Version.h"
#include "formats/AnswerDispatch.h"
#include "session/TcpSession.h"
#include "session/Transports.h"
#include "settings/Settings.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

constexpr const char* CRLF = "\r\n";
constexpr int kCommEventReceive = 2;

ThreadState& state() {
    return threadState();
}
BridgeConfiguration& config() {
    return threadState().config;
}
SessionState& session() {
    return threadState().session;
}
std::string bridge() {
    return config().NetworkBridgeType.toText();
}
std::string format() {
    return config().VendorFormatType.toText();
}
bool debugging() {
    return config().DisplayDebugger.toText() == "true";
}

using formats::isKnownFormat;

// Cut before the first comma, as the debug log shows the end characters.
std::string firstCode(const Variant& codes) {
    std::string text = codes.toText();
    return text.substr(0, text.find(','));
}

std::string endCharacter() {
    return formats::endCharacter(config());
}

// The timer interval in ms. GetPatient refuses a TimeDelay outside 1 to 2147483647;
// the conversion is bounded all the same, since a double past int's range has no int.
int timeDelay() {
    double ms = config().TimeDelay.numericValue();
    if (!(ms > 0)) return 0;
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(ms);
}

std::string trimmedForDisplay(std::string answer) {
    return formats::trimmedForDisplay(std::move(answer), config());
}

}  // namespace

SessionWindow::SessionWindow() : tcp_(new TcpSession(*this)) {
    SerialTimer.setOnTick([this] { serialTick(); });
    NetworkTimer.setOnTick([this] { networkTick(); });
}

SessionWindow::~SessionWindow() {
    delete tcp_;
}

void SessionWindow::startTimer(ui::Timer& timer) {
    timer.setInterval(timeDelay());
    timer.setEnabled(true);
}

void SessionWindow::onLoad() {
    SessionState& s = session();
    s.buildLabel = " (" + Variant(kControlVersion).toText() + ")";
    caption = std::string(kApplicationTitle) + " - v." + s.buildLabel;

    closePending = false;
    portIndex = 0;
    ticksRun = 0;
    s.closePortAttempts = 0;
    s.attemptCount = 0;
    s.recordDelimiter = "|";
    s.requestPrepared = s.filesRemoved = s.requestSent = s.responseReceived = false;
    s.eolFirstCode = firstCode(config().EOLCharacter);
    s.eofFirstCode = firstCode(config().EOFCharacter);
    s.elapsedTicks = 0;
    // Steps of this request that never happen print as ABORTED in the debug log.
    s.startedSending = s.finishedSending = s.startedReceiving = s.finishedReceiving =
        s.startedParsing = s.finishedParsing = std::nullopt;
    txtInformation.clear();

    lblConnectionTime = "Connected for: " + std::to_string(s.elapsedTicks) + " seconds";
    setStatus(bridge() + " style bridge...");

    SerialTimer.setEnabled(false);
    NetworkTimer.setEnabled(false);
    std::string type = bridge();
    if (type == "SERIAL" || type == "TCPIP") {
        s.tcpParsed = s.tcpReceived = s.tcpConnected = false;
        s.connectedPort.clear();
        s.answeredPort.clear();
        s.brokenConnections = 0;
        tcp::connectionState().connected = false;
        updateText(std::string("Verifying port availability...") + CRLF);
        s.timeoutTicks = config().SerialTimeout.toText();
        startTimer(SerialTimer);
    } else if (type == "VENDOR" || type == "POLLING" || type == "FOLDERS") {
        s.requestPrepared = true;
        updateText(std::string("Preparing request for patient...") + CRLF);
        s.timeoutTicks = config().NetworkTimeout.toText();
        startTimer(NetworkTimer);
    } else if (type == "HTTPS") {
        s.requestSent = true;
        s.attemptCount = 0;
        s.rawDataReceived = readPatientStream();
        s.timeoutTicks = config().NetworkTimeout.toText();
        startTimer(NetworkTimer);
    } else if (type == "USB") {
        s.requestSent = true;
        s.attemptCount = 0;
        s.rawDataReceived = config().VendorRequestTag.toText();
        s.timeoutTicks = config().NetworkTimeout.toText();
        startTimer(NetworkTimer);
    } else {
        updateText(std::string("Invalid bridge type requested...") + CRLF + CRLF);
        s.timeoutTicks = config().SerialTimeout.toText();
        startTimer(SerialTimer);
    }

    if (state().patientFound) {
        s.completionCode = 1;
        state().patientFound = true;
        cmdClose();
    }
}

void SessionWindow::networkTick() {
    SessionState& s = session();
    ++ticksRun;
    updateElapsedTime();
    s.elapsedTicks += 1;
    if (s.elapsedTicks <= Variant(s.timeoutTicks).numericValue()) return;

    if (s.attemptCount > config().AllowedRetries.numericValue()) {
        state().patientFound = false;
        NetworkTimer.setInterval(timeDelay());
        cmdClose();
        return;
    }
    if (s.responseReceived) {
        s.completionCode = 1;
        state().patientFound = true;
        cmdClose();
        return;
    }

    std::string type = bridge();
    auto stepDone = [&](bool ok, const char* successText) {
        if (ok) {
            updateText(std::string(successText) + CRLF + CRLF);
            s.attemptCount = 0;
        } else {
            s.attemptCount += 1;
        }
    };

    if (s.requestSent) {
        s.finishedSending = s.startedReceiving = platform::clock().now();
        if (type == "HTTPS") {
            s.rawDataReceived = readPatientStream();
            s.responseReceived = !s.rawDataReceived.empty();
            if (!s.responseReceived)
                s.attemptCount += 1;
            else
                updateText(std::string(state().patientFound ? " ...Successful!" : " ...Failed!") +
                           CRLF + CRLF);
        } else {
            s.rawDataReceived = readPatientFile();
            s.responseReceived = !s.rawDataReceived.empty();
            stepDone(s.responseReceived, "  ...Successful!");
        }
        s.elapsedTicks = 0;
        if (s.responseReceived) NetworkTimer.setInterval(timeDelay());
    } else if (s.filesRemoved) {
        if (type == "VENDOR" || type == "POLLING") {
            s.startedSending = platform::clock().now();
            s.requestSent = sendNetworkRequest();
            stepDone(s.requestSent, "  ...Successful!");
        } else {
            s.attemptCount = 0;
            s.requestSent = true;
        }
        s.elapsedTicks = 0;
        NetworkTimer.setInterval(1000);
    } else if (s.requestPrepared) {
        if (type == "SERIAL" || type == "TCPIP" || type == "VENDOR" || type == "POLLING") {
            s.filesRemoved = deletePatientFiles();
            s.startedSending = platform::clock().now();
            stepDone(s.filesRemoved, "  ...Successful!");
        } else {
            s.attemptCount = 0;
            s.filesRemoved = s.requestSent = true;
            s.startedSending = platform::clock().now();
        }
        s.elapsedTicks = 0;
    } else {
        s.requestPrepared = true;
        updateText(std::string("  ...Successful!") + CRLF + CRLF);
        s.attemptCount = 0;
        s.elapsedTicks = 0;
    }
}

void SessionWindow::serialTick() {
    SessionState& s = session();
    ++ticksRun;
    try {
        s.elapsedTicks += 1;
        updateElapsedTime();
        std::string type = bridge();
        if (closePending) {
            if (type != "SERIAL" || serialTransport().closeSerialPort(*this)) closeConnection();
            return;
        }
        if (s.elapsedTicks < Variant(s.timeoutTicks).numericValue()) return;
        if (s.attemptCount < allowedAttempts(config())) {
            s.attemptCount += 1;
            if (type == "SERIAL") {
                serialTransport().openSerialPort(*this);
                SerialTimer.setInterval(1000);
            } else if (type == "TCPIP") {
                tcp().step();
            }
        } else if (type == "TCPIP") {
            tcp().nextPort();
        } else {
            closePending = true;
            SerialTimer.setInterval(timeDelay());
        }
    } catch (...) {
        recordError(errc::SerialTimerFailed);
        state().patientFound = false;
    }
}

void SessionWindow::commEvent(int eventCode) {
    if (eventCode != kCommEventReceive) return;
    try {
        SessionState& s = session();
        s.startedReceiving = platform::clock().now();
        setStatus("Receiving...");
        SerialTimer.setEnabled(false);
        SerialTimer.setEnabled(true);
        s.completionCode = 1;
        while (serialTransport().inBufferCount() >= 1) handleSerialInput(serialTransport().input());
        s.finishedReceiving = platform::clock().now();
        state().patientFound = true;
    } catch (...) {
        if (debugging())
            ui::toolkit().messageBox("The comm control encountered an unspecified error",
                                     "Attention!", ui::Icon::Critical);
    }
}

bool SessionWindow::handleSerialInput(const std::string& chunk) {
    SessionState& s = session();
    std::string end = endCharacter();
    if (chunk == end) {
        s.rawDataReceived += chunk;
        if (isKnownFormat(text::upper(format()))) {
            bool result = processResponse(s.rawDataReceived);
            closePending = true;
            return result;
        }
        cmdClose();
        return false;
    }
    s.rawDataReceived += chunk;
    updateText(chunk);
    return false;
}

bool SessionWindow::processResponse(std::string answer) {
    formats::ParseResult parsed =
        formats::dispatchAnswer(answer, config(), formats::threadParseContext());
    applyParseResult(parsed);
    if (parsed.next != formats::NextStep::ShowAnswerAndEnd) return state().patientFound;

    // The answer was not a patient: show it and end the session without more attempts.
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + answerForDisplay(trimmedForDisplay(answer)) + CRLF + CRLF);
    closeConnection();
    return false;
}

void applyParseResult(const formats::ParseResult& result) {
    SessionState& s = session();
    if (result.startedParsing) s.startedParsing = result.startedParsing;
    if (result.finishedParsing) s.finishedParsing = result.finishedParsing;
    if (result.recordDelimiter) s.recordDelimiter = std::string(1, *result.recordDelimiter);
    if (result.found) state().patientFound = *result.found;
    if (result.disconnected) {
        s.completionCode = 0;
        s.elapsedTicks = 0;
    }
}

void SessionWindow::closeConnection() {
    try {
        SessionState& s = session();
        s.elapsedTicks = 0;
        if (bridge() == "TCPIP") {
            // Found: the port whose connection answered. Not found: the port in use.
            std::string port = state().patientFound && !s.answeredPort.empty()
                                   ? s.answeredPort
                                   : config().TCPRemotePorts.toText();
            bool known = !port.empty() && s.configuredPorts.find(port) != std::string::npos;
            settings::saveProperty(settings::kLastGoodPort, known ? port : "");
        }
        SerialTimer.setEnabled(false);
        NetworkTimer.setEnabled(false);
        if (bridge() == "TCPIP") resetConnection();
        if (debugging()) writeDebugLog();
    } catch (...) {
    }
    unload();
}

void SessionWindow::resetConnection() {
    if (tcp().closeSocket()) {
        updateText(std::string("  CLOSE.PORT.successful!") + CRLF);
    } else {
        updateText(std::string("**CLOSE.PORT.unsuccessful!") + CRLF);
        recordError(errc::ClosePortFailed);
    }
}

void SessionWindow::cmdClose() {
    closeConnection();
    unload();
}

void SessionWindow::failureNotice(std::string_view stepText, std::string_view runtimeError) {
    if (debugging()) {
        ui::toolkit().messageBox(runtimeError.empty() ? "0 - " : runtimeError, "", ui::Icon::None);
        ui::toolkit().messageBox(stepText, "Attention!", ui::Icon::Critical);
    }
    state().patientFound = false;
    session().completionCode = 0;
    session().elapsedTicks = 0;
}

void SessionWindow::updateMessage(std::string& message) {
    if (session().completionCode == 0)
        message = "Disconnected";
    else if (message.empty())
        message = bridge() + " style bridge...";
    setStatus(message);
}

void SessionWindow::setStatus(std::string_view status) {
    lblStatus = status;
    ui::toolkit().progress(ui::ProgressKind::Status, status);
}

void SessionWindow::updateText(std::string_view text) {
    txtInformation.append(text);
    ui::toolkit().progress(ui::ProgressKind::Log, text);
}

void SessionWindow::clearText() {
    txtInformation.clear();
}

void SessionWindow::updateElapsedTime() {
    lblConnectionTime = "Connection time: " + std::to_string(session().elapsedTicks);
}

std::string SessionWindow::readPatientStream() {
    return webServiceTransport().readPatientStream(*this);
}

SessionWindow& sessionWindow() {
    thread_local SessionWindow window;
    return window;
}

void runSessionWindow() {
    ui::toolkit().runModal(sessionWindow());
}

void unloadSessionWindow() {
    SessionWindow& window = sessionWindow();
    window.SerialTimer.setEnabled(false);
    window.NetworkTimer.setEnabled(false);
    window.unload();
}

}  // namespace trellybridge::session
