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

#include "WebService.h"
#include "platform/peer/HttpsServer.h"

namespace trellybridge::peer {
class CertificateAuthority;
}

namespace trellybridge::vendorsim {

class WebServiceSimulator : public WebService {
public:
    explicit WebServiceSimulator(WebServiceOptions options, Log log = {});
    ~WebServiceSimulator() override;
    WebServiceSimulator(const WebServiceSimulator&) = delete;
    WebServiceSimulator& operator=(const WebServiceSimulator&) = delete;

    bool start(std::string& error) override;
    void stop() override;
    std::uint16_t port() const;
    std::string baseAddress() const override;
    const ClientFiles& clientFiles() const override { return client_; }
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
