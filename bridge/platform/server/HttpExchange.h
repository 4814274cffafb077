// One whole request, already framed and bounded, read and answered by cpp-httplib without
// a socket: the request line, headers, target and query are parsed by it, the answer is
// written by it, and in between the request is authenticated and handed to the handler.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/server/AuditLog.h"
#include "platform/server/FrontEnd.h"

namespace trellybridge::platform::server {

// What the connection knows of its client.
struct Peer {
    std::string address;
    int port = 0;
    std::string certificateSubject;  // empty without a certificate
    std::string certificateProblem;  // why the certificate presented was not accepted
};

// Who may ask: the name of the bearer token presented, when one matches.
using TokenCheck = std::function<std::optional<std::string>(const std::string& token)>;

struct Exchanged {
    std::string bytes;  // the whole answer
    bool close = false;
    AuditEntry audit;
};

class HttpExchange {
public:
    struct Settings {
        Handler handler;
        Refusal refusal;
        TokenCheck tokens;
        std::vector<std::string> clientSubjects;  // empty: any from the authority
        bool certificatesAccepted = false;        // a client authority is configured
        int keepAliveSeconds = 15;
    };
    explicit HttpExchange(Settings settings);
    ~HttpExchange();
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Answers `request` (one framed request); `close` asks for the connection to close
    // after it. Safe to call from several threads at once.
    Exchanged answer(const std::string& request, const Peer& peer, bool close);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An answer the service writes without parsing the request (refused while framing, or no
// worker free): the status, the refusal's body, and whether the connection closes.
std::string plainAnswer(const Response& response, bool close);

}  // namespace trellybridge::platform::server
