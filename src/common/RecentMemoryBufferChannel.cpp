#include "common/RecentMemoryBufferChannel.h"

#include "common/ScopedLock.h"

namespace VantisClient {

RecentMemoryBufferChannel& RecentMemoryBufferChannel::Instance() {
    // Held by one extra reference so that Poco's channel trees never free it.
    static RecentMemoryBufferChannel* instance = new RecentMemoryBufferChannel();
    return *instance;
}

void RecentMemoryBufferChannel::log(const Poco::Message& message) {
    ScopedLock lock(m_mutex);
    m_lines.push_back(message.getText());
    while (m_lines.size() > CAPACITY) m_lines.pop_front();
}

std::string RecentMemoryBufferChannel::getContents() {
    ScopedLock lock(m_mutex);
    std::string contents;
    for (const std::string& line : m_lines) {
        contents += line;
        contents += '\n';
    }
    return contents;
}

void RecentMemoryBufferChannel::Clear() {
    ScopedLock lock(m_mutex);
    m_lines.clear();
}

}  // namespace VantisClient
