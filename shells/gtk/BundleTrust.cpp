#include "gtk/BundleTrust.h"

#include <utility>

namespace VantisClient {
namespace {

std::string takeMessage(GError* error) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return message;
}

}  // namespace

BundleTrust::BundleTrust(std::string anchorPath) : m_anchorPath(std::move(anchorPath)) {}

bool BundleTrust::accepts(GTlsCertificate* certificate, const std::string& host, std::string& why) const {
    GError* error = nullptr;
    GTlsDatabase* anchors = g_tls_file_database_new(m_anchorPath.c_str(), &error);
    if (anchors == nullptr) {
        why = "the trust anchor " + m_anchorPath + " cannot be read: " + takeMessage(error);
        return false;
    }
    GSocketConnectable* identity = g_network_address_new(host.c_str(), 0);
    const GTlsCertificateFlags problems =
        g_tls_database_verify_chain(anchors, certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity,
                                    nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
    g_object_unref(identity);
    g_object_unref(anchors);
    if (error != nullptr) {
        why = takeMessage(error);
        return false;
    }
    if (problems != 0) {
        why = "the certificate does not chain to the bundle's anchor for " + host + " (flags " +
              std::to_string(static_cast<unsigned>(problems)) + ")";
        return false;
    }
    return true;
}

}  // namespace VantisClient
