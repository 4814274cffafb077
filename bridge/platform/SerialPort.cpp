#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"

namespace trellybridge::serial {
namespace {

std::mutex mappingMutex;
DeviceMapping& mapping() {
    static DeviceMapping installed;
    return installed;
}

std::string systemText(int error) {
    return std::strerror(error);
}

[[noreturn]] void fail(CommErrorCode code, std::string text, const std::string& detail = {}) {
    if (!detail.empty()) text += " (" + detail + ")";
    throw CommError(code, text);
}

struct Speed {
    int bps;
    speed_t code;
};
constexpr Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// The parts of a settings text, checked as the control checks them when it is set.
struct LineSettings {
    int bps = 9600;
    char parity = 'N';
    int dataBits = 8;
    std::string stopBits = "1";
};

bool wholeNumber(std::string_view text, int& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> commaParts(std::string_view text) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

std::optional<LineSettings> parseSettings(std::string_view text) {
    std::vector<std::string_view> parts = commaParts(text);
    LineSettings line;
    if (parts.size() != 4 || parts[1].size() != 1 || !wholeNumber(parts[0], line.bps) ||
        !wholeNumber(parts[2], line.dataBits))
        return std::nullopt;
    line.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    line.stopBits = std::string(parts[3]);
    bool knownSpeed = false;
    for (const Speed& s : kSpeeds) knownSpeed = knownSpeed || s.bps == line.bps;
    if (!knownSpeed || std::string_view("NEO").find(line.parity) == std::string_view::npos ||
        line.dataBits < 5 || line.dataBits > 8 ||
        (line.stopBits != "1" && line.stopBits != "1.5" && line.stopBits != "2"))
        return std::nullopt;
    return line;
}

tcflag_t characterSize(int dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

int dataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5: return 5;
        case CS6: return 6;
        case CS7: return 7;
        default: return 8;
    }
}

// The line's termios from the control's properties: raw bytes (no signal characters,
// no CR/LF translation, no echo), so that every byte the vendor sends arrives as sent.
termios lineTermios(termios t, const LineSettings& line, int handshaking) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag = (t.c_cflag & ~CSIZE) | characterSize(line.dataBits);
    if (line.stopBits == "1")
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;  // 1.5 stop bits exist only with 5 data bits: the line uses 2
    t.c_cflag &= ~(PARENB | PARODD);
    if (line.parity != 'N') t.c_cflag |= PARENB | (line.parity == 'O' ? PARODD : 0);
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (handshaking & 1) t.c_iflag |= IXON | IXOFF;
    if (handshaking & 2) t.c_cflag |= CRTSCTS;
    // With VMIN 0 an empty line reads as end of file; with 1 it reads as "try again",
    // and end of file means the line hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    for (const Speed& s : kSpeeds)
        if (s.bps == line.bps) {
            cfsetispeed(&t, s.code);
            cfsetospeed(&t, s.code);
        }
    return t;
}

bool sameLine(const termios& a, const termios& b) {
    constexpr tcflag_t kControl = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | CLOCAL | CREAD;
    constexpr tcflag_t kInput = IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP;
    constexpr tcflag_t kLocal = ICANON | ISIG | ECHO | IEXTEN;
    return (a.c_cflag & kControl) == (b.c_cflag & kControl) &&
           (a.c_iflag & kInput) == (b.c_iflag & kInput) &&
           (a.c_lflag & kLocal) == (b.c_lflag & kLocal) &&
           (a.c_oflag & OPOST) == (b.c_oflag & OPOST) && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}

bool makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Waits for `events` on `fd` until `deadline`, going on after signals; false on time-out.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        pollfd p{fd, events, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// Writes all of `bytes` to a non-blocking descriptor within `timeoutMs`; the errno of a
// failure, ETIMEDOUT when the time ran out, else 0.
int writeAll(int fd, std::string_view bytes, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return errno;
        if (!waitFor(fd, POLLOUT, deadline)) return ETIMEDOUT;
    }
    return 0;
}

// The lines open in this process with the settings they had, for a program that ends on
// a signal: its handler may only make async-signal-safe calls, so the slots are fixed and
// a line is published (its descriptor stored) after its settings are.
struct OpenLine {
    std::atomic<int> fd{-1};  // -1: free; -2: being filled
    termios original{};
};
constexpr int kMaxOpenLines = 16;
OpenLine openLines[kMaxOpenLines];

void publishOpenLine(int fd, const termios& original) {
    for (OpenLine& line : openLines) {
        int expected = -1;
        if (!line.fd.compare_exchange_strong(expected, -2)) continue;
        line.original = original;
        line.fd.store(fd);
        return;
    }
}

void withdrawOpenLine(int fd) {
    for (OpenLine& line : openLines) {
        int expected = fd;
        if (line.fd.compare_exchange_strong(expected, -1)) return;
    }
}

// Whether the terminal open on `fd` is the user's own: the process's controlling terminal
// (/dev/tty, or the same device by another name) or the one its standard input, output or
// error is on. Writing a request there would show the patient's identifier on the screen.
bool usersOwnTerminal(int fd, const struct stat& device) {
    if (::tcgetsid(fd) >= 0) return true;
    for (int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info {};
        if (::fstat(standard, &info) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device.st_rdev)
            return true;
    }
    return false;
}

}  // namespace

void restoreOpenLines() {
    for (OpenLine& line : openLines)
        if (int fd = line.fd.load(); fd >= 0) ::tcsetattr(fd, TCSANOW, &line.original);
}

std::string devicePathOf(int port) {
    if (port < 1) return {};
    {
        std::lock_guard lock(mappingMutex);
        if (mapping())
            if (std::optional<std::string> path = mapping()(port)) return *path;
    }
    std::string variable = "TRELLYBRIDGE_COM" + std::to_string(port);
    if (const char* path = std::getenv(variable.c_str()); path && *path) return path;
    return "/dev/ttyS" + std::to_string(port - 1);
}

void setDeviceMapping(DeviceMapping replacement) {
    std::lock_guard lock(mappingMutex);
    mapping() = std::move(replacement);
}

struct CommControl::Line {
    int fd = -1;
    int watch = 0;
    // Bytes taken from the device; those before `consumed` were read through Input
    // already. Reading one byte at a time must not move the rest each time.
    std::string received;
    std::size_t consumed = 0;
    bool hungUp = false;
    termios original{};  // the line's settings before the port opened
    bool restore = false;

    std::size_t waiting() const { return received.size() - consumed; }
    std::string take(std::size_t count) {
        std::string chunk = received.substr(consumed, count);
        consumed += chunk.size();
        if (consumed == received.size()) {
            received.clear();
            consumed = 0;
        } else if (consumed >= 65536 && consumed * 2 >= received.size()) {
            received.erase(0, consumed);
            consumed = 0;
        }
        return chunk;
    }
};

CommControl::CommControl() = default;

CommControl::~CommControl() {
    try {
        close();
    } catch (const CommError&) {
        // The descriptor is released either way.
    }
}

void CommControl::setCommPort(int port) {
    if (line_) fail(CommErrorCode::PortAlreadyOpen, "Port already open");
    if (port < 1 || port > 255) fail(CommErrorCode::PortInvalid, "Invalid port number");
    port_ = port;
}

void CommControl::setSettings(std::string_view settings) {
    if (!parseSettings(settings))
        fail(CommErrorCode::InvalidPropertyValue, "Invalid property value", std::string(settings));
    std::string previous = std::exchange(settings_, std::string(settings));
    if (!line_) return;
    try {
        applyLine();
    } catch (const CommError&) {
        settings_ = previous;
        throw;
    }
}

std::string CommControl::settings() const {
    return settings_;
}

void CommControl::setHandshaking(int mode) {
    if (mode < 0 || mode > 3) fail(CommErrorCode::InvalidPropertyValue, "Invalid property value");
    handshaking_ = mode;
    if (line_) applyLine();
}

void CommControl::setInputMode(int mode) {
    if (mode != 0 && mode != 1) fail(CommErrorCode::InvalidPropertyValue, "Invalid property value");
    inputMode_ = mode;
}

void CommControl::setInputLen(int length) {
    if (length < 0) fail(CommErrorCode::InvalidPropertyValue, "Invalid property value");
    inputLen_ = length;
}

void CommControl::setRThreshold(int threshold) {
    if (threshold < 0) fail(CommErrorCode::InvalidPropertyValue, "Invalid property value");
    rThreshold_ = threshold;
}

void CommControl::setSThreshold(int threshold) {
    if (threshold < 0) fail(CommErrorCode::InvalidPropertyValue, "Invalid property value");
    sThreshold_ = threshold;
}

bool CommControl::portOpen() const {
    return line_ != nullptr;
}

void CommControl::setPortOpen(bool open) {
    if (!open) {
        close();
        return;
    }
    if (line_) fail(CommErrorCode::PortAlreadyOpen, "Port already open");
    std::string path = devicePathOf(port_);
    auto notATerminal = [&path] {
        fail(CommErrorCode::PortInvalid, "Invalid port number", path + ": not a terminal device");
    };
    // Only a terminal is a serial line; opening anything else read-write may have effects
    // of its own. Looked at by name, then through a read-only descriptor that takes no
    // controlling terminal and waits for no carrier, and only then opened read-write.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        fail(CommErrorCode::PortInvalid, "Invalid port number", path + ": " + systemText(errno));
    if (!S_ISCHR(info.st_mode)) notATerminal();
    auto openFailed = [&path](int error) {
        if (error == EBUSY)
            fail(CommErrorCode::HardwareNotAvailable,
                 "The hardware is not available (locked by another device)", path);
        fail(CommErrorCode::NoOpen, "The device is not open", path + ": " + systemText(error));
    };
    int probe = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) openFailed(errno);
    struct stat probed {};
    bool terminal = ::fstat(probe, &probed) == 0 && S_ISCHR(probed.st_mode) && ::isatty(probe);
    if (!terminal) {
        ::close(probe);
        notATerminal();
    }
    if (usersOwnTerminal(probe, probed)) {
        ::close(probe);
        fail(CommErrorCode::PortInvalid, "Invalid port number",
             path + ": the user's own terminal, not a serial line");
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int openError = errno;
    ::close(probe);
    if (fd < 0) openFailed(openError);
    // The name must still be the terminal that was looked at.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || opened.st_rdev != probed.st_rdev) {
        ::close(fd);
        notATerminal();
    }
    // One user at a time, as the port was on its first platform: TIOCEXCL keeps other
    // opens out (except root's), the lock catches those too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fail(CommErrorCode::HardwareNotAvailable,
             "The hardware is not available (locked by another device)", path);
    }
    ::ioctl(fd, TIOCEXCL);
    line_ = std::make_unique<Line>();
    line_->fd = fd;
    // The line is given back as it was found: a terminal left raw stays unusable after
    // the process has gone.
    line_->restore = ::tcgetattr(fd, &line_->original) == 0;
    if (line_->restore) publishOpenLine(fd, line_->original);
    try {
        applyLine();
    } catch (const CommError&) {
        close();
        throw;
    }
    // What waited on the line belongs to no request of ours.
    ::tcflush(fd, TCIOFLUSH);
    watchLine();
}

void CommControl::applyLine() {
    std::optional<LineSettings> line = parseSettings(settings_);
    termios current{};
    if (!line || ::tcgetattr(line_->fd, &current) != 0)
        fail(CommErrorCode::SetCommStateFailed, "Could not set comm state");
    termios wanted = lineTermios(current, *line, handshaking_);
    // tcsetattr succeeds when any of the changes took: only reading back tells.
    termios applied{};
    if (::tcsetattr(line_->fd, TCSANOW, &wanted) != 0 || ::tcgetattr(line_->fd, &applied) != 0 ||
        !sameLine(applied, wanted))
        fail(CommErrorCode::SetCommStateFailed, "Could not set comm state", settings_);
}

void CommControl::watchLine() {
    line_->watch = ui::EventLoop::current().watch(
        line_->fd, [this] { takeWaitingBytes(); }, [this] { hangUp(); });
}

void CommControl::takeWaitingBytes() {
    if (!line_) return;
    char buffer[4096];
    // A line that never stops sending is read a bounded amount per event; the loop comes
    // back for the rest.
    for (int reads = 0; reads < 16; ++reads) {
        ssize_t n = ::read(line_->fd, buffer, sizeof buffer);
        if (n > 0) {
            size_t room = kReceiveBufferLimit - std::min(kReceiveBufferLimit, line_->waiting());
            line_->received.append(buffer, std::min(room, static_cast<size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        line_->hungUp = true;  // end of file or EIO: the device is gone
        break;
    }
    bool hungUp = line_->hungUp;
    if (rThreshold_ > 0 && line_->waiting() >= static_cast<size_t>(rThreshold_) && onComm_) {
        auto handler = onComm_;
        handler(CommEvent::Receive);
    }
    if (hungUp) hangUp();
}

void CommControl::hangUp() {
    if (!line_) return;
    ui::EventLoop::current().unwatch(line_->watch);
    withdrawOpenLine(line_->fd);
    ::close(line_->fd);
    line_.reset();
    if (onComm_) {
        auto handler = onComm_;
        handler(CommEvent::HangUp);
    }
}

void CommControl::close() {
    if (!line_) return;
    std::unique_ptr<Line> line = std::move(line_);
    ui::EventLoop::current().unwatch(line->watch);
    // A line whose output cannot drain would hold close() for the driver's closing wait.
    ::tcflush(line->fd, TCIOFLUSH);
    withdrawOpenLine(line->fd);
    if (line->restore) ::tcsetattr(line->fd, TCSANOW, &line->original);
    ::ioctl(line->fd, TIOCNXCL);
    // Linux releases the descriptor even when close() reports a failure: never again.
    if (::close(line->fd) != 0)
        fail(CommErrorCode::NoOpen, "The device is not open", systemText(errno));
}

void CommControl::output(std::string_view bytes, int timeoutMs) {
    if (!line_) fail(CommErrorCode::PortNotOpen, "Operation valid only when the port is open");
    if (int error = writeAll(line_->fd, bytes, timeoutMs))
        fail(CommErrorCode::TransmitFailed, "Transmit failed", systemText(error));
}

std::string CommControl::input() {
    if (!line_) fail(CommErrorCode::PortNotOpen, "Operation valid only when the port is open");
    if (line_->waiting() == 0) {
        // Bytes that came since the last event: take them without raising another.
        char buffer[4096];
        ssize_t n = ::read(line_->fd, buffer, sizeof buffer);
        if (n > 0) line_->received.append(buffer, static_cast<size_t>(n));
    }
    size_t waiting = line_->waiting();
    return line_->take(inputLen_ == 0 ? waiting
                                      : std::min(waiting, static_cast<size_t>(inputLen_)));
}

int CommControl::inBufferCount() {
    if (!line_) fail(CommErrorCode::PortNotOpen, "Operation valid only when the port is open");
    int waiting = 0;
    if (::ioctl(line_->fd, FIONREAD, &waiting) != 0) waiting = 0;
    size_t total = line_->waiting() + static_cast<size_t>(std::max(waiting, 0));
    return static_cast<int>(std::min(total, kReceiveBufferLimit + 65536));
}

CommControl::LineState CommControl::lineState() const {
    if (!line_) fail(CommErrorCode::PortNotOpen, "Operation valid only when the port is open");
    termios t{};
    if (::tcgetattr(line_->fd, &t) != 0)
        fail(CommErrorCode::SetCommStateFailed, "Could not set comm state", systemText(errno));
    LineState state;
    int bps = 0;
    for (const Speed& s : kSpeeds)
        if (s.code == cfgetospeed(&t)) bps = s.bps;
    char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    state.settings = std::to_string(bps) + "," + parity + "," +
                     std::to_string(dataBitsOf(t.c_cflag)) + "," +
                     ((t.c_cflag & CSTOPB) ? "2" : "1");
    state.handshaking = ((t.c_iflag & IXON) ? 1 : 0) | ((t.c_cflag & CRTSCTS) ? 2 : 0);
    state.raw = !(t.c_lflag & (ICANON | ISIG | ECHO)) && !(t.c_iflag & (ICRNL | INLCR | IGNCR)) &&
                !(t.c_oflag & OPOST);
    return state;
}

PseudoTerminal::PseudoTerminal() = default;

PseudoTerminal::~PseudoTerminal() {
    release();
}

bool PseudoTerminal::open(std::string& error) {
    release();
    vendor_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (vendor_ < 0 || ::grantpt(vendor_) != 0 || ::unlockpt(vendor_) != 0 ||
        ::ptsname_r(vendor_, name, sizeof name) != 0) {
        error = "no pseudo-terminal: " + systemText(errno);
        release();
        return false;
    }
    devicePath_ = name;
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Both ends raw: a new pair starts cooked, echoing, and turning CR into LF.
    if (keeper_ < 0 || !makeRaw(keeper_) || !makeRaw(vendor_) ||
        ::fcntl(vendor_, F_SETFL, ::fcntl(vendor_, F_GETFL) | O_NONBLOCK) != 0) {
        error = "cannot set up " + devicePath_ + ": " + systemText(errno);
        release();
        return false;
    }
    return true;
}

bool PseudoTerminal::read(std::string& bytes, int timeoutMs, std::size_t maximum) {
    if (vendor_ < 0) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<char> buffer(std::max<std::size_t>(1, std::min<std::size_t>(maximum, 65536)));
    for (;;) {
        ssize_t n = ::read(vendor_, buffer.data(), buffer.size());
        if (n > 0) {
            bytes.append(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        if (!waitFor(vendor_, POLLIN, deadline)) return false;
    }
}

bool PseudoTerminal::write(std::string_view bytes, int timeoutMs) {
    return vendor_ >= 0 && writeAll(vendor_, bytes, timeoutMs) == 0;
}

void PseudoTerminal::hangUp() {
    if (vendor_ >= 0) ::close(vendor_);
    vendor_ = -1;
}

void PseudoTerminal::release() {
    hangUp();
    // Held past the hang-up, the device's number is not given to another pair: a program
    // that opens the name again finds nothing there rather than someone else's line.
    if (keeper_ >= 0) ::close(keeper_);
    keeper_ = -1;
}

}  // namespace trellybridge::serial
