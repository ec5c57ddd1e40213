// The web view's trust in the store's servers: a certificate that the system's
// anchors refuse is still taken when it chains to the bundle's own anchor
// (share/vantis/rootCA.pem, the one the client's own HTTPS requests trust) and
// names the host that presented it. Nothing else is ever let through.
// Thread-safety: stateless after construction; call it from one thread.
#pragma once

#include <string>

#include <gio/gio.h>

namespace VantisClient {

class BundleTrust {
public:
    explicit BundleTrust(std::string anchorPath);

    // True when `certificate`, presented by `host`, chains to the anchor and
    // is valid for the host now; `why` says what is wrong otherwise.
    bool accepts(GTlsCertificate* certificate, const std::string& host, std::string& why) const;

private:
    std::string m_anchorPath;
};

}  // namespace VantisClient
