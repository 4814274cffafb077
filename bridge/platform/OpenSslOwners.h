// Owners of the OpenSSL objects the TLS servers make (the simulator's web service and the
// FHIR server), and the most a certificate, key or authority file may hold.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <memory>

namespace trellybridge::platform::openssl {

constexpr std::size_t kMaxCredentialBytes = std::size_t{1024} * 1024;

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

}  // namespace trellybridge::platform::openssl
