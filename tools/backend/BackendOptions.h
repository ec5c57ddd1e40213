// The backend's settings, from its command line. Every value has a default that
// suits the repository's own scripts; ports 0 pick ephemeral ports.
// Thread-safety: a plain value.
#pragma once

#include <string>

namespace VantisClient {
namespace Backend {

struct BackendOptions {
    static const char* const DEFAULT_CLIENT_ID;
    static const char* const DEFAULT_CLIENT_SECRET;

    int apiPort = 18443;  // HTTPS: auth, users, products, config, content
    int webPort = 18080;  // HTTP: game cards, problem reports, control
    std::string catalogue;
    std::string accounts;      // default: <catalogue>/accounts.json
    std::string certificate;   // PEM certificate chain of the HTTPS listener
    std::string privateKey;    // its PEM private key
    std::string gamecardDirectory;
    std::string reportsDirectory;  // where problem reports are appended; none when empty
    std::string faultsFile;        // fault rules to load at start
    std::string clientId = DEFAULT_CLIENT_ID;  // the OAuth client the build's client presents
    std::string clientSecret = DEFAULT_CLIENT_SECRET;
    int tokenLifetime = 3600;  // seconds an access token lives
    int linkLifetime = 600;    // seconds a content link lives
    std::string status = "online";
    std::string channel = "stable";
    int talkInterval = 3600;
    int complainInterval = 600;
    // A connection must deliver a whole request head (and, on the HTTPS
    // listener, finish its handshake) within headTimeoutMs of being accepted,
    // and the next one within idleTimeoutMs of its previous reply; otherwise it
    // is closed. A reply whose reader stops reading fails after sendTimeoutMs.
    int headTimeoutMs = 5000;
    int idleTimeoutMs = 15000;
    int sendTimeoutMs = 30000;
    int maxConnections = 256;  // served at once on each listener; more wait in the accept queue
    bool help = false;         // --help: print USAGE and exit

    static const char* const USAGE;

    // Fills `options` from the arguments; false with a reason in `error`.
    static bool Parse(int argc, const char* const* argv, BackendOptions& options, std::string& error);
};

}  // namespace Backend
}  // namespace VantisClient
