// The service's TLS side: its certificate and key, and the authority client certificates
// may come from. A client certificate is asked for but not required (a bearer token will
// do): one that is presented and fails verification lets the handshake finish, so that
// the refusal can be an answer the client reads and a line in the audit log.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

namespace trellybridge::platform::server {

struct TlsFiles {
    std::string certificate;      // the server's chain (PEM), its own certificate first
    std::string key;              // its key (PEM, not under a passphrase)
    std::string clientAuthority;  // optional: the authorities of client certificates (PEM)
};

struct ContextFree {
    void operator()(ssl_ctx_st* context) const;
};
using TlsContext = std::unique_ptr<ssl_ctx_st, ContextFree>;

// A context for TLS 1.2 and later; null with `problems` saying why (files unreadable or too
// large, no certificate, a key others may read, a certificate expired or not yet valid, a
// key that does not belong to it, authorities that do not load).
TlsContext makeTlsContext(const TlsFiles& files, std::vector<std::string>& problems);

// Who the peer's certificate says it is, as RFC 2253 text; empty without one.
std::string peerSubject(ssl_st* connection);
// Why the peer's certificate was not accepted ("certificate has expired"); empty when it
// verified or none was presented.
std::string peerCertificateProblem(ssl_st* connection);

}  // namespace trellybridge::platform::server
