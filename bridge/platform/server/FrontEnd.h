// The network side of a read-only web API: a listener that speaks HTTP/1.1 over TLS (or
// plain HTTP on a loopback address only), authenticates every request by a bearer token
// or a client certificate before a handler sees it, bounds what each client may cost
// (connections, bytes, seconds), writes one audit line per request, and hands whole
// requests to a pool of worker threads. What an answer says is the handler's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/server/RequestFraming.h"

namespace trellybridge::platform::server {

struct Request {
    std::string method;  // "GET"
    std::string path;    // decoded: "/Patient/12345"
    // The decoded query parameters, in name order.
    std::vector<std::pair<std::string, std::string>> parameters;
    std::string accept;  // the Accept header, empty when not sent
    std::string client;  // who asked: "token NAME" or "certificate SUBJECT"
};

struct Response {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides the usual ones
    // For the audit line, never for the client: what was asked ("read", "search-name"),
    // the identifier it named (only its keyed hash is written) and how it ended.
    std::string operation;
    std::string identifier;
    std::string outcome;
};

using Handler = std::function<Response(const Request&)>;
// The body of an answer the service gives itself (a refused credential, a request too
// large, a full queue): status and a sentence; returns the response to send.
using Refusal = std::function<Response(int status, const std::string& why)>;

struct Timeouts {
    int requestSeconds = 10;  // the handshake, and each request from its first byte to its last
    int idleSeconds = 15;     // a kept-alive connection with no request
    int sendSeconds = 30;     // each answer, from its first byte to its last
};

struct FrontOptions {
    std::string listenAddress = "127.0.0.1";
    std::uint16_t port = 8443;  // 0 picks a free one
    bool plainHttp = false;     // only on a loopback address
    std::string certificateFile, keyFile;
    std::string clientAuthorityFile;  // client certificates from this authority are accepted
    // When not empty, only certificates with one of these subjects (RFC 2253 text, as the
    // audit line shows them) are let through; others from the authority get 403.
    std::vector<std::string> clientSubjects;
    std::string tokensFile;    // NAME TOKEN lines; mode 0600 or stricter, the service's own
    std::string auditLogFile;  // empty: standard error (the journal)
    std::string auditKeyFile;  // the key of the identifier hash; empty: a new one per run
    std::size_t maxConnections = 1000;
    std::size_t workers = 8;           // threads that run handlers
    std::size_t pendingRequests = 64;  // whole requests waiting for a worker; 503 beyond
    FramingLimits limits;
    Timeouts timeouts;
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Reads the credentials and listens; false with `error` set when it cannot.
    virtual bool start(std::string& error) = 0;
    // The port listened on (the one chosen when 0 was asked for).
    virtual std::uint16_t port() const = 0;
    // Serves until SIGINT or SIGTERM (which must be blocked in every thread of the process
    // before it starts), rereading the tokens and reopening the audit file on SIGHUP; then
    // stops accepting, lets the answers under way finish and returns.
    virtual void serveUntilStopped() = 0;
    // Ends serveUntilStopped from another thread.
    virtual void stop() = 0;
};

// What keeps these options from serving: certificate and key (readable, matching, not
// expired, the key not readable by others), the client authority, the tokens file (its
// owner and mode, its lines), the audit files, the listen address (plain HTTP only on a
// loopback address). One sentence each; empty when they can serve.
std::vector<std::string> frontProblems(const FrontOptions& options);

std::unique_ptr<FrontEnd> makeFrontEnd(FrontOptions options, Handler handler, Refusal refusal);

}  // namespace trellybridge::platform::server
