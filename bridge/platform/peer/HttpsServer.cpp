#include "platform/peer/HttpsServer.h"

#include <httplib.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OpenSslOwners.h"

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

using platform::openssl::BioFree;
using platform::openssl::KeyFree;
using platform::openssl::kMaxCredentialBytes;
using platform::openssl::X509Free;

// A key under a passphrase is refused, not asked about on the terminal.
extern "C" int noPassphrase(char*, int, int, void*) {
    return -1;
}

// The certificates of a PEM text, in order.
std::vector<std::unique_ptr<X509, X509Free>> certificatesOf(const std::string& pem) {
    std::vector<std::unique_ptr<X509, X509Free>> certificates;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr))
        certificates.emplace_back(certificate);
    ERR_clear_error();  // the end of the text reads as an error; nobody else's to see
    return certificates;
}

// The server's credentials, read as every file from outside is read (regular, bounded),
// so that a FIFO or device named on the command line cannot hold the server.
struct Credentials {
    std::string certificate, key, clientAuthority;

    // Empty text, or why the files cannot be used.
    std::string read(const HttpsServerFiles& files) {
        for (auto [path, content] :
             {std::pair{&files.certificate, &certificate}, std::pair{&files.key, &key},
              std::pair{&files.clientAuthority, &clientAuthority}}) {
            if (path->empty()) continue;
            fs::RegularFileRead file = fs::readRegularFile(*path, kMaxCredentialBytes);
            if (!file) return *path + ": " + file.reason;
            *content = std::move(*file.content);
        }
        return {};
    }

    // Sets the server's context up from the texts: its certificate chain and key, and the
    // authority a client certificate must come from.
    bool apply(SSL_CTX& context) const {
        SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION);
        SSL_CTX_set_options(&context, SSL_OP_NO_COMPRESSION);
        auto chain = certificatesOf(certificate);
        std::unique_ptr<BIO, BioFree> keyText(
            BIO_new_mem_buf(key.data(), static_cast<int>(key.size())));
        std::unique_ptr<EVP_PKEY, KeyFree> privateKey(
            PEM_read_bio_PrivateKey(keyText.get(), nullptr, noPassphrase, nullptr));
        if (chain.empty() || !privateKey ||
            SSL_CTX_use_certificate(&context, chain[0].get()) != 1 ||
            SSL_CTX_use_PrivateKey(&context, privateKey.get()) != 1 ||
            SSL_CTX_check_private_key(&context) != 1)
            return false;
        for (size_t i = 1; i < chain.size(); ++i)
            if (SSL_CTX_add_extra_chain_cert(&context, chain[i].release()) != 1) return false;
        if (clientAuthority.empty()) return true;
        auto authorities = certificatesOf(clientAuthority);
        if (authorities.empty()) return false;
        X509_STORE* store = SSL_CTX_get_cert_store(&context);
        for (const auto& authority : authorities)
            if (X509_STORE_add_cert(store, authority.get()) != 1 ||
                SSL_CTX_add_client_CA(&context, authority.get()) != 1)
                return false;
        SSL_CTX_set_verify(&context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
        return true;
    }
};

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
    Credentials credentials;
    if (std::string problem = credentials.read(i.files); !problem.empty()) {
        error = "cannot read " + problem;
        return false;
    }
    i.server = std::make_unique<httplib::SSLServer>(
        [&credentials](SSL_CTX& context) { return credentials.apply(context); });
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
