#include "platform/server/FrontEnd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/server/AuditLog.h"
#include "platform/server/BearerTokens.h"
#include "platform/server/ConnectionLoop.h"
#include "platform/server/HttpExchange.h"
#include "platform/server/TlsContext.h"

namespace trellybridge::platform::server {
namespace {

// Descriptors kept beside the connections: the listener, the logs, the vendor's sockets,
// serial lines and files of the requests under way.
constexpr rlim_t kDescriptorsBesideConnections = 256;

struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    bool loopback = false;
};

bool parseAddress(const std::string& text, std::uint16_t port, ListenAddress& parsed) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&parsed.address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&parsed.address);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        parsed.length = sizeof(sockaddr_in);
        parsed.loopback = (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
        return true;
    }
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        parsed.length = sizeof(sockaddr_in6);
        parsed.loopback = IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
        return true;
    }
    return false;
}

// Raises the soft limit of open descriptors to the hard one; the limit it has then.
rlim_t descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

void notice(const std::string& line) {
    std::cerr << "trellybridge serve: " << line << std::endl;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + line;
    return text;
}

class Service : public FrontEnd {
public:
    Service(FrontOptions options, Handler handler, Refusal refusal)
        : options_(std::move(options)),
          handler_(std::move(handler)),
          refusal_(std::move(refusal)) {}

    ~Service() override {
        loop_.reset();
        exchange_.reset();
        if (listener_ >= 0) ::close(listener_);
    }

    bool start(std::string& error) override {
        std::vector<std::string> problems = frontProblems(options_);
        if (problems.empty() && !options_.plainHttp)
            tls_ = makeTlsContext(
                {options_.certificateFile, options_.keyFile, options_.clientAuthorityFile},
                problems);
        if (problems.empty() && !options_.tokensFile.empty()) loadTokens(problems);
        if (problems.empty()) audit_.open(options_.auditLogFile, options_.auditKeyFile, problems);
        if (problems.empty()) listen(problems);
        if (!problems.empty()) {
            error = joined(problems);
            return false;
        }
        HttpExchange::Settings settings;
        settings.handler = handler_;
        settings.refusal = refusal_;
        settings.tokens = [this](const std::string& token) -> std::optional<std::string> {
            std::shared_ptr<const BearerTokens> tokens;
            {
                std::lock_guard lock(tokensMutex_);
                tokens = tokens_;
            }
            if (!tokens) return std::nullopt;
            return tokens->nameOf(token);
        };
        settings.clientSubjects = options_.clientSubjects;
        settings.certificatesAccepted =
            !options_.clientAuthorityFile.empty() && !options_.plainHttp;
        settings.keepAliveSeconds = options_.timeouts.idleSeconds;
        exchange_ = std::make_unique<HttpExchange>(std::move(settings));
        loop_ = std::make_unique<ConnectionLoop>(listener_, tls_.get(), options_, *exchange_,
                                                 audit_, refusal_);
        return true;
    }

    std::uint16_t port() const override { return port_; }

    void serveUntilStopped() override {
        std::thread looping([this] { loop_->run(); });
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&signals, signal);
        while (!stopAsked_) {
            timespec tick{0, 250'000'000};
            int signal = ::sigtimedwait(&signals, nullptr, &tick);
            if (signal == SIGHUP) {
                reread();
            } else if (signal == SIGINT || signal == SIGTERM) {
                notice("stopping: the requests under way are finished first");
                break;
            }
        }
        loop_->stop();
        looping.join();
    }

    void stop() override { stopAsked_ = true; }

private:
    bool listen(std::vector<std::string>& problems) {
        ListenAddress address;
        parseAddress(options_.listenAddress, options_.port, address);
        listener_ =
            ::socket(address.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address.address), address.length) != 0 ||
            ::listen(listener_, SOMAXCONN) != 0) {
            problems.push_back("cannot listen on " + options_.listenAddress + " port " +
                               std::to_string(options_.port) + ": " + std::strerror(errno));
            return false;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
        port_ =
            ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(bound).sin_port
                                             : reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
        return true;
    }

    void loadTokens(std::vector<std::string>& problems) {
        BearerTokens tokens = BearerTokens::read(options_.tokensFile, problems);
        if (tokens.size() == 0) return;
        std::lock_guard lock(tokensMutex_);
        tokens_ = std::make_shared<const BearerTokens>(std::move(tokens));
    }

    // SIGHUP: the tokens file again (kept as it was when the new one has a problem) and the
    // audit file reopened after a rotation.
    void reread() {
        audit_.reopen();
        if (options_.tokensFile.empty()) return;
        std::vector<std::string> problems;
        loadTokens(problems);
        if (!problems.empty())
            notice("the tokens file was not reread, the tokens stay as they were: " +
                   joined(problems));
        else
            notice("the tokens file was reread");
    }

    FrontOptions options_;
    Handler handler_;
    Refusal refusal_;
    TlsContext tls_;
    AuditLog audit_;
    std::mutex tokensMutex_;
    std::shared_ptr<const BearerTokens> tokens_;
    std::unique_ptr<HttpExchange> exchange_;
    std::unique_ptr<ConnectionLoop> loop_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopAsked_{false};
};

}  // namespace

std::vector<std::string> frontProblems(const FrontOptions& options) {
    std::vector<std::string> problems;
    ListenAddress address;
    if (!parseAddress(options.listenAddress, options.port, address))
        problems.push_back("--listen " + options.listenAddress + " is not an IPv4 or IPv6 address");
    else if (options.plainHttp && !address.loopback)
        problems.push_back(
            "plain HTTP is served on a loopback address only (127.0.0.1 or ::1), "
            "not on " +
            options.listenAddress);
    if (!options.plainHttp) {
        if (options.certificateFile.empty() || options.keyFile.empty())
            problems.emplace_back(
                "TLS needs the server's certificate and key (--certificate, "
                "--key)");
        else
            makeTlsContext({options.certificateFile, options.keyFile, options.clientAuthorityFile},
                           problems);
    }
    bool certificates = !options.clientAuthorityFile.empty() && !options.plainHttp;
    if (options.tokensFile.empty() && !certificates)
        problems.emplace_back(
            "no client could be let in: give a tokens file (--tokens) or the "
            "authority of client certificates (--client-ca)");
    if (!options.tokensFile.empty()) BearerTokens::read(options.tokensFile, problems);
    if (!options.clientSubjects.empty() && !certificates)
        problems.emplace_back("client subjects are allowed only with --client-ca over TLS");
    if (options.workers == 0 || options.pendingRequests == 0 || options.maxConnections == 0)
        problems.emplace_back(
            "the workers, the waiting requests and the connections must be "
            "1 or more");
    rlim_t descriptors = descriptorLimit();
    if (options.maxConnections + kDescriptorsBesideConnections > descriptors)
        problems.push_back(std::to_string(options.maxConnections) + " connections need " +
                           std::to_string(options.maxConnections + kDescriptorsBesideConnections) +
                           " open files, and this process may have " + std::to_string(descriptors) +
                           " (LimitNOFILE=, ulimit -n)");
    AuditLog audit;
    audit.open(options.auditLogFile, options.auditKeyFile, problems);
    return problems;
}

std::unique_ptr<FrontEnd> makeFrontEnd(FrontOptions options, Handler handler, Refusal refusal) {
    return std::make_unique<Service>(std::move(options), std::move(handler), std::move(refusal));
}

}  // namespace trellybridge::platform::server
