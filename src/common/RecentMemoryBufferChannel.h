// The last 49 formatted log lines, read by the problem reporter.
// One process-wide instance, never destroyed before exit.
// Thread-safety: log(), getContents() and Clear() may run on any thread.
#pragma once

#include <deque>
#include <string>

#include <Poco/Channel.h>
#include <Poco/Message.h>

#include "common/VantisMutex.h"

namespace VantisClient {

class RecentMemoryBufferChannel : public Poco::Channel {
public:
    static const size_t CAPACITY = 49;

    static RecentMemoryBufferChannel& Instance();

    void log(const Poco::Message& message) override;
    // Every held line, oldest first, each followed by "\n".
    std::string getContents();
    // Drops every held line (tests start from an empty buffer).
    void Clear();

private:
    RecentMemoryBufferChannel() = default;

    VantisMutex m_mutex;
    std::deque<std::string> m_lines;
};

}  // namespace VantisClient
