#include "TestCertificates.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace VantisTest {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

const long DAY_SECONDS = 24 * 3600;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

Key newKey() {
    Key key(EVP_EC_gen("prime256v1"), EVP_PKEY_free);
    check(key != nullptr, "key generation");
    return key;
}

std::unique_ptr<FILE, decltype(&fclose)> openFile(const std::string& path, const char* mode) {
    std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), mode), fclose);
    check(file != nullptr, path.c_str());
    return file;
}

Certificate readCertificate(const std::string& path) {
    auto file = openFile(path, "r");
    Certificate certificate(PEM_read_X509(file.get(), nullptr, nullptr, nullptr), X509_free);
    check(certificate != nullptr, "reading the CA certificate");
    return certificate;
}

Key readKey(const std::string& path) {
    auto file = openFile(path, "r");
    Key key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    check(key != nullptr, "reading the CA key");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    check(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for `name` valid from `fromSeconds` to `toSeconds` around now.
Certificate issue(EVP_PKEY* key, const std::string& name, long fromSeconds, long toSeconds, X509* issuer,
                  EVP_PKEY* issuerKey, bool authority) {
    Certificate certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    static long serial = 1000;
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), toSeconds);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name.c_str()), -1,
                               -1, 0);
    X509* signer = issuer != nullptr ? issuer : certificate.get();
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
    if (authority) {
        addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate.get(), signer, NID_subject_alt_name, ("IP:" + name).c_str());
        addExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    check(X509_sign(certificate.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signing");
    return certificate;
}

void write(const CertificateFiles& files, X509* certificate, EVP_PKEY* key) {
    auto certificateFile = openFile(files.certificate, "w");
    check(PEM_write_X509(certificateFile.get(), certificate) == 1, "writing the certificate");
    auto keyFile = openFile(files.key, "w");
    check(PEM_write_PrivateKey(keyFile.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "writing the key");
}

const char* nameOf(TestCertificates::Kind kind) {
    switch (kind) {
        case TestCertificates::VALID: return "valid";
        case TestCertificates::EXPIRED: return "expired";
        case TestCertificates::OTHER_HOST: return "other-host";
        case TestCertificates::UNKNOWN_AUTHORITY: return "unknown-authority";
    }
    return "unknown";
}

}  // namespace

CertificateFiles TestCertificates::Make(Kind kind, const std::string& directory) {
    CertificateFiles files{directory + "/" + nameOf(kind) + ".pem", directory + "/" + nameOf(kind) + ".key"};
    Key key = newKey();
    // An address literal, never a name: checking it needs no name lookup.
    const std::string host = kind == OTHER_HOST ? "127.0.0.2" : "127.0.0.1";
    const long from = kind == EXPIRED ? -30 * DAY_SECONDS : -DAY_SECONDS;
    const long to = kind == EXPIRED ? -DAY_SECONDS : 30 * DAY_SECONDS;
    if (kind == UNKNOWN_AUTHORITY) {
        Key strangerKey = newKey();
        Certificate stranger = issue(strangerKey.get(), "Stranger CA", -DAY_SECONDS, 30 * DAY_SECONDS, nullptr,
                                     nullptr, true);
        write(files, issue(key.get(), host, from, to, stranger.get(), strangerKey.get(), false).get(), key.get());
        return files;
    }
    Certificate authority = readCertificate(VANTIS_TEST_CA_CERTIFICATE);
    Key authorityKey = readKey(VANTIS_TEST_CA_KEY);
    write(files, issue(key.get(), host, from, to, authority.get(), authorityKey.get(), false).get(), key.get());
    return files;
}

}  // namespace VantisTest
