// Certificates made at run time for the simulator's web service and for tests: a
// certificate authority of our own that signs server and client certificates. Nothing
// here is ever committed; every file lands in the folder given, readable by the owner
// only.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace trellybridge::peer {

struct IssuedFiles {
    std::string certificate;   // PEM
    std::string key;           // PEM, unencrypted
    std::string pkcs12;        // certificate and key in one PKCS#12 file, no password
    std::string encryptedKey;  // the key in PEM under `passphrase`
    std::string passphrase;
};

class CertificateAuthority {
public:
    // Makes the authority's key and self-signed certificate as <folder>/<stem>.crt;
    // null with `error` set when that fails.
    static std::unique_ptr<CertificateAuthority> make(const std::string& folder,
                                                      const std::string& stem, std::string& error);
    ~CertificateAuthority();
    CertificateAuthority(const CertificateAuthority&) = delete;
    CertificateAuthority& operator=(const CertificateAuthority&) = delete;

    // The authority's certificate, for a peer to trust.
    const std::string& certificateFile() const;

    // A server certificate for these host names and IPv4/IPv6 addresses.
    bool issueServer(const std::string& stem, const std::vector<std::string>& names,
                     IssuedFiles& files, std::string& error);
    // A client certificate with this common name.
    bool issueClient(const std::string& stem, const std::string& commonName, IssuedFiles& files,
                     std::string& error);

private:
    struct Impl;
    explicit CertificateAuthority(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace trellybridge::peer
