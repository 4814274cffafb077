// The SERIAL bridge: each attempt opens the port when it is closed and sends the
// request; the answer arrives through the serial control's event, independent of the
// ticks, and its end character lets the session close on the next tick.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/PhaseTrail.h"
#include "common/Text.h"
#include "platform/Clock.h"
#include "platform/Toolkit.h"
#include "session/Bridges.h"
#include "session/SerialLine.h"
#include "session/TcpBridge.h"

namespace trellybridge::session {
namespace {

constexpr int kSendBoundMs = 5000;  // the most a request may take to leave the port

// A setting as the control's 16-bit properties take it; a setting that is no such
// number is a property the control rejects.
int shortSetting(const Variant& value) {
    std::optional<std::int64_t> number = value.toWholeNumber();
    if (!number || *number < std::numeric_limits<std::int16_t>::min() ||
        *number > std::numeric_limits<std::int16_t>::max())
        throw serial::CommError(serial::CommErrorCode::InvalidPropertyValue,
                                "Invalid property value: " + value.toText());
    return static_cast<int>(*number);
}

std::string portName(const BridgeConfiguration& c) {
    return "COM" + c.CommPort.toText();
}

// The device the CommPort setting names, whether or not the control takes the number.
std::string deviceName(const BridgeConfiguration& c) {
    std::optional<std::int64_t> port = c.CommPort.toWholeNumber();
    std::string device = port && *port <= std::numeric_limits<int>::max()
                             ? serial::devicePathOf(static_cast<int>(*port))
                             : std::string();
    return device.empty() ? "no device: ports are numbered from 1" : device;
}

// Stop bits as the control takes them ("1", "1.5", "2"), from the settings page's "1.0",
// "1.5" and "2.0" too; anything else goes to the control as written, which rejects it.
std::string stopBits(const Variant& value) {
    std::optional<double> number = value.toNumber();
    if (number && *number == 1) return "1";
    if (number && *number == 1.5) return "1.5";
    if (number && *number == 2) return "2";
    return value.toText();
}

// The settings that apply only when the port opens, in the control's order.
void configurePort(serial::CommControl& control, const BridgeConfiguration& c) {
    std::string handshaking = c.Handshaking.lowerText();
    if (handshaking == "none") control.setHandshaking(0);
    if (handshaking == "xonxoff") control.setHandshaking(1);
    if (handshaking == "rts") control.setHandshaking(2);
    if (handshaking == "rtsxonxoff") control.setHandshaking(3);
    control.setCommPort(shortSetting(c.CommPort));
    // Parity is always N: the line runs without parity whatever the settings say.
    control.setSettings(c.BPS.toText() + ",N," + c.DataBits.toText() + "," + stopBits(c.StopBits));
    control.setPortOpen(true);
    std::string inputMode = c.InputMode.lowerText();
    if (inputMode == "text") control.setInputMode(0);
    if (inputMode == "binary") control.setInputMode(1);
}

void sendSerialRequest(Request& request, serial::CommControl& control, const Exchange& exchange,
                       const std::string& lineEnd) {
    SessionState& s = request.session;
    try {
        Exchange::Message message = exchange.message(request);
        s.requestText = std::move(message.text);
        s.startedSending = platform::clock().now();
        control.output(message.payload + lineEnd, kSendBoundMs);
        request.updateText("Sending: " + s.requestText + CRLF);
        request.updateText(std::string("Waiting...") + CRLF);
        s.finishedSending = platform::clock().now();
    } catch (const serial::CommError& e) {
        request.reasons.note("could not send the request on " + portName(request.config) + ": " +
                             e.what());
        request.failureNotice("ERROR sending patient request",
                              std::to_string(e.number()) + " - " + e.what());
    }
}

// The tick by which a session of these settings has ended if nothing arrives: its
// attempts, each after the time-out, with the wait before the close.
std::int32_t sessionEndBy(const Request& request) {
    std::int64_t ticks = std::max<std::int64_t>(
        1, Variant(request.session.timeoutTicks).toWholeNumber().value_or(1));
    std::int64_t attempts = std::max(0, request.settings.attempts) + 2;
    std::int64_t tickMs = std::max(1000, request.settings.timeDelayMs);
    std::int64_t bound = std::min<std::int64_t>(ticks * attempts * tickMs,
                                                std::numeric_limits<std::int32_t>::max() / 2);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(platform::clock().tickCount()) +
                                     static_cast<std::uint32_t>(bound));
}

void noteSilentLine(const Request& request, size_t received) {
    const BridgeConfiguration& c = request.config;
    if (received == 0) {
        request.reasons.note(errc::HostTimedOut, "no answer on " + portName(c));
        return;
    }
    request.reasons.note(
        FailureKind::Incomplete,
        "the answer on " + portName(c) + " did not end: " + std::to_string(received) +
            " bytes without the end character " + "(EOFCharacter " + c.EOFCharacter.toText() + ")");
}

class SerialBridge : public Bridge {
public:
    SerialBridge(const Exchange& exchange, std::string lineEnd, bool timeOutIsError)
        : exchange_(exchange), lineEnd_(std::move(lineEnd)), timeOutIsError_(timeOutIsError) {}
    ~SerialBridge() override { release(); }
    RunLoop load(Request& request) override {
        // A request that found its patient and was never closed must not lend its answer
        // to this one.
        request.session.rawDataReceived.clear();
        RunLoop loop = loadPortBridge(request);
        endBy_ = sessionEndBy(request);
        control_.setOnComm(
            [this, &request](serial::CommEvent event) { commEvent(request, event); });
        return loop;
    }
    void step(Request& request) override {
        openSerialPort(request);
        request.setTickInterval(RunLoop::Port, 1000);
    }
    bool closePort(Request& request) override { return closeSerialPort(request); }
    void close(Request&) override { release(); }
    void exhausted(Request& request) override {
        // A search that gets no answer says so in its result, as one over TCP/IP does.
        if (timeOutIsError_) request.record(errc::HostTimedOut);
        // The request went out and the attempts ran out waiting: say what the line gave.
        if (control_.portOpen() && !closePending())
            noteSilentLine(request, request.session.rawDataReceived.size());
        Bridge::exhausted(request);
    }
    const serial::CommControl& control() const { return control_; }

private:
    void openSerialPort(Request& request);
    bool closeSerialPort(Request& request);
    // The serial control's events: data received, the line hanging up.
    void commEvent(Request& request, serial::CommEvent event);
    void lineHungUp(Request& request);
    bool handleSerialInput(Request& request, const std::string& chunk);
    bool pastSessionEnd() const {
        std::int32_t left =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(endBy_) -
                                      static_cast<std::uint32_t>(platform::clock().tickCount()));
        return left < 0;
    }
    // Closes the port if it is open; what the close reports is not this caller's concern.
    void release() {
        control_.setOnComm(nullptr);
        try {
            control_.close();
        } catch (const serial::CommError&) {
        }
    }

    const Exchange& exchange_;
    std::string lineEnd_;
    bool timeOutIsError_;
    serial::CommControl control_;
    // The tick count by which the session closes, whatever the line keeps sending.
    std::int32_t endBy_ = 0;
};

void SerialBridge::openSerialPort(Request& request) {
    SessionState& s = request.session;
    const BridgeConfiguration& c = request.config;
    request.updateText(" Attempt Number " + std::to_string(s.attemptCount) + " of " +
                       c.AllowedRetries.toText() + " to establish serial connection..." + CRLF);
    serial::CommControl& control = control_;
    try {
        // Open when the port is in fact closed, whatever an earlier request left behind.
        if (!control.portOpen()) configurePort(control, c);
        control.setInputLen(shortSetting(c.InputLength));
        control.setSThreshold(shortSetting(c.SThreshold));
        control.setRThreshold(shortSetting(c.RThreshold));
        request.setConnectionTime("Connected for: " + std::to_string(s.elapsedTicks) + " seconds");
        request.setStatus("Connected to: " + std::string(" ") + portName(c));
    } catch (const serial::CommError& e) {
        request.reasons.note("could not open " + portName(c) + " (" + deviceName(c) +
                             "): " + e.what());
        request.updateText("SERIAL Port: " + std::to_string(e.number()) + " " + e.what() + CRLF);
        if (request.settings.debugging)
            ui::toolkit().messageBox("Undetermined ERROR loading one or more serial properties",
                                     "Attention!", ui::Icon::Critical);
        request.attemptFailed();
        return;
    }
    sendSerialRequest(request, control, exchange_, lineEnd_);
    request.workStarted();
    s.elapsedTicks = 0;
}

bool SerialBridge::closeSerialPort(Request& request) {
    SessionState& s = request.session;
    request.updateText(std::string("Attempting to close serial port...") + CRLF);
    request.updateText("  closing " + portName(request.config) + CRLF + CRLF);
    s.closePortAttempts += 1;
    try {
        control_.close();
    } catch (const serial::CommError& e) {
        // The attempts are over: what the close reports is the session's own error.
        s.attemptCount = 0;
        request.reasons.record(errc::SerialCloseFailed, e.what());
        request.updateText(std::string("Error closing serial port... ") + CRLF + "    " +
                           std::to_string(e.number()) + " " + e.what() + CRLF);
    }
    ui::toolkit().pumpMessages();
    // The descriptor is gone either way: a second close could hit another file that
    // took its number.
    return true;
}

void SerialBridge::commEvent(Request& request, serial::CommEvent event) {
    const std::string port = portName(request.config);
    try {
        if (event == serial::CommEvent::HangUp) {
            lineHungUp(request);
            return;
        }
        if (event != serial::CommEvent::Receive) return;
        serial::CommControl& control = control_;
        // The session is closing: what still arrives is dropped, and it must not put off
        // the tick that closes the port.
        if (closePending()) {
            for (int reads = 0; reads < 16 && control.portOpen() && control.inBufferCount() >= 1;
                 ++reads)
                control.input();
            return;
        }
        SessionState& s = request.session;
        s.startedReceiving = platform::clock().now();
        if (request.status() != "Receiving...") request.setStatus("Receiving...");
        // Each arrival restarts the wait, but a line that never goes quiet does not keep
        // the session open past its end.
        if (pastSessionEnd()) {
            if (!closePending())
                request.reasons.note("the line on " + port +
                                     " kept sending past the session's time");
            setClosePending();
        } else {
            request.restartTicks(RunLoop::Port);
        }
        request.workStarted();
        // One event reads what an answer may hold and no more, and stops once the session
        // is closing: a line that sends faster than it is read must not hold the loop here.
        const std::size_t budget = maxAnswerBytes() + serial::CommControl::kReceiveBufferLimit;
        for (std::size_t taken = 0; taken < budget && !closePending() && control.portOpen() &&
                                    control.inBufferCount() >= 1;) {
            std::string chunk = control.input();
            if (chunk.empty()) break;
            taken += chunk.size();
            handleSerialInput(request, chunk);
            if (!closePending() && pastSessionEnd()) {
                request.reasons.note("the line on " + port +
                                     " kept sending past the session's time");
                setClosePending();
            }
        }
        s.finishedReceiving = platform::clock().now();
    } catch (...) {
        if (request.settings.debugging)
            ui::toolkit().messageBox("The comm control encountered an unspecified error",
                                     "Attention!", ui::Icon::Critical);
    }
}

void SerialBridge::lineHungUp(Request& request) {
    const std::string port = portName(request.config);
    size_t received = request.session.rawDataReceived.size();
    // Part of an answer, then the line gone: the answer was cut off, not never sent.
    if (received > 0 && !closePending())
        request.reasons.note(FailureKind::Incomplete,
                             "the line on " + port + " hung up after " + std::to_string(received) +
                                 " bytes of the answer, before its end character");
    else
        request.reasons.note("the line on " + port + " hung up");
    request.updateText("SERIAL Port: the line on " + port + " hung up" + CRLF);
    if (!closePending()) request.attemptFailed();
}

bool SerialBridge::handleSerialInput(Request& request, const std::string& chunk) {
    SessionState& s = request.session;
    // The answer is complete, or the session is closing: what comes after is no answer.
    if (closePending()) return false;
    std::string end = request.settings.endCharacter;
    size_t endAt = end.empty() ? std::string::npos : chunk.find(end);
    std::string text = chunk.substr(0, endAt);
    if (s.rawDataReceived.size() + text.size() > maxAnswerBytes()) {
        request.reasons.note("the answer on " + portName(request.config) +
                             " was too large: more than " + std::to_string(maxAnswerBytes()) +
                             " bytes");
        request.updateText(" answer too large" + std::string(CRLF));
        s.rawDataReceived.clear();
        request.setPatientFound(false);
        setClosePending();
        return false;
    }
    s.rawDataReceived += text;
    // The log shows what arrives, as far as an answer is ever shown.
    if (s.rawDataReceived.size() <= kShownAnswerBytes) request.updateText(text);
    if (endAt == std::string::npos) return false;

    s.rawDataReceived += end;
    if (formatKindOf(text::upper(request.config.VendorFormatType.toText())) ==
        FormatKind::Unknown) {
        request.end();
        return false;
    }
    setClosePending();
    // Fast pace: the close need not wait for its tick.
    if (s.pace == Pace::Fast) request.continueAtOnce();
    return exchange_.takeAnswer(request, s.rawDataReceived);
}

}  // namespace

std::unique_ptr<Bridge> makeSerialBridge() {
    return makeSerialBridge(patientExchange(), "", false);
}

std::unique_ptr<Bridge> makeSerialBridge(const Exchange& exchange, std::string lineEnd,
                                         bool timeOutIsError) {
    return std::make_unique<SerialBridge>(exchange, std::move(lineEnd), timeOutIsError);
}

const serial::CommControl* serialControl(const Bridge* bridge) {
    auto* serial = dynamic_cast<const SerialBridge*>(bridge);
    return serial ? &serial->control() : nullptr;
}

}  // namespace trellybridge::session
