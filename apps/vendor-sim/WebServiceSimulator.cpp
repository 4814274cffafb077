#include "WebServiceSimulator.h"

#include "platform/FileSystem.h"
#include "platform/peer/Certificates.h"

namespace trellybridge::vendorsim {
namespace {

std::string field(const peer::HttpsRequest& request, const std::string& name) {
    auto found = request.fields.find(name);
    return found == request.fields.end() ? std::string() : found->second;
}

}  // namespace

WebServiceSimulator::WebServiceSimulator(WebServiceOptions options, Log log)
    : options_(std::move(options)), log_(std::move(log)) {}

WebServiceSimulator::~WebServiceSimulator() {
    stop();
}

void WebServiceSimulator::say(const std::string& line) const {
    if (log_) log_(line);
}

bool WebServiceSimulator::makeCertificates(peer::HttpsServerFiles& files, std::string& error) {
    folder_ = fs::makeTemporaryFolder("trellybridge-websim");
    if (folder_.empty()) {
        error = "cannot create a folder for the certificates";
        return false;
    }
    auto authority = peer::CertificateAuthority::make(folder_, "ca", error);
    if (!authority) return false;
    peer::IssuedFiles server, client;
    if (!authority->issueClient("client", "TrellyBridge client", client, error)) return false;
    // The wrong certificate comes from an authority that only the simulator knows.
    std::unique_ptr<peer::CertificateAuthority> impostor;
    if (options_.fault == WebFault::WrongCertificate) {
        impostor = peer::CertificateAuthority::make(folder_, "impostor", error);
        if (!impostor) return false;
    }
    peer::CertificateAuthority& signer = impostor ? *impostor : *authority;
    if (!signer.issueServer("server", options_.serverNames, server, error)) return false;
    files = {server.certificate, server.key, authority->certificateFile()};
    client_ = {authority->certificateFile(), client.certificate, client.key, client.pkcs12,
               client.encryptedKey,          client.passphrase};
    return true;
}

bool WebServiceSimulator::start(std::string& error) {
    peer::HttpsServerFiles files{options_.serverCertificate, options_.serverKey,
                                 options_.clientAuthority};
    bool given = !files.certificate.empty() || !files.key.empty() || !files.clientAuthority.empty();
    if (given &&
        (files.certificate.empty() || files.key.empty() || files.clientAuthority.empty())) {
        error = "a server certificate, its key and the client authority go together";
        return false;
    }
    if (!given && !makeCertificates(files, error)) return false;
    server_ = std::make_unique<peer::HttpsServer>(
        files, [this](const peer::HttpsRequest& request) { return reply(request); });
    if (!server_->start(options_.listenAddress, options_.port, error)) return false;
    say("web service at " + baseAddress() + " (" + formatName(options_.format) +
        "), client certificate required");
    return true;
}

void WebServiceSimulator::stop() {
    if (server_) server_->stop();
    server_.reset();
    if (!folder_.empty()) fs::removeTree(folder_);
    folder_.clear();
}

std::uint16_t WebServiceSimulator::port() const {
    return server_ ? server_->port() : 0;
}

std::string WebServiceSimulator::baseAddress() const {
    return "https://" + options_.listenAddress + ":" + std::to_string(port()) + "/";
}

std::vector<peer::HttpsRequest> WebServiceSimulator::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

// The service's answer: an error element for a bad logon, organisation or patient, else
// the patient in the configured format.
std::string WebServiceSimulator::lookUp(const peer::HttpsRequest& request) const {
    if (options_.answer) return *options_.answer;
    if (field(request, "logon") != "orvel" || field(request, "password") != "kxv482")
        return "<ERROR>Invalid logon</ERROR>";
    std::string organization = field(request, "orgid");
    if (!options_.organization.empty() && organization.empty())
        return "<error>Invalid or missing digital id.</error>";
    if (!options_.organization.empty() && organization != options_.organization)
        return "<error>The Orvel Velquin API is not available for this organization.</error>";
    std::string account = field(request, "pid");
    for (const SamplePatient& patient : options_.patients)
        if (patient.account == account) return answerFor(options_.format, patient);
    return "<error>Patient not found.</error>";
}

peer::HttpsReply WebServiceSimulator::reply(const peer::HttpsRequest& request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    say(request.method + " " + request.path + " pid=" + field(request, "pid"));
    peer::HttpsReply reply;
    reply.contentType = options_.format == Format::Xml ? "text/xml" : "text/plain";
    switch (options_.fault) {
        case WebFault::Redirect:
            reply.status = 302;
            reply.location = baseAddress() + "moved" + request.path;
            return reply;
        case WebFault::ErrorPage:
            reply.status = 500;
            reply.contentType = "text/html";
            reply.body = "<html><body><h1>500 Internal Server Error</h1></body></html>";
            return reply;
        case WebFault::EmptyBody: return reply;
        case WebFault::Silent: reply.delayMs = options_.delayMs; break;
        case WebFault::Slow: reply.trickleMs = options_.trickleMs; break;
        case WebFault::CutShort: reply.cutShort = true; break;
        case WebFault::None:
        case WebFault::WrongCertificate: break;
    }
    reply.body = lookUp(request);
    return reply;
}

}  // namespace trellybridge::vendorsim
