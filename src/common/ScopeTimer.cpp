#include "common/ScopeTimer.h"

#include "common/Logger.h"

namespace VantisClient {
namespace {

const char* const TIMER_CHANNEL = "Timer";

}  // namespace

ScopeTimer::ScopeTimer(const char* name) : ScopeTimer(std::string(name)) {}

ScopeTimer::ScopeTimer(const std::string& name) : m_name(name) {
    Logger::LogChannelInfo(TIMER_CHANNEL, "%s started...", m_name.c_str());
}

ScopeTimer::~ScopeTimer() {
    Poco::Timestamp::TimeDiff elapsed = Poco::Timestamp() - m_start;
    Logger::LogChannelInfo(TIMER_CHANNEL, "%s took %lu milliseconds", m_name.c_str(),
                           static_cast<unsigned long>(elapsed / 1000));
}

}  // namespace VantisClient
