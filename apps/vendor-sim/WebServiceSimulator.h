// The vendor's patient web service, simulated: HTTPS on loopback that requires a client
// certificate, answers a posted patient query in one of the four formats or with the
// service's error elements, and rehearses the failures a site meets (a silent or
// trickling service, a certificate the client must not trust, a redirect, an error
// page, an empty or cut-off body). Unless given certificate files it makes its own
// authority, server and client certificates in a private temporary folder.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Answers.h"
#include "SamplePatients.h"
#include "platform/peer/HttpsServer.h"

namespace trellybridge::peer {
class CertificateAuthority;
}

namespace trellybridge::vendorsim {

enum class WebFault {
    None,
    Silent,            // accepts the request and says nothing for `delayMs`
    Slow,              // trickles the answer a byte every `trickleMs`
    WrongCertificate,  // presents a certificate from an authority the client does not know
    Redirect,          // answers 302 with a Location
    ErrorPage,         // answers 500 with an HTML page
    EmptyBody,         // answers 200 with nothing
    CutShort,          // drops the connection halfway through the answer
};
bool parseWebFault(std::string_view name, WebFault& fault);

struct WebServiceOptions {
    Format format = Format::Xml;
    std::string listenAddress = "127.0.0.1";
    std::uint16_t port = 0;  // 0 picks a free port
    // The organisation the service knows; empty accepts any.
    std::string organization;
    WebFault fault = WebFault::None;
    int delayMs = 60000;
    int trickleMs = 200;
    // Names in the server certificate made at start.
    std::vector<std::string> serverNames{"localhost", "127.0.0.1"};
    // Certificate files to use instead of making them: all three or none.
    std::string serverCertificate, serverKey, clientAuthority;
    // Answers every request with this text instead of looking the patient up.
    std::optional<std::string> answer;
    std::vector<SamplePatient> patients = builtInPatients();
};

// What a client needs to talk to the simulator: the authority to trust and a
// certificate it accepts (empty when the simulator was given its files).
struct ClientFiles {
    std::string authority;
    std::string certificate, key, pkcs12;
    std::string encryptedKey, passphrase;  // the key again, under a passphrase
};

class WebServiceSimulator {
public:
    using Log = std::function<void(const std::string&)>;
    explicit WebServiceSimulator(WebServiceOptions options, Log log = {});
    ~WebServiceSimulator();
    WebServiceSimulator(const WebServiceSimulator&) = delete;
    WebServiceSimulator& operator=(const WebServiceSimulator&) = delete;

    bool start(std::string& error);
    void stop();
    std::uint16_t port() const;
    // "https://127.0.0.1:PORT/"
    std::string baseAddress() const;
    const ClientFiles& clientFiles() const { return client_; }
    // Every request that reached the service, oldest first.
    std::vector<peer::HttpsRequest> requests() const;

private:
    peer::HttpsReply reply(const peer::HttpsRequest& request);
    std::string lookUp(const peer::HttpsRequest& request) const;
    bool makeCertificates(peer::HttpsServerFiles& files, std::string& error);
    void say(const std::string& line) const;

    WebServiceOptions options_;
    Log log_;
    std::string folder_;  // the certificates made at start; removed at stop
    ClientFiles client_;
    std::unique_ptr<peer::HttpsServer> server_;
    mutable std::mutex mutex_;
    std::vector<peer::HttpsRequest> requests_;
};

}  // namespace trellybridge::vendorsim
