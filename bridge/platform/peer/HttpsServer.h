// The far side of the web-service bridge: an HTTPS server on loopback that requires a
// client certificate from a given authority and lets a handler decide each answer,
// including how badly it is delivered (late, trickling, cut off). For the simulator and
// tests only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace trellybridge::peer {

struct HttpsRequest {
    std::string method;                              // "POST", "GET"
    std::string path;                                // "/svcp.asp"
    std::string query;                               // the part of the target after "?", as sent
    std::string body;                                // the body as sent
    std::multimap<std::string, std::string> fields;  // the form fields, decoded
    std::multimap<std::string, std::string> headers;
};

struct HttpsReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    std::string location;  // sent as Location when not empty
    int delayMs = 0;       // waits this long before answering (a silent service)
    // Sends the body a byte at a time, `trickleMs` apart.
    int trickleMs = 0;
    // Announces the whole body, sends half of it and drops the connection.
    bool cutShort = false;
};

struct HttpsServerFiles {
    std::string certificate;      // the server's certificate (PEM)
    std::string key;              // its key (PEM)
    std::string clientAuthority;  // client certificates must chain to this CA (PEM)
};

class HttpsServer {
public:
    using Handler = std::function<HttpsReply(const HttpsRequest&)>;
    HttpsServer(HttpsServerFiles files, Handler handler);
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // Listens on the IPv4 address and port (0 picks a free one); false with `error` set
    // when the certificate files or the port cannot be used.
    bool start(const std::string& address, std::uint16_t port, std::string& error);
    std::uint16_t port() const;
    // Ends every wait of a handler's reply and stops listening.
    void stop();
    // How many requests reached the handler.
    int requestCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trellybridge::peer
