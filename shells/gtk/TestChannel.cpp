#include "gtk/TestChannel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Logger.h"

namespace VantisClient {

TestChannel* TestChannel::Open(int descriptor, RequestListener listener) {
    const int flags = descriptor >= 0 ? ::fcntl(descriptor, F_GETFD) : -1;
    if (flags < 0) {
        Logger::LogError("Test hook: the test channel %d is not open", descriptor);
        return nullptr;
    }
    // A game started by the shell must not hold the test's line open.
    ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
    return new TestChannel(descriptor, std::move(listener));
}

TestChannel::TestChannel(int descriptor, RequestListener listener)
    : m_descriptor(descriptor), m_listener(std::move(listener)), m_channel(g_io_channel_unix_new(descriptor)) {
    g_io_channel_set_encoding(m_channel, nullptr, nullptr);
    m_watch = g_io_add_watch(m_channel, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, this);
}

TestChannel::~TestChannel() {
    if (m_watch != 0) g_source_remove(m_watch);
    g_io_channel_unref(m_channel);
    ::close(m_descriptor);
}

gboolean TestChannel::onReadable(GIOChannel*, GIOCondition condition, gpointer self) {
    auto* channel = static_cast<TestChannel*>(self);
    if ((condition & G_IO_IN) != 0 && channel->readRequests()) return G_SOURCE_CONTINUE;
    Logger::LogInfo("Test hook: the test channel closed");
    channel->m_watch = 0;
    return G_SOURCE_REMOVE;
}

// One line per wake-up: the main loop wakes us again while more is buffered.
bool TestChannel::readRequests() {
    gchar* line = nullptr;
    gsize length = 0;
    const GIOStatus status = g_io_channel_read_line(m_channel, &line, &length, nullptr, nullptr);
    if (status != G_IO_STATUS_NORMAL) {
        g_free(line);
        return status == G_IO_STATUS_AGAIN;
    }
    std::string request(line, length);
    g_free(line);
    while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) request.pop_back();
    m_listener(request);
    return true;
}

void TestChannel::answer(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    text += '\n';
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t written = ::write(m_descriptor, text.data() + sent, text.size() - sent);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            Logger::LogError("Test hook: an answer could not be sent: %s", strerror(errno));
            return;
        }
        sent += static_cast<size_t>(written);
    }
}

}  // namespace VantisClient
