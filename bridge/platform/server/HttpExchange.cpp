#include "platform/server/HttpExchange.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>

namespace trellybridge::platform::server {
namespace {

// The request's bytes in, the answer's bytes out: httplib reads and writes through it as
// it would through a socket.
class MemoryStream : public httplib::Stream {
public:
    MemoryStream(const std::string& in, std::string& out, const Peer& peer)
        : in_(in), out_(out), peer_(peer) {}

    bool is_readable() const override { return at_ < in_.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char* into, size_t size) override {
        size = std::min(size, in_.size() - at_);
        std::memcpy(into, in_.data() + at_, size);
        at_ += size;
        return static_cast<ssize_t>(size);
    }
    ssize_t write(const char* from, size_t size) override {
        out_.append(from, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = peer_.address;
        port = peer_.port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    const std::string& in_;
    std::string& out_;
    const Peer& peer_;
    size_t at_ = 0;
};

// The parsing and answering half of httplib's server, called on a stream of our own.
class Parser : public httplib::Server {
public:
    using httplib::Server::process_request;
};

// What the handlers of one request share with the thread answering it.
struct Context {
    const Peer* peer = nullptr;
    AuditEntry* audit = nullptr;
};
thread_local Context* current = nullptr;

const char* reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 406: return "Not Acceptable";
        case 408: return "Request Timeout";
        case 413: return "Payload Too Large";
        case 414: return "URI Too Long";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Status";
    }
}

// Headers every answer carries: patient data is never to be cached or sniffed.
constexpr std::pair<const char*, const char*> kAlwaysHeaders[] = {
    {"Cache-Control", "no-store"},
    {"X-Content-Type-Options", "nosniff"},
};

int statusOf(const std::string& answer) {
    // "HTTP/1.1 200 OK"
    if (answer.size() < 12) return 0;
    int status = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (answer[i] < '0' || answer[i] > '9') return 0;
        status = status * 10 + (answer[i] - '0');
    }
    return status;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

struct HttpExchange::Impl {
    Settings settings;
    Parser parser;

    // The answer to an authenticated request, or the refusal of one that is not.
    Response respond(const httplib::Request& request, const Peer& peer, AuditEntry& audit) {
        audit.operation = request.method;
        std::string client;
        if (std::optional<Response> refused = authenticate(request, peer, client)) {
            audit.client = client.empty() ? "-" : client;
            return *refused;
        }
        audit.client = client;
        Request asked;
        asked.method = request.method;
        asked.path = request.path;
        asked.parameters.assign(request.params.begin(), request.params.end());
        asked.accept = request.get_header_value("Accept");
        asked.client = client;
        try {
            return settings.handler(asked);
        } catch (...) {
            return settings.refusal(500, "the request could not be answered");
        }
    }

    std::optional<Response> authenticate(const httplib::Request& request, const Peer& peer,
                                         std::string& client) {
        if (!peer.certificateProblem.empty()) {
            client = "certificate " + peer.certificateSubject;
            return refuse(
                401, "the client certificate was not accepted: " + peer.certificateProblem, "");
        }
        std::size_t given = request.get_header_value_count("Authorization");
        if (given > 1) return refuse(401, "more than one Authorization header", "invalid_request");
        if (given == 1) {
            std::string value = request.get_header_value("Authorization");
            if (!startsWithNoCase(value, "Bearer "))
                return refuse(401, "the Authorization header is not a bearer token",
                              "invalid_request");
            std::string token = value.substr(7);
            token.erase(0, token.find_first_not_of(' '));
            std::optional<std::string> name = settings.tokens(token);
            if (!name)
                return refuse(401, "the bearer token is not one this service accepts",
                              "invalid_token");
            client = "token " + *name;
            return std::nullopt;
        }
        if (settings.certificatesAccepted && !peer.certificateSubject.empty()) {
            client = "certificate " + peer.certificateSubject;
            const auto& allowed = settings.clientSubjects;
            if (!allowed.empty() && std::find(allowed.begin(), allowed.end(),
                                              peer.certificateSubject) == allowed.end()) {
                Response response =
                    settings.refusal(403, "this client certificate may not read patients here");
                response.outcome = "certificate subject not allowed";
                return response;
            }
            return std::nullopt;
        }
        return refuse(401, "a bearer token or a client certificate is required", "");
    }

    Response refuse(int status, const std::string& why, const std::string& error) {
        Response response = settings.refusal(status, why);
        response.outcome = why;
        std::string challenge = "Bearer realm=\"trellybridge\"";
        if (!error.empty()) challenge += ", error=\"" + error + "\"";
        response.headers.emplace_back("WWW-Authenticate", challenge);
        return response;
    }

    static void apply(const Response& from, httplib::Response& to) {
        to.status = from.status;
        for (const auto& [name, value] : kAlwaysHeaders) to.set_header(name, value);
        for (const auto& [name, value] : from.headers) to.set_header(name, value);
        to.set_content(from.body, from.contentType);
    }
};

HttpExchange::HttpExchange(Settings settings) : impl_(std::make_unique<Impl>()) {
    impl_->settings = std::move(settings);
    Impl& impl = *impl_;
    impl.parser.set_keep_alive_timeout(impl.settings.keepAliveSeconds);
    impl.parser.set_keep_alive_max_count(100);
    impl.parser.set_payload_max_length(std::size_t{64} * 1024);
    // Every request, whatever its method and path, is answered here.
    impl.parser.set_pre_routing_handler(
        [&impl](const httplib::Request& request, httplib::Response& response) {
            Context& context = *current;
            Response answer = impl.respond(request, *context.peer, *context.audit);
            context.audit->identifier = answer.identifier;
            context.audit->outcome = answer.outcome;
            if (!answer.operation.empty()) context.audit->operation = answer.operation;
            Impl::apply(answer, response);
            return httplib::Server::HandlerResponse::Handled;
        });
    // A request httplib itself could not read gets the service's own body.
    impl.parser.set_error_handler(httplib::Server::HandlerWithResponse(
        [&impl](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            Impl::apply(impl.settings.refusal(response.status, "the request could not be read"),
                        response);
            return httplib::Server::HandlerResponse::Handled;
        }));
}

HttpExchange::~HttpExchange() = default;

Exchanged HttpExchange::answer(const std::string& request, const Peer& peer, bool close) {
    Exchanged exchanged;
    exchanged.audit.address = peer.address;
    exchanged.audit.client = "-";
    Context context{&peer, &exchanged.audit};
    current = &context;
    MemoryStream stream(request, exchanged.bytes, peer);
    bool closed = false;
    bool answered = impl_->parser.process_request(stream, close, closed, nullptr);
    current = nullptr;
    if (exchanged.bytes.empty() || !answered) {
        Response refused = impl_->settings.refusal(400, "the request could not be read");
        exchanged.bytes = plainAnswer(refused, true);
        closed = true;
    }
    exchanged.close = close || closed;
    exchanged.audit.status = statusOf(exchanged.bytes);
    if (exchanged.audit.outcome.empty() && exchanged.audit.status >= 400)
        exchanged.audit.outcome = "refused";
    return exchanged;
}

std::string plainAnswer(const Response& response, bool close) {
    std::string answer = "HTTP/1.1 " + std::to_string(response.status) + " " +
                         reasonPhrase(response.status) + "\r\n";
    auto header = [&answer](std::string_view name, std::string_view value) {
        answer.append(name).append(": ").append(value).append("\r\n");
    };
    for (const auto& [name, value] : kAlwaysHeaders) header(name, value);
    for (const auto& [name, value] : response.headers) header(name, value);
    if (!response.contentType.empty()) header("Content-Type", response.contentType);
    header("Content-Length", std::to_string(response.body.size()));
    header("Connection", close ? "close" : "keep-alive");
    answer.append("\r\n").append(response.body);
    return answer;
}

}  // namespace trellybridge::platform::server
