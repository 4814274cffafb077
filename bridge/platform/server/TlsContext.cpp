#include "platform/server/TlsContext.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "platform/FileSystem.h"
#include "platform/OpenSslOwners.h"

namespace trellybridge::platform::server {
namespace {

using openssl::BioFree;
using openssl::KeyFree;
using openssl::kMaxCredentialBytes;
using openssl::X509Free;
using Certificate = std::unique_ptr<X509, X509Free>;

// A key under a passphrase is refused, never asked about on a terminal.
extern "C" int noPassphrase(char*, int, int, void*) {
    return -1;
}

std::unique_ptr<BIO, BioFree> memoryOf(const std::string& text) {
    return std::unique_ptr<BIO, BioFree>(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::vector<Certificate> certificatesOf(const std::string& pem) {
    std::vector<Certificate> certificates;
    auto bio = memoryOf(pem);
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr))
        certificates.emplace_back(certificate);
    ERR_clear_error();  // the end of the text reads as an error
    return certificates;
}

// The file's text, or empty with a problem naming it.
std::string readCredential(const std::string& path, const char* what, bool secret,
                           std::vector<std::string>& problems) {
    fs::RegularFileRead file = fs::readRegularFile(path, kMaxCredentialBytes);
    if (!file) {
        problems.push_back(std::string(what) + " " + path + ": " + file.reason);
        return {};
    }
    if (secret && (file.mode & 007) != 0)
        problems.push_back(std::string(what) + " " + path +
                           " may be read by every user of this machine (chmod o-rwx it)");
    return std::move(*file.content);
}

std::string validityProblem(X509* certificate, const std::string& path) {
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) <= 0)
        return "the certificate " + path + " has expired";
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) >= 0)
        return "the certificate " + path + " is not valid yet";
    return {};
}

bool addClientAuthorities(SSL_CTX& context, const std::string& path,
                          std::vector<std::string>& problems) {
    std::string text = readCredential(path, "the client authority", false, problems);
    if (text.empty()) return false;
    std::vector<Certificate> authorities = certificatesOf(text);
    if (authorities.empty()) {
        problems.push_back("the client authority " + path + " holds no PEM certificate");
        return false;
    }
    X509_STORE* store = SSL_CTX_get_cert_store(&context);
    for (const Certificate& authority : authorities)
        if (X509_STORE_add_cert(store, authority.get()) != 1 ||
            SSL_CTX_add_client_CA(&context, authority.get()) != 1) {
            problems.push_back("the client authority " + path + " does not load");
            return false;
        }
    // Asked for, not required; a certificate that fails is refused in the answer.
    SSL_CTX_set_verify(&context, SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
    SSL_CTX_set_verify_depth(&context, 4);
    return true;
}

}  // namespace

void ContextFree::operator()(ssl_ctx_st* context) const {
    SSL_CTX_free(context);
}

TlsContext makeTlsContext(const TlsFiles& files, std::vector<std::string>& problems) {
    std::size_t before = problems.size();
    std::string chainText = readCredential(files.certificate, "the certificate", false, problems);
    std::string keyText = readCredential(files.key, "the key", true, problems);
    if (problems.size() > before) return nullptr;

    std::vector<Certificate> chain = certificatesOf(chainText);
    auto keyBio = memoryOf(keyText);
    std::unique_ptr<EVP_PKEY, KeyFree> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassphrase, nullptr));
    ERR_clear_error();
    if (chain.empty())
        problems.push_back("the certificate " + files.certificate + " holds no PEM certificate");
    if (!key)
        problems.push_back("the key " + files.key +
                           " holds no PEM private key without a passphrase");
    if (problems.size() > before) return nullptr;
    if (std::string problem = validityProblem(chain[0].get(), files.certificate); !problem.empty())
        problems.push_back(problem);

    TlsContext context(SSL_CTX_new(TLS_server_method()));
    if (!context) {
        problems.emplace_back("TLS cannot be set up");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_options(context.get(), SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                                           SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_TICKET);
    SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE |
                                        SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                        SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
    if (SSL_CTX_use_certificate(context.get(), chain[0].get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 ||
        SSL_CTX_check_private_key(context.get()) != 1) {
        ERR_clear_error();
        problems.push_back("the key " + files.key + " does not belong to the certificate " +
                           files.certificate);
        return nullptr;
    }
    for (size_t i = 1; i < chain.size(); ++i)
        if (SSL_CTX_add_extra_chain_cert(context.get(), chain[i].release()) != 1) {
            problems.push_back("the chain of " + files.certificate + " does not load");
            return nullptr;
        }
    if (!files.clientAuthority.empty() &&
        !addClientAuthorities(*context, files.clientAuthority, problems))
        return nullptr;
    return problems.size() > before ? nullptr : std::move(context);
}

std::string peerSubject(ssl_st* connection) {
    X509* certificate = SSL_get0_peer_certificate(connection);
    if (!certificate) return {};
    std::unique_ptr<BIO, BioFree> text(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(text.get(), X509_get_subject_name(certificate), 0,
                       XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    long size = BIO_get_mem_data(text.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

std::string peerCertificateProblem(ssl_st* connection) {
    if (!SSL_get0_peer_certificate(connection)) return {};
    long result = SSL_get_verify_result(connection);
    return result == X509_V_OK ? std::string() : X509_verify_cert_error_string(result);
}

}  // namespace trellybridge::platform::server
