#include "tcp/TcpConnection.h"

#include <algorithm>
#include <chrono>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "platform/Toolkit.h"
#include "trellybridge/Variant.h"

namespace trellybridge::tcp {
namespace {

constexpr size_t kReceiveBuffer = 10000;
constexpr int kPauseEndsAnswerMs = 1000;

std::string errorText(std::int32_t number) {
    switch (number) {
        case -1:
            return "INNADDR_NONE: The passed-in string does not contain a legitimate Internet "
                   "address (for example, if a "
                   "portion of an 'a.b.c.d' address exceeds 255), inet_addr returns the value "
                   "INADDR_NONE";
        case 10004: return "WSAEINTR: The (blocking) call was canceled using WSACancelBlockingCall";
        case 10013:
            return "The requested address is a broadcast address, but the appropriate flag was not "
                   "set";
        case 10014: return "WSAEFAULT: The namelen argument is incorrect";
        case 10022:
            return "WSAEINVAL: The Windows Sockets version specified by the application is not "
                   "supported by this DLL";
        case 10024: return "WSAEMFILE: No more file descriptors are available";
        case 10035:
            return "WSAEWOULDBLOCK: The socket is marked as nonblocking and the connection cannot "
                   "be completed "
                   "immediately. It is possible to select the socket while it is connecting by "
                   "selecting it for writing";
        case 10036: return "WSAEINPROGRESS: A blocking Windows Sockets operation is in progress";
        case 10038: return "WSAENOTSOCK: The descriptor is not a socket";
        case 10040:
            return "The socket is of type SOCK_DGRAM, and the datagram is larger than the maximum "
                   "supported by the "
                   "Windows Sockets implementation";
        case 10041:
            return "WSAEPROTOTYPE: The specified protocol is the wrong type for this socket";
        case 10043: return "WSAEPROTONOSUPPORT: The specified protocol is not supported";
        case 10044:
            return "WSAESOCKTNOSUPPORT: The specified socket type is not supported in this address "
                   "family";
        case 10045: return "MSG_OOB was specified, but the socket is not of type SOCK_STREAM";
        case 10047: return "WSAEAFNOSUPPORT: The specified address family is not supported";
        case 10048: return "WSAEADDRINUSE: The specified address is already in use";
        case 10049:
            return "WSAEADDRNOTAVAIL: The specified address is not available from the local "
                   "computer";
        case 10050:
            return "WSAENETDOWN: The Windows Sockets implementation has detected that the network "
                   "subsystem has failed";
        case 10051:
            return "WSAENETUNREACH: The network cant be reached from this host at this time";
        case 10052:
            return "The connection must be reset because the Windows Sockets implementation "
                   "dropped it";
        case 10053: return "The virtual circuit was aborted due to timeout or other failure";
        case 10054: return "The virtual circuit was reset by the remote side";
        case 10055: return "WSAENOBUFS: No buffer space is available. The socket cannot be created";
        case 10056: return "WSAEISCONN: The socket is already connected";
        case 10057: return "The socket is not connected";
        case 10058:
            return "The socket has been shutdown it is not possible to send on a socket after "
                   "shutdown has been invoked "
                   "with how set to 1 or 2";
        case 10060:
            return "WSAETIMEDOUT: Attempt to connect timed out without establishing a connection";
        case 10061: return "WSAECONNREFUSED: The attempt to connect was forcefully rejected";
        case 10091:
            return "WSASYSNOTREADY: Indicates that the underlying network subsystem is not ready "
                   "for network "
                   "communication";
        case 10092:
            return "WSAVERNOTSUPPORTED: The version of Windows Sockets support requested is not "
                   "provided by this "
                   "particular Windows Sockets implementation";
        case 10093:
            return "WSANOTINITIALISED: A successful WSAStartup must occur before using this "
                   "function";
    }
    return "Case unknown in TCPIP::tcpSetLastErrorCode = " + std::to_string(number);
}

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
}

// Without a {LOCAL IP:...} pin, the address found for this machine's name is bound only
// when it can reach another host: on a standard install the name resolves to 127.0.1.1,
// and a socket bound to loopback cannot connect anywhere else, so the system chooses
// the source address instead.
bool reachesOtherHosts(std::uint32_t address) {
    return address != sockets::kAddressNone && address != 0 && !sockets::isLoopback(address);
}

}  // namespace

ConnectionLimits connectionLimits(const RequestSettings& settings) {
    return {settings.waitBoundMs, settings.keywords.has(keyword::TcpForce),
            settings.keywords.localIp().has_value()};
}

std::int32_t portNumberOf(std::string_view text) {
    auto port = Variant(text::trimSpaces(std::string(text))).toNumber();
    return port && *port >= 1 && *port <= 65535 && *port == static_cast<std::int32_t>(*port)
               ? static_cast<std::int32_t>(*port)
               : 0;
}

std::string tcpSetLastErrorCode(std::int32_t number) {
    return ": " + errorText(number);
}

std::string systemErrorText() {
    return sockets::lastErrorText();
}

Connection::~Connection() {
    // Whatever the owner left open ends with it, without a word: no one is left to tell.
    closeSocket();
    for (; libraryStarts_ > 0; --libraryStarts_) sockets::cleanup();
}

void Connection::closeSocket() {
    if (socket_ != sockets::kInvalidSocket) sockets::close(socket_);
    socket_ = sockets::kInvalidSocket;
}

bool Connection::receiveFailed(std::string& data, std::int32_t& length) {
    lastErrorText_ = tcpSetLastErrorCode(sockets::lastError());
    data.clear();
    length = 0;
    record(errc::ReceiveFailed);
    return false;
}

void Connection::record(errc code, std::string_view description) const {
    if (reasons_) reasons_->record(code, description);
}

Expected<void> Connection::openFailed() {
    // The system's reason is taken before the close can change it.
    std::string reason = systemErrorText();
    // A failed open closes the socket it created, so no descriptor outlives the attempt;
    // the library stays started until the session's close ends it.
    closeSocket();
    connected_ = false;
    return fails(errc::PortOpenFailed, reason);
}

Expected<void> Connection::open(std::string_view localIP, std::string_view remoteIP,
                                std::int32_t port) {
    port_ = port;
    closeSocket();  // a socket left by an earlier open is not reused
    connected_ = false;
    sockets::clearLastError();
    sockets::startup();
    ++libraryStarts_;
    if (port_ <= 0 || port_ > 65535) return openFailed();
    socket_ = sockets::createStream();
    if (socket_ == sockets::kInvalidSocket) return openFailed();
    std::uint32_t localAddress = sockets::inetAddr(localIP);
    if (limits_.pinnedLocal && localAddress == sockets::kAddressNone) return openFailed();
    if ((limits_.pinnedLocal || reachesOtherHosts(localAddress)) &&
        !sockets::bindLocal(socket_, localAddress))
        return openFailed();
    std::uint32_t remoteAddress = sockets::inetAddr(remoteIP);
    if (remoteAddress == sockets::kAddressNone) return openFailed();
    if (!sockets::connect(socket_, remoteAddress, static_cast<std::uint16_t>(port_),
                          limits_.waitBoundMs))
        return openFailed();
    connected_ = true;
    return {};
}

bool Connection::sendRequest(std::string_view request) {
    if (!connected_) return false;
    return sendData(std::string(request) + "\r\n");
}

bool Connection::sendData(std::string_view data) {
    if (!connected_) {
        record(errc::SendWithoutConnection);
        return false;
    }
    if (sockets::send(socket_, data, limits_.waitBoundMs) < 0) {
        record(errc::SendFailed);
        return false;
    }
    return true;
}

bool Connection::dataWaiting() const {
    return sockets::waitReadable(socket_, 1000) >= 1;
}

bool Connection::recvData(std::string& data, std::int32_t& length) {
    if (!connected_) {
        record(errc::ReceiveWithoutConnection);
        return false;
    }
    long received = sockets::receive(socket_, data, kReceiveBuffer);
    if (received < 0) return receiveFailed(data, length);
    length = static_cast<std::int32_t>(received);
    return true;
}

AnswerRead Connection::readAnswer(std::string& answer, const AnswerEnd& complete) {
    if (!connected_) {
        record(errc::ReceiveWithoutConnection);
        readFailure_ = sockets::lastErrorText();
        return AnswerRead::Failed;
    }
    const size_t limit = maxAnswerBytes();
    const size_t start = answer.size();
    auto deadline = Clock::now() + std::chrono::milliseconds(limits_.waitBoundMs);
    std::string chunk;
    // A reset, the vendor's close or a pause past the bound: what arrived is all there is.
    auto stopped = [&] {
        return answer.size() > start ? AnswerRead::Unfinished : AnswerRead::Closed;
    };
    // Once the answer has begun, a second without more of it ends the read (the poll's
    // second): a vendor that keeps its connection open never holds the request longer.
    auto nextWait = [&] {
        int left = remainingMs(deadline);
        return answer.size() > start ? std::min(left, kPauseEndsAnswerMs) : left;
    };
    while (sockets::waitReadable(socket_, nextWait()) == 1) {
        std::int32_t length = 0;
        if (!recvData(chunk, length)) {
            if (answer.size() > start) return AnswerRead::Unfinished;
            readFailure_ = sockets::lastErrorText();
            return AnswerRead::Failed;
        }
        if (length == 0) return stopped();  // the vendor closed its side
        if (answer.size() - start + chunk.size() > limit) return AnswerRead::TooLarge;
        size_t newFrom = answer.size();
        answer += chunk;
        if (complete(answer, newFrom)) return AnswerRead::Complete;
    }
    return stopped();
}

bool resultEndArrived(const std::string& answer, size_t newFrom) {
    // The tag may straddle two reads: look from a few characters before the new ones.
    size_t from = newFrom >= 8 ? newFrom - 8 : 0;
    return text::containsUpperCased(std::string_view(answer).substr(from), "</RESULT>");
}

bool Connection::recvResult(std::string& data, std::int32_t& length) {
    length = 0;
    AnswerRead read = readAnswer(data, [&length](const std::string& answer, size_t newFrom) {
        length = static_cast<std::int32_t>(answer.size() - newFrom);  // the last read's
        return resultEndArrived(answer, newFrom);
    });
    if (read != AnswerRead::Failed && read != AnswerRead::TooLarge) return true;
    data.clear();
    length = 0;
    return false;
}

bool Connection::close(CloseMode mode) {
    connected_ = false;
    bool normal = mode == CloseMode::Normal && !limits_.forceClose;
    // Only a library that an open started is ended: a session that never opened one
    // has nothing to end and no error to report.
    bool started = libraryStarts_ > 0;
    if (started) --libraryStarts_;
    if (!normal) {
        if (socket_ != sockets::kInvalidSocket) sockets::shutdown(socket_, 2);
        closeSocket();
        if (started) tcpCleanup();
        return true;  // there is no blocking call left to cancel
    }
    if (socket_ != sockets::kInvalidSocket) {
        sockets::shutdown(socket_, 1);
        // Drain what the peer still sends until it closes, within the wait bound.
        auto deadline = Clock::now() + std::chrono::milliseconds(limits_.waitBoundMs);
        std::string discarded;
        while (sockets::waitReadable(socket_, remainingMs(deadline)) == 1 &&
               sockets::receive(socket_, discarded, kReceiveBuffer) > 0) {
        }
        sockets::shutdown(socket_, 2);
        closeSocket();
    }
    if (started && sockets::cleanup() != 0) {
        lastErrorText_ = tcpSetLastErrorCode(sockets::lastError());
        record(errc::SocketLibrary, lastErrorText_);
    }
    return true;
}

bool tcpStartup() {
    return sockets::startup() == 0;
}

bool tcpCleanup() {
    // The look-ups that call this end each start they made, so a failure here is our own
    // fault: shown, not put in a request's error list.
    if (sockets::cleanup() == 0) return true;
    ui::toolkit().messageBox("Windows Sockets error occurred in Cleanup.", "",
                             ui::Icon::Exclamation);
    return false;
}

}  // namespace trellybridge::tcp
