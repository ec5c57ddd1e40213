// The backend's status and talk interval, filled by the status check and
// passed on to the listener.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

struct APIStatusResult {
    // Before the first status check has answered; never reported by one.
    static constexpr int32_t STATUS_UNKNOWN = 0;
    static constexpr int32_t STATUS_ONLINE = 1;
    static constexpr int32_t STATUS_OFFLINE = 2;

    int32_t status = STATUS_OFFLINE;
    // The host that serves game card pages.
    std::string gamecardEndpoint;
    // The backend's talk interval in seconds.
    int64_t interval = 0;
    // The backend was reached and sent a configuration file that could be
    // read, whatever status it gave.
    bool answered = false;
};

}  // namespace VantisClient
