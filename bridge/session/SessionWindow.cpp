#include "session/SessionWindow.h"

#include <limits>

#include "common/AnswerLimit.h"
#include "common/DebugLog.h"
#include "common/Errors.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "common/Version.h"
#include "formats/Parsers.h"
#include "session/TcpSession.h"
#include "session/Transports.h"
#include "settings/Settings.h"
#include "tcp/TcpConnection.h"
#include "trellybridge/TrellyBridgeComm.h"

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

bool isKnownFormat(const std::string& name) {
    return name == "STANDARD" || name == "HL7" || name == "SCAN" || name == "XML";
}

// Cut before the first comma, as the debug log shows the end characters.
std::string firstCode(const Variant& codes) {
    std::string text = codes.toText();
    return text.substr(0, text.find(','));
}

// The character whose code EOFCharacter gives (its leading number).
std::string endCharacter() {
    double code = config().EOFCharacter.numericValue();
    if (code < 0 || code > 255) return {};
    return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

// The timer interval in ms. GetPatient refuses a TimeDelay outside 1 to 2147483647;
// the conversion is bounded all the same, since a double past int's range has no int.
int timeDelay() {
    double ms = config().TimeDelay.numericValue();
    if (!(ms > 0)) return 0;
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(ms);
}

// The STANDARD header record: the first "H" with "1", "2" or "3" two places on.
// Returns the answer from there, without its last character; nullopt without a header.
std::optional<std::string> standardFromHeader(const std::string& answer) {
    for (size_t i = 0; i + 3 < answer.size(); ++i) {
        char level = answer[i + 2];
        if (answer[i] == 'H' && (level == '1' || level == '2' || level == '3'))
            return answer.substr(i, answer.size() - i - 1);
    }
    return std::nullopt;
}

std::string trimmedForDisplay(std::string answer) {
    size_t first = answer.find_first_not_of(' ');
    answer = first == std::string::npos ? "" : answer.substr(first);
    std::string end = endCharacter();
    while (!answer.empty()) {
        char last = answer.back();
        if (last == '\r' || last == '\n' || last == ' ' || (!end.empty() && last == end[0]))
            answer.pop_back();
        else
            break;
    }
    return answer;
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
    SessionState& s = session();
    if (inForce(config(), keyword::ChangeLfToCr))
        for (char& c : answer)
            if (c == '\n') c = '\r';
    state().record.clear();

    std::string type = format();
    bool found = false;
    if (type == "HL7") {
        s.startedParsing = platform::clock().now();
        TrellyBridgeComm parsing;
        if (formats::parseHL7Stream(parsing, answer)) {
            s.finishedParsing = platform::clock().now();
            std::string vendor = config().VendorName.upperText();
            bool medicVendor = vendor == "MEDIC" || vendor == "MISYS PM" || vendor == "MISYSPM";
            if (medicVendor && config().MEDICuseGuarantorAddress.toText() == "true")
                useGuarantorAddress(state().record);
            return state().patientFound;
        }
    } else if (type == "STANDARD") {
        s.startedParsing = platform::clock().now();
        if (auto records = standardFromHeader(answer)) {
            bool delimited = records->size() > 1 && (*records)[1] != ' ';
            bool parsed = delimited ? formats::parseStandardStream(*records)
                                    : formats::parseStandardFixedStream(*records);
            if (parsed) s.finishedParsing = platform::clock().now();
            found = state().patientFound;
        }
        if (found) return true;
    } else if (type == "SCAN") {
        s.startedParsing = platform::clock().now();
        if (formats::parseScanStream(answer)) s.finishedParsing = platform::clock().now();
        return state().patientFound;
    } else if (type == "XML") {
        s.startedParsing = platform::clock().now();
        if (formats::parseXMLStream(answer)) s.finishedParsing = platform::clock().now();
        if (state().patientFound) return true;
    } else {
        return state().patientFound;
    }

    // The answer was not a patient: show it and end the session without more attempts.
    state().patientFound = false;
    clearText();
    updateText(std::string("Receiving response...") + CRLF);
    updateText("  " + answerForDisplay(trimmedForDisplay(answer)) + CRLF + CRLF);
    closeConnection();
    return false;
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
