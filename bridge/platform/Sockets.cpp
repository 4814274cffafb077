#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/ThreadContext.h"

namespace trellybridge::sockets {
namespace {

std::atomic<int> started{0};
int& lastFailure() {
    return platform::threadContext().socketFailure;
}
int& lastErrno() {
    return platform::threadContext().socketErrno;
}

// errno as the Windows Sockets number the component's error table knows.
int windowsSocketsNumber(int error) {
    switch (error) {
        case EINTR: return 10004;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE:
        case ENFILE: return 10024;
        case EWOULDBLOCK: return 10035;
        case EINPROGRESS:
        case EALREADY: return 10036;
        case ENOTSOCK:
        case EBADF: return 10038;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH:
        case EHOSTUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET:
        case EPIPE: return 10054;
        case ENOBUFS: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        default: return error;
    }
}

void fail(int error) {
    lastErrno() = error;
    lastFailure() = windowsSocketsNumber(error);
}

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point deadlineAfter(int timeoutMs) {
    return SteadyClock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
}

int millisecondsLeft(SteadyClock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// poll() on one descriptor that a signal does not cut short: the host may install
// handlers without SA_RESTART, and the wait goes on with the time that remains.
int pollOne(pollfd& waiting, int timeoutMs) {
    auto deadline = deadlineAfter(timeoutMs);
    while (true) {
        int ready = ::poll(&waiting, 1, millisecondsLeft(deadline));
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

sockaddr_in addressOf(std::uint32_t address, std::uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = address;
    return in;
}

}  // namespace

int startup() {
    ++started;
    return 0;
}

int cleanup() {
    int count = started.load();
    while (count > 0 && !started.compare_exchange_weak(count, count - 1)) {
    }
    if (count > 0) return 0;
    lastFailure() = 10093;  // WSANOTINITIALISED
    return -1;
}

int startedCount() {
    return started.load();
}

int lastError() {
    return lastFailure();
}

void clearLastError() {
    lastFailure() = lastErrno() = 0;
}

std::string lastErrorText() {
    return lastErrno() == 0 ? std::string() : std::string(std::strerror(lastErrno()));
}

std::uint32_t inetAddr(std::string_view dottedText) {
    // inet_aton accepts what inet_addr did ("127.1", "0x7f.1"), unlike inet_pton.
    in_addr parsed{};
    std::string text(dottedText);
    if (text.find('\0') != std::string::npos || ::inet_aton(text.c_str(), &parsed) == 0)
        return kAddressNone;
    return parsed.s_addr;
}

bool isLoopback(std::uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

std::string dotted(std::uint32_t address) {
    auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

Socket createStream() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail(errno);
    return fd < 0 ? kInvalidSocket : fd;
}

bool bindLocal(Socket socket, std::uint32_t localAddress) {
    sockaddr_in local = addressOf(localAddress, 0);
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) return true;
    fail(errno);
    return false;
}

bool connect(Socket socket, std::uint32_t remoteAddress, std::uint16_t port, int timeoutMs) {
    sockaddr_in remote = addressOf(remoteAddress, port);
    int flags = ::fcntl(socket, F_GETFL);
    ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    int result = ::connect(socket, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    if (result != 0 && errno == EINPROGRESS) {
        pollfd waiting{socket, POLLOUT, 0};
        int ready = pollOne(waiting, timeoutMs);
        if (ready == 0) {
            ::fcntl(socket, F_SETFL, flags);
            fail(ETIMEDOUT);
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length);
        result = ready < 0 ? -1 : (error == 0 ? 0 : (errno = error, -1));
    }
    int savedErrno = errno;
    ::fcntl(socket, F_SETFL, flags);
    if (result == 0) return true;
    fail(savedErrno);
    return false;
}

long send(Socket socket, std::string_view bytes, int timeoutMs) {
    auto deadline = deadlineAfter(timeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t sent =
            ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(errno);
            return -1;
        }
        pollfd waiting{socket, POLLOUT, 0};
        int ready = pollOne(waiting, millisecondsLeft(deadline));
        if (ready < 0) {
            fail(errno);
            return -1;
        }
        if (ready == 0) {
            fail(ETIMEDOUT);
            return -1;
        }
    }
    return static_cast<long>(done);
}

int waitReadable(Socket socket, int timeoutMs) {
    pollfd waiting{socket, POLLIN, 0};
    int ready = pollOne(waiting, timeoutMs);
    if (ready < 0) fail(errno);
    if (ready > 0 && (waiting.revents & POLLNVAL)) {
        fail(EBADF);
        return -1;
    }
    return ready > 0 ? 1 : ready;
}

long receive(Socket socket, std::string& bytes, size_t maximum) {
    bytes.resize(maximum);
    ssize_t received;
    do {
        received = ::recv(socket, bytes.data(), maximum, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        fail(errno);
        bytes.clear();
        return -1;
    }
    bytes.resize(static_cast<size_t>(received));
    return received;
}

bool shutdown(Socket socket, int how) {
    if (::shutdown(socket, how == 1 ? SHUT_WR : SHUT_RDWR) == 0) return true;
    fail(errno);
    return false;
}

bool close(Socket socket) {
    if (::close(socket) == 0) return true;
    fail(errno);
    return false;
}

Socket listenOn(std::uint32_t address, std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail(errno);
        return kInvalidSocket;
    }
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local = addressOf(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd, 16) != 0) {
        fail(errno);
        ::close(fd);
        return kInvalidSocket;
    }
    return fd;
}

std::uint16_t localPort(Socket socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

Socket accept(Socket listener) {
    int fd;
    do {
        fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(errno);
    return fd < 0 ? kInvalidSocket : fd;
}

std::string localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::optional<std::uint32_t> resolve(std::string_view hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string name(hostName);
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    std::uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

std::string nameOf(std::uint32_t address) {
    sockaddr_in in = addressOf(address, 0);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD) != 0)
        return {};
    return host;
}

}  // namespace trellybridge::sockets
