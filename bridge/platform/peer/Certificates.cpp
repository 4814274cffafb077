#include "platform/peer/Certificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>

#include "platform/FileSystem.h"

namespace trellybridge::peer {
namespace {

constexpr long kValidSeconds = 7L * 24 * 3600;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct Pkcs12Free {
    void operator()(PKCS12* p12) const { PKCS12_free(p12); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

// P-256 keys: quick to make, which keeps the tests that make them quick.
Key newKey() {
    return Key(EVP_EC_gen("P-256"));
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

bool addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension) return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for `key` named `commonName`, signed by `issuerKey` (itself when the
// issuer is null), with the extensions given as (nid, value).
Certificate makeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer,
                            EVP_PKEY* issuerKey,
                            const std::vector<std::pair<int, std::string>>& extensions) {
    Certificate certificate(X509_new());
    if (!certificate) return nullptr;
    X509* c = certificate.get();
    std::uint32_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    ASN1_INTEGER_set(X509_get_serialNumber(c), static_cast<long>(serial & 0x7FFFFFFF) + 1);
    X509_set_version(c, 2);
    X509_gmtime_adj(X509_getm_notBefore(c), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c), kValidSeconds);
    X509_set_pubkey(c, key);
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("TrellyBridge test"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer) : name);
    for (const auto& [nid, value] : extensions)
        if (!addExtension(c, issuer ? issuer : c, nid, value)) return nullptr;
    if (X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256()) <= 0) return nullptr;
    return certificate;
}

bool writePem(const std::string& path, X509* certificate, EVP_PKEY* key) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio) return false;
    if (certificate && PEM_write_bio_X509(bio.get(), certificate) != 1) return false;
    if (key && PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return false;
    return fs::writeFileAtomically(path, bioText(bio.get()), 0600);
}

bool writeEncryptedKey(const std::string& path, EVP_PKEY* key, const std::string& passphrase) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), passphrase.data(),
                                      static_cast<int>(passphrase.size()), nullptr, nullptr) != 1)
        return false;
    return fs::writeFileAtomically(path, bioText(bio.get()), 0600);
}

bool writePkcs12(const std::string& path, X509* certificate, EVP_PKEY* key) {
    // No password, no encryption and no MAC: a file for tests, protected by its mode.
    std::unique_ptr<PKCS12, Pkcs12Free> p12(
        PKCS12_create(nullptr, "client", key, certificate, nullptr, -1, -1, 0, -1, 0));
    if (!p12) return false;
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || i2d_PKCS12_bio(bio.get(), p12.get()) != 1) return false;
    return fs::writeFileAtomically(path, bioText(bio.get()), 0600);
}

bool isAddress(const std::string& name) {
    return !name.empty() &&
           name.find_first_not_of("0123456789.:abcdefABCDEF") == std::string::npos &&
           (name.find('.') != std::string::npos || name.find(':') != std::string::npos) &&
           name.find_first_of("0123456789") == 0;
}

}  // namespace

struct CertificateAuthority::Impl {
    std::string folder;
    std::string certificateFile;
    Key key;
    Certificate certificate;

    bool issue(const std::string& stem, const std::string& commonName,
               const std::vector<std::pair<int, std::string>>& extensions, IssuedFiles& files,
               std::string& error) {
        Key leafKey = newKey();
        Certificate leaf = leafKey ? makeCertificate(leafKey.get(), commonName, certificate.get(),
                                                     key.get(), extensions)
                                   : nullptr;
        if (!leaf) {
            error = "cannot make the certificate " + stem;
            return false;
        }
        files.certificate = folder + "/" + stem + ".crt";
        files.key = folder + "/" + stem + ".key";
        files.pkcs12 = folder + "/" + stem + ".p12";
        files.encryptedKey = folder + "/" + stem + "-encrypted.key";
        files.passphrase = "correct horse " + stem;
        if (!writePem(files.certificate, leaf.get(), nullptr) ||
            !writePem(files.key, nullptr, leafKey.get()) ||
            !writeEncryptedKey(files.encryptedKey, leafKey.get(), files.passphrase) ||
            !writePkcs12(files.pkcs12, leaf.get(), leafKey.get())) {
            error = "cannot write the certificate files of " + stem + " into " + folder;
            return false;
        }
        return true;
    }
};

CertificateAuthority::CertificateAuthority(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CertificateAuthority::~CertificateAuthority() = default;

std::unique_ptr<CertificateAuthority> CertificateAuthority::make(const std::string& folder,
                                                                 const std::string& stem,
                                                                 std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->folder = folder;
    impl->key = newKey();
    if (impl->key)
        impl->certificate = makeCertificate(impl->key.get(), stem + " authority", nullptr, nullptr,
                                            {{NID_basic_constraints, "critical,CA:TRUE"},
                                             {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                             {NID_subject_key_identifier, "hash"}});
    if (!impl->certificate) {
        error = "cannot make the certificate authority " + stem;
        return nullptr;
    }
    impl->certificateFile = folder + "/" + stem + ".crt";
    if (!writePem(impl->certificateFile, impl->certificate.get(), nullptr)) {
        error = "cannot write " + impl->certificateFile;
        return nullptr;
    }
    return std::unique_ptr<CertificateAuthority>(new CertificateAuthority(std::move(impl)));
}

const std::string& CertificateAuthority::certificateFile() const {
    return impl_->certificateFile;
}

bool CertificateAuthority::issueServer(const std::string& stem,
                                       const std::vector<std::string>& names, IssuedFiles& files,
                                       std::string& error) {
    std::string alternatives;
    for (const std::string& name : names)
        alternatives += (alternatives.empty() ? "" : ",") +
                        std::string(isAddress(name) ? "IP:" : "DNS:") + name;
    return impl_->issue(stem, names.empty() ? stem : names.front(),
                        {{NID_basic_constraints, "critical,CA:FALSE"},
                         {NID_key_usage, "critical,digitalSignature"},
                         {NID_ext_key_usage, "serverAuth"},
                         {NID_subject_alt_name, alternatives}},
                        files, error);
}

bool CertificateAuthority::issueClient(const std::string& stem, const std::string& commonName,
                                       IssuedFiles& files, std::string& error) {
    return impl_->issue(stem, commonName,
                        {{NID_basic_constraints, "critical,CA:FALSE"},
                         {NID_key_usage, "critical,digitalSignature"},
                         {NID_ext_key_usage, "clientAuth"}},
                        files, error);
}

}  // namespace trellybridge::peer
