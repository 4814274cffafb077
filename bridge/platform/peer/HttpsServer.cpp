#include "platform/peer/HttpsServer.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace trellybridge::peer {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string formDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::multimap<std::string, std::string> formFields(std::string_view body) {
    std::multimap<std::string, std::string> fields;
    while (!body.empty()) {
        size_t end = body.find('&');
        std::string_view pair = body.substr(0, end);
        size_t equals = pair.find('=');
        if (!pair.empty())
            fields.emplace(formDecoded(pair.substr(0, equals)),
                           equals == std::string_view::npos ? std::string()
                                                            : formDecoded(pair.substr(equals + 1)));
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    }
    return fields;
}

}  // namespace

struct HttpsServer::Impl {
    HttpsServerFiles files;
    Handler handler;
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    std::uint16_t port = 0;
    std::atomic<int> requests{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;

    // Waits `ms`, or less when the server stops; false once it stops.
    bool pause(int ms) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
        return !stopping;
    }

    void serve(const httplib::Request& in, httplib::Response& out) {
        ++requests;
        HttpsRequest request;
        request.method = in.method;
        request.path = in.path;
        size_t question = in.target.find('?');
        if (question != std::string::npos) request.query = in.target.substr(question + 1);
        request.body = in.body;
        request.fields = formFields(in.body);
        for (const auto& [name, value] : in.headers) request.headers.emplace(name, value);
        HttpsReply reply = handler(request);
        if (reply.delayMs > 0 && !pause(reply.delayMs)) return;
        out.status = reply.status;
        if (!reply.location.empty()) out.set_header("Location", reply.location);
        if (reply.trickleMs <= 0 && !reply.cutShort) {
            out.set_content(reply.body, reply.contentType);
            return;
        }
        auto body = std::make_shared<std::string>(std::move(reply.body));
        int trickleMs = reply.trickleMs;
        bool cutShort = reply.cutShort;
        out.set_content_provider(
            body->size(), reply.contentType,
            [this, body, trickleMs, cutShort](size_t offset, size_t, httplib::DataSink& sink) {
                if (cutShort) {
                    sink.write(body->data(), body->size() / 2);
                    return false;  // the connection drops halfway through the body
                }
                if (!pause(trickleMs)) return false;
                return sink.write(body->data() + offset, 1);
            });
    }
};

HttpsServer::HttpsServer(HttpsServerFiles files, Handler handler)
    : impl_(std::make_unique<Impl>()) {
    impl_->files = std::move(files);
    impl_->handler = std::move(handler);
}

HttpsServer::~HttpsServer() {
    stop();
}

bool HttpsServer::start(const std::string& address, std::uint16_t port, std::string& error) {
    Impl& i = *impl_;
    i.server = std::make_unique<httplib::SSLServer>(
        i.files.certificate.c_str(), i.files.key.c_str(),
        i.files.clientAuthority.empty() ? nullptr : i.files.clientAuthority.c_str());
    if (!i.server->is_valid()) {
        error = "cannot use the certificate " + i.files.certificate + " with the key " +
                i.files.key + " and the client authority " + i.files.clientAuthority;
        return false;
    }
    // A client that stops talking cannot hold a worker for long.
    i.server->set_read_timeout(5, 0);
    i.server->set_write_timeout(5, 0);
    auto route = [&i](const httplib::Request& in, httplib::Response& out) { i.serve(in, out); };
    i.server->Get(".*", route);
    i.server->Post(".*", route);
    int bound = port == 0 ? i.server->bind_to_any_port(address)
                          : (i.server->bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port);
        return false;
    }
    i.port = static_cast<std::uint16_t>(bound);
    i.thread = std::thread([&i] { i.server->listen_after_bind(); });
    // stop() only reaches a server that runs: wait (bounded) until it does.
    for (int waited = 0; !i.server->is_running() && waited < 5000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

std::uint16_t HttpsServer::port() const {
    return impl_->port;
}

int HttpsServer::requestCount() const {
    return impl_->requests;
}

void HttpsServer::stop() {
    Impl& i = *impl_;
    {
        std::lock_guard lock(i.mutex);
        i.stopping = true;
    }
    i.wake.notify_all();
    if (i.server) i.server->stop();
    if (i.thread.joinable()) i.thread.join();
}

}  // namespace trellybridge::peer
