#include "platform/server/ConnectionLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/server/RequestFraming.h"
#include "platform/server/TlsContext.h"

namespace trellybridge::platform::server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSweepMs = 250;
constexpr std::size_t kAcceptsPerWake = 256;
constexpr std::size_t kReadChunk = std::size_t{16} * 1024;
constexpr int kRequestsPerConnection = 100;
constexpr auto kLinger = std::chrono::seconds(2);  // reading what a refused client still sends
constexpr std::size_t kLingerBytes = std::size_t{1024} * 1024;  // ... and at most this much of it
constexpr auto kDrainLimit = std::chrono::seconds(120);

enum class Phase { Handshake, Reading, Working, Writing, Closing };

struct Connection {
    int fd = -1;
    std::uint64_t id = 0;
    SSL* ssl = nullptr;
    Phase phase = Phase::Reading;
    std::string in, out;
    std::size_t written = 0;
    std::size_t discarded = 0;
    bool closeAfterWrite = false;
    bool requestStarted = false;  // bytes of a request have come
    bool gone = false;            // the client hung up while its request was worked on
    int requests = 0;
    std::uint32_t events = 0;
    Clock::time_point deadline, lastActive;
    Peer peer;
};

struct Job {
    std::uint64_t connection = 0;
    std::string request;
    Peer peer;
    bool close = false;
    Clock::time_point start;
};

struct Done {
    std::uint64_t connection = 0;
    Exchanged answer;
};

std::string addressText(const sockaddr_storage& address, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    return text;
}

}  // namespace

struct ConnectionLoop::Impl {
    int listener;
    SSL_CTX* tls;
    const FrontOptions& options;
    HttpExchange& exchange;
    AuditLog& audit;
    Refusal refusal;

    int poll = -1;
    int wake = -1;
    std::unordered_map<int, std::unique_ptr<Connection>> byFd;
    std::unordered_map<std::uint64_t, Connection*> byId;
    std::uint64_t nextId = 1;
    bool accepting = true;
    Clock::time_point acceptPausedUntil{};
    std::atomic<bool> stopAsked{false};
    bool draining = false;
    Clock::time_point drainEnd{};

    // The workers and what passes between them and this thread.
    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<Job> jobs;
    std::vector<Done> done;
    bool workersEnd = false;
    std::vector<std::thread> workers;

    Impl(int listenerFd, SSL_CTX* context, const FrontOptions& o, HttpExchange& e, AuditLog& a,
         Refusal r)
        : listener(listenerFd),
          tls(context),
          options(o),
          exchange(e),
          audit(a),
          refusal(std::move(r)) {
        poll = ::epoll_create1(EPOLL_CLOEXEC);
        wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        watch(listener, EPOLLIN);
        watch(wake, EPOLLIN);
        for (std::size_t i = 0; i < options.workers; ++i) workers.emplace_back([this] { work(); });
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            workersEnd = true;
        }
        jobReady.notify_all();
        for (std::thread& worker : workers) worker.join();
        while (!byFd.empty()) close(*byFd.begin()->second);
        ::close(wake);
        ::close(poll);
    }

    void watch(int fd, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(poll, EPOLL_CTL_ADD, fd, &event);
    }

    void want(Connection& c, std::uint32_t events) {
        if (c.events == events) return;
        epoll_event event{};
        event.events = events;
        event.data.fd = c.fd;
        ::epoll_ctl(poll, EPOLL_CTL_MOD, c.fd, &event);
        c.events = events;
    }

    // ---- the workers ----

    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex);
                jobReady.wait(lock, [this] { return workersEnd || !jobs.empty(); });
                if (jobs.empty()) return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            Done finished{job.connection, exchange.answer(job.request, job.peer, job.close)};
            finished.answer.audit.milliseconds =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - job.start)
                    .count();
            audit.write(finished.answer.audit);
            {
                std::lock_guard lock(mutex);
                done.push_back(std::move(finished));
            }
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
        }
    }

    // Hands a whole request to the workers; false when as many wait as may.
    bool dispatch(Connection& c, std::string request) {
        {
            std::lock_guard lock(mutex);
            if (jobs.size() >= options.pendingRequests) return false;
            jobs.push_back(Job{c.id, std::move(request), c.peer,
                               draining || c.requests >= kRequestsPerConnection, Clock::now()});
        }
        jobReady.notify_one();
        return true;
    }

    // ---- the loop ----

    void run() {
        auto lastSweep = Clock::now();
        std::vector<epoll_event> events(256);
        for (;;) {
            if (stopAsked && !draining) beginDraining();
            if (draining && (byFd.empty() || Clock::now() > drainEnd)) return;
            int ready =
                ::epoll_wait(poll, events.data(), static_cast<int>(events.size()), kSweepMs);
            for (int i = 0; i < ready; ++i) {
                int fd = events[static_cast<size_t>(i)].data.fd;
                std::uint32_t what = events[static_cast<size_t>(i)].events;
                if (fd == listener)
                    acceptAll();
                else if (fd == wake)
                    collectDone();
                else if (auto found = byFd.find(fd); found != byFd.end())
                    service(*found->second, what);
            }
            if (Clock::now() - lastSweep >= std::chrono::milliseconds(kSweepMs)) {
                lastSweep = Clock::now();
                sweep(lastSweep);
            }
        }
    }

    void beginDraining() {
        draining = true;
        drainEnd = Clock::now() + kDrainLimit;
        ::epoll_ctl(poll, EPOLL_CTL_DEL, listener, nullptr);
        accepting = false;
        std::vector<Connection*> idle;
        for (auto& [fd, c] : byFd)
            if (isIdle(*c)) idle.push_back(c.get());
        for (Connection* c : idle) close(*c);
    }

    static bool isIdle(const Connection& c) {
        return c.phase == Phase::Handshake ||
               (c.phase == Phase::Reading && !c.requestStarted && c.in.empty());
    }

    void acceptAll() {
        for (std::size_t n = 0; n < kAcceptsPerWake; ++n) {
            sockaddr_storage address{};
            socklen_t length = sizeof address;
            int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    pauseAccepting();
                return;
            }
            if (byFd.size() >= options.maxConnections && !evictIdlest()) {
                ::close(fd);
                continue;
            }
            admit(fd, address);
        }
    }

    // Out of descriptors: a moment without accepting, rather than a loop that cannot.
    void pauseAccepting() {
        if (!accepting) return;
        accepting = false;
        ::epoll_ctl(poll, EPOLL_CTL_DEL, listener, nullptr);
        acceptPausedUntil = Clock::now() + std::chrono::milliseconds(kSweepMs);
    }

    bool evictIdlest() {
        Connection* idlest = nullptr;
        for (auto& [fd, c] : byFd)
            if (isIdle(*c) && (!idlest || c->lastActive < idlest->lastActive)) idlest = c.get();
        if (!idlest) return false;
        close(*idlest);
        return true;
    }

    void admit(int fd, const sockaddr_storage& address) {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->id = nextId++;
        c->peer.address = addressText(address, c->peer.port);
        c->lastActive = Clock::now();
        if (tls) {
            c->ssl = SSL_new(tls);
            if (!c->ssl || SSL_set_fd(c->ssl, fd) != 1) {
                if (c->ssl) SSL_free(c->ssl);
                ERR_clear_error();
                ::close(fd);
                return;
            }
            SSL_set_accept_state(c->ssl);
            c->phase = Phase::Handshake;
            c->deadline = c->lastActive + std::chrono::seconds(options.timeouts.requestSeconds);
        } else {
            c->phase = Phase::Reading;
            c->deadline = c->lastActive + std::chrono::seconds(options.timeouts.idleSeconds);
        }
        c->events = EPOLLIN;
        watch(fd, EPOLLIN);
        byId[c->id] = c.get();
        byFd[fd] = std::move(c);
    }

    void close(Connection& c) {
        if (c.ssl) SSL_free(c.ssl);
        ERR_clear_error();
        ::close(c.fd);  // leaves the epoll set with it
        byId.erase(c.id);
        byFd.erase(c.fd);  // c is gone from here on
    }

    void service(Connection& c, std::uint32_t events) {
        c.lastActive = Clock::now();
        if (c.phase == Phase::Working) {
            // Only a hang-up reaches a connection being worked on; its answer is not sent.
            c.gone = true;
            ::epoll_ctl(poll, EPOLL_CTL_DEL, c.fd, nullptr);
            c.events = 0;
            return;
        }
        if ((events & EPOLLERR) != 0) return close(c);
        switch (c.phase) {
            case Phase::Handshake: return handshake(c);
            case Phase::Reading: return readRequest(c);
            case Phase::Writing: return writeAnswer(c);
            case Phase::Closing: return discard(c);
            case Phase::Working: return;
        }
    }

    // The wait a TLS call asks for, or false when it failed for good.
    bool waitFor(Connection& c, int result) {
        int error = SSL_get_error(c.ssl, result);
        ERR_clear_error();
        if (error == SSL_ERROR_WANT_READ) return want(c, EPOLLIN), true;
        if (error == SSL_ERROR_WANT_WRITE) return want(c, EPOLLOUT), true;
        return false;
    }

    void handshake(Connection& c) {
        int result = SSL_do_handshake(c.ssl);
        if (result != 1) {
            if (!waitFor(c, result)) close(c);
            return;
        }
        c.peer.certificateSubject = peerSubject(c.ssl);
        c.peer.certificateProblem = peerCertificateProblem(c.ssl);
        startReading(c);
    }

    void startReading(Connection& c) {
        c.phase = Phase::Reading;
        c.requestStarted = !c.in.empty();
        c.deadline =
            Clock::now() + std::chrono::seconds(c.requestStarted ? options.timeouts.requestSeconds
                                                                 : options.timeouts.idleSeconds);
        if (!c.requestStarted) c.in.shrink_to_fit();
        want(c, EPOLLIN);
        readRequest(c);  // TLS may hold decrypted bytes, and pipelined ones may be whole
    }

    // Reads what has come, up to one request's worth; false when the connection ended.
    bool readSome(Connection& c) {
        const std::size_t cap =
            options.limits.maxHeadBytes + options.limits.maxBodyBytes + kReadChunk;
        char chunk[kReadChunk];
        while (c.in.size() < cap) {
            std::size_t room = std::min(sizeof chunk, cap - c.in.size());
            if (c.ssl) {
                int n = SSL_read(c.ssl, chunk, static_cast<int>(room));
                if (n <= 0) return waitFor(c, n);
                c.in.append(chunk, static_cast<size_t>(n));
            } else {
                ssize_t n = ::recv(c.fd, chunk, room, 0);
                if (n == 0) return false;
                if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
                c.in.append(chunk, static_cast<size_t>(n));
            }
        }
        return true;
    }

    void readRequest(Connection& c) {
        if (!readSome(c)) return close(c);
        if (c.in.empty()) return;
        if (!c.requestStarted) {
            c.requestStarted = true;
            c.deadline = Clock::now() + std::chrono::seconds(options.timeouts.requestSeconds);
        }
        Framing framing = frameRequest(c.in, options.limits);
        if (framing.state == Framing::State::Incomplete) return;
        if (framing.state == Framing::State::Refused)
            return refuse(c, framing.status, framing.reason, {});
        c.in.erase(0, framing.consumed);
        ++c.requests;
        if (draining) return refuse(c, 503, "the service is stopping", {{"Retry-After", "5"}});
        if (!dispatch(c, std::move(framing.request)))
            return refuse(c, 503, "the service is busy: too many requests are waiting",
                          {{"Retry-After", "1"}});
        c.phase = Phase::Working;
        want(c, 0);
    }

    // Answers without the workers, then closes: the request was not read whole or not
    // taken. Audited here, since no worker saw it.
    void refuse(Connection& c, int status, const std::string& why,
                std::vector<std::pair<std::string, std::string>> headers) {
        Response response = refusal(status, why);
        for (auto& header : headers) response.headers.push_back(std::move(header));
        AuditEntry entry;
        entry.client = "-";
        entry.address = c.peer.address;
        entry.operation = "-";
        entry.status = status;
        entry.outcome = why;
        audit.write(entry);
        startWriting(c, plainAnswer(response, true), true);
    }

    void startWriting(Connection& c, std::string answer, bool closeAfter) {
        c.out = std::move(answer);
        c.written = 0;
        c.closeAfterWrite = closeAfter;
        c.phase = Phase::Writing;
        c.deadline = Clock::now() + std::chrono::seconds(options.timeouts.sendSeconds);
        want(c, EPOLLOUT);
        writeAnswer(c);
    }

    void writeAnswer(Connection& c) {
        while (c.written < c.out.size()) {
            std::size_t left = c.out.size() - c.written;
            if (c.ssl) {
                int n = SSL_write(c.ssl, c.out.data() + c.written,
                                  static_cast<int>(std::min<std::size_t>(left, 1 << 20)));
                if (n <= 0) {
                    if (!waitFor(c, n)) close(c);
                    return;
                }
                c.written += static_cast<size_t>(n);
            } else {
                ssize_t n = ::send(c.fd, c.out.data() + c.written, left, MSG_NOSIGNAL);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                    return want(c, EPOLLOUT);
                if (n <= 0) return close(c);
                c.written += static_cast<size_t>(n);
            }
        }
        c.out.clear();
        c.out.shrink_to_fit();
        if (c.closeAfterWrite) return beginClosing(c);
        startReading(c);
    }

    // Says goodbye and reads what the client still sends for a moment, so that the answer
    // is not lost to a reset when the client is still sending.
    void beginClosing(Connection& c) {
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            ERR_clear_error();
        }
        ::shutdown(c.fd, SHUT_WR);
        c.phase = Phase::Closing;
        c.in.clear();
        c.in.shrink_to_fit();
        c.deadline = Clock::now() + kLinger;
        want(c, EPOLLIN);
    }

    void discard(Connection& c) {
        char chunk[kReadChunk];
        for (;;) {
            ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            c.discarded += n > 0 ? static_cast<size_t>(n) : 0;
            if (n <= 0 || c.discarded > kLingerBytes) return close(c);
        }
    }

    void collectDone() {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(wake, &count, sizeof count);
        std::vector<Done> finished;
        {
            std::lock_guard lock(mutex);
            finished.swap(done);
        }
        for (Done& d : finished) {
            auto found = byId.find(d.connection);
            if (found == byId.end()) continue;
            Connection& c = *found->second;
            if (c.gone) {
                close(c);
                continue;
            }
            startWriting(c, std::move(d.answer.bytes), d.answer.close || draining);
        }
    }

    void sweep(Clock::time_point now) {
        if (!accepting && !draining && now >= acceptPausedUntil) {
            accepting = true;
            watch(listener, EPOLLIN);
        }
        std::vector<Connection*> late;
        for (auto& [fd, c] : byFd)
            if (c->phase != Phase::Working && now > c->deadline) late.push_back(c.get());
        for (Connection* c : late) {
            if (c->phase == Phase::Reading && c->requestStarted)
                refuse(*c, 408, "the request did not arrive in time", {});
            else
                close(*c);
        }
    }
};

ConnectionLoop::ConnectionLoop(int listener, ssl_ctx_st* tls, const FrontOptions& options,
                               HttpExchange& exchange, AuditLog& audit, Refusal refusal)
    : impl_(std::make_unique<Impl>(listener, tls, options, exchange, audit, std::move(refusal))) {}

ConnectionLoop::~ConnectionLoop() = default;

void ConnectionLoop::run() {
    impl_->run();
}

void ConnectionLoop::stop() {
    impl_->stopAsked = true;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(impl_->wake, &one, sizeof one);
}

}  // namespace trellybridge::platform::server
