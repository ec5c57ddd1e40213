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
    Logger::LogChannelInfo(TIMER_CHANNEL, "%s took %lu milliseconds", m_name.c_str(),
                           Milliseconds(Poco::Timestamp() - m_start));
}

unsigned long ScopeTimer::Milliseconds(Poco::Timestamp::TimeDiff microseconds) {
    return static_cast<unsigned long>(microseconds / 1000);
}

}  // namespace VantisClient
