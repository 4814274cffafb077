// The serial-port control the progress window talks to the vendor through: the
// properties of the Windows communications control (CommPort, Settings, Handshaking,
// InputMode, InputLen, RThreshold, SThreshold, PortOpen, Output, Input, InBufferCount)
// and its "data received" event, on a terminal device. COM port N is the device that
// TRELLYBRIDGE_COM<N> names, /dev/ttyS<N-1> by default.
//
// A property the line rejects fails with a CommError that carries the control's own
// error number and text, as the component expects of the control.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trellybridge::serial {

// The control's error numbers.
enum class CommErrorCode {
    InvalidPropertyValue = 380,
    PortInvalid = 8002,
    PortAlreadyOpen = 8005,
    HardwareNotAvailable = 8010,  // the port is in use
    NoOpen = 8012,                // the port could not be opened, or closed with an error
    SetCommStateFailed = 8015,
    PortNotOpen = 8018,
    ReadError = 8020,
    TransmitFailed = 1010,
};

class CommError : public std::runtime_error {
public:
    CommError(CommErrorCode code, const std::string& description)
        : std::runtime_error(description), code_(code) {}
    int number() const { return static_cast<int>(code_); }
    CommErrorCode code() const { return code_; }

private:
    CommErrorCode code_;
};

// The control's events: data waiting, and the line gone (its device hung up or failed;
// the control has closed the port by then).
enum class CommEvent { Receive = 2, HangUp = 5 };

// The device of COM port N: the mapping a test installed, else TRELLYBRIDGE_COM<N>, else
// /dev/ttyS<N-1>. Empty for a port number below 1.
std::string devicePathOf(int port);
// Gives every line open in this process back the settings it had before it opened. Safe
// in a signal handler: a program that ends on a signal calls it, so that a terminal is
// not left raw behind it.
void restoreOpenLines();
// Replaces the environment lookup (tests); an empty function restores it. A mapping that
// gives no path for a port falls back to the environment.
using DeviceMapping = std::function<std::optional<std::string>(int port)>;
void setDeviceMapping(DeviceMapping mapping);

class CommControl {
public:
    CommControl();
    ~CommControl();
    CommControl(const CommControl&) = delete;
    CommControl& operator=(const CommControl&) = delete;

    // Properties. Those of the line apply at once while the port is open, else at open.
    void setCommPort(int port);
    int commPort() const { return port_; }
    // "BPS,P,D,S": 9600,N,8,1. Parity N, E or O; data bits 5 to 8; stop bits 1, 1.5 or 2.
    void setSettings(std::string_view settings);
    std::string settings() const;
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both.
    void setHandshaking(int mode);
    int handshaking() const { return handshaking_; }
    // 0 text, 1 binary: both deliver the bytes as they came.
    void setInputMode(int mode);
    int inputMode() const { return inputMode_; }
    // The most bytes one Input() returns; 0 is all that wait.
    void setInputLen(int length);
    // Bytes waiting that raise the receive event; 0: no events.
    void setRThreshold(int threshold);
    void setSThreshold(int threshold);
    int inputLen() const { return inputLen_; }
    int rThreshold() const { return rThreshold_; }
    int sThreshold() const { return sThreshold_; }

    // Opens the device exclusively, with the line's settings in raw mode, and empties
    // what waited on it before; or closes it.
    void setPortOpen(bool open);
    bool portOpen() const;
    // Closes once, whatever the outcome; throws NoOpen when the system reported a failure
    // (the descriptor is released all the same).
    void close();

    // Writes every byte, waiting at most `timeoutMs` in all for the line to take them.
    void output(std::string_view bytes, int timeoutMs = 5000);
    // Up to InputLen waiting bytes (all when 0), without waiting.
    std::string input();
    int inBufferCount();

    // The event handler, called from the thread's event loop.
    void setOnComm(std::function<void(CommEvent)> handler) { onComm_ = std::move(handler); }

    // The most bytes the control holds for the reader; what comes beyond is dropped.
    static constexpr std::size_t kReceiveBufferLimit = 1 << 20;

    // The settings the open device holds, read back from it, as "BPS,P,D,S" and the
    // handshaking mode (for checking the line, and tests).
    struct LineState {
        std::string settings;
        int handshaking = 0;
        bool raw = false;
    };
    LineState lineState() const;

private:
    struct Line;
    void applyLine();
    void watchLine();
    void takeWaitingBytes();
    void hangUp();

    int port_ = 1;
    std::string settings_ = "9600,N,8,1";
    int handshaking_ = 0;
    int inputMode_ = 0;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int sThreshold_ = 0;
    std::function<void(CommEvent)> onComm_;
    std::unique_ptr<Line> line_;
};

// A pseudo-terminal pair with both ends raw, for the vendor simulator and tests: the
// program under test opens devicePath() as its serial port; this side is the vendor.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a pair; false with `error` set when the system has none to give.
    bool open(std::string& error);
    const std::string& devicePath() const { return devicePath_; }
    // The vendor side's descriptor, for an event-loop watch.
    int descriptor() const { return vendor_; }

    // Waits at most `timeoutMs` for bytes and appends up to `maximum` of them; false when
    // nothing came.
    bool read(std::string& bytes, int timeoutMs, std::size_t maximum = 65536);
    // Writes every byte within `timeoutMs`.
    bool write(std::string_view bytes, int timeoutMs = 5000);
    // Closes the vendor side: the device hangs up and goes away.
    void hangUp();

private:
    void release();

    int vendor_ = -1;
    int keeper_ = -1;  // the device held open here, so that it outlives the program's closes
    std::string devicePath_;
};

}  // namespace trellybridge::serial
