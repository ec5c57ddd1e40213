// What the backend's routes share: its settings, accounts, catalogue, tokens,
// link signer, faults, problem reports, the ports it listens on, the control
// token and the status it publishes in the client configuration file.
// Thread-safety: the components lock for themselves; the ports are set once
// before the listeners start; the status takes the context's mutex.
#pragma once

#include <mutex>
#include <string>

#include "backend/Accounts.h"
#include "backend/BackendOptions.h"
#include "backend/CatalogueIndex.h"
#include "backend/FaultInjector.h"
#include "backend/LinkSigner.h"
#include "backend/ProblemReportStore.h"
#include "backend/TokenStore.h"

namespace VantisClient {
namespace Backend {

class BackendContext {
public:
    explicit BackendContext(const BackendOptions& options);

    const BackendOptions options;
    Accounts accounts;
    CatalogueIndex catalogue;
    TokenStore tokens;
    LinkSigner links;
    FaultInjector faults;
    ProblemReportStore reports;
    int apiPort = 0;
    int webPort = 0;
    // Drawn at start; every control request must carry it.
    const std::string controlToken;

    // "127.0.0.1:<port>" of each listener.
    std::string apiAuthority() const;
    std::string webAuthority() const;

    std::string status() const;
    void setStatus(const std::string& status);

private:
    mutable std::mutex m_mutex;
    std::string m_status;
};

}  // namespace Backend
}  // namespace VantisClient
