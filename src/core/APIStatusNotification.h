// The backend's status and talk interval as the engine has stored them.
#pragma once

#include <cstdint>
#include <string>

#include "net/APIStatusResult.h"
#include "core/ClientNotification.h"

namespace VantisClient {

class APIStatusNotification : public ClientNotification {
public:
    APIStatusNotification(int32_t status, const std::string& gamecardEndpoint, int64_t interval);

    // onAPIStatusChanged with a record built from the three values.
    void dispatchToClient(IClientListener* listener) override;

private:
    int32_t m_status;
    std::string m_gamecardEndpoint;
    int64_t m_interval;
};

}  // namespace VantisClient
