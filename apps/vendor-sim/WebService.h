// The web service's options, and the service as the command uses it: loaded on demand
// (trellybridge-websim.so), so that HTTPS serving and certificate making (cpp-httplib,
// OpenSSL) cost nothing to a command that does not serve the web service.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Answers.h"
#include "SamplePatients.h"

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

// What the command does with a web service: start it, tell the client where it is and
// which files to use, stop it.
class WebService {
public:
    using Log = std::function<void(const std::string&)>;
    virtual ~WebService() = default;
    virtual bool start(std::string& error) = 0;
    virtual void stop() = 0;
    // "https://127.0.0.1:PORT/"
    virtual std::string baseAddress() const = 0;
    virtual const ClientFiles& clientFiles() const = 0;
};

// The simulated web service from the module beside the command; null with the reason in
// `error` when the module is missing or refused.
std::unique_ptr<WebService> loadWebService(WebServiceOptions options, WebService::Log log,
                                           std::string& error);

}  // namespace trellybridge::vendorsim
