// Logs a scope's start and its duration in milliseconds on the "Timer" channel.
// With the channel off it costs two clock reads.
// Thread-safety: no shared state; use on any thread.
#pragma once

#include <string>

#include <Poco/Timestamp.h>

namespace VantisClient {

class ScopeTimer {
public:
    explicit ScopeTimer(const char* name);
    explicit ScopeTimer(const std::string& name);
    ~ScopeTimer();
    ScopeTimer(const ScopeTimer&) = delete;
    ScopeTimer& operator=(const ScopeTimer&) = delete;

    // The whole milliseconds in `microseconds`, truncated: what the duration line shows.
    static unsigned long Milliseconds(Poco::Timestamp::TimeDiff microseconds);

private:
    std::string m_name;
    Poco::Timestamp m_start;
};

}  // namespace VantisClient
