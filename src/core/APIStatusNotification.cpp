#include "core/APIStatusNotification.h"

namespace VantisClient {

APIStatusNotification::APIStatusNotification(int32_t status, const std::string& gamecardEndpoint, int64_t interval)
    : m_status(status), m_gamecardEndpoint(gamecardEndpoint), m_interval(interval) {}

void APIStatusNotification::dispatchToClient(IClientListener* listener) {
    APIStatusResult result;
    result.status = m_status;
    result.gamecardEndpoint = m_gamecardEndpoint;
    result.interval = m_interval;
    listener->onAPIStatusChanged(result);
}

}  // namespace VantisClient
