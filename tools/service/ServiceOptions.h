// The service's settings, from its command line. The defaults are those of the
// installed service; tests and private setups choose another trigger file and
// port (0 picks an ephemeral one, kept across restarts of the listener).
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {
namespace Service {

struct ServiceOptions {
    static const char* const USAGE;

    std::string triggerPath;
    uint16_t port = 0;
    // The service acts with its user's rights on the directories it is given;
    // as root those are everyone's, so it runs as root only when told to.
    bool allowRoot = false;

    ServiceOptions();

    // Fills `options` from the arguments; false with a reason in `error`.
    static bool Parse(int argc, const char* const* argv, ServiceOptions& options, std::string& error);
};

}  // namespace Service
}  // namespace VantisClient
