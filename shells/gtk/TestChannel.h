// The desktop tests' line to a running shell: a socket the test hands down as
// a file descriptor, on which it writes one request per line and reads one
// answer line per request, in order. Kept out of the game's processes (the
// descriptor is closed on exec), and gone with the shell.
// Thread-safety: GTK main thread only; requests arrive through the main loop.
#pragma once

#include <functional>
#include <string>

#include <glib.h>

namespace VantisClient {

class TestChannel {
public:
    using RequestListener = std::function<void(const std::string& request)>;

    // Null when `descriptor` names no open descriptor.
    static TestChannel* Open(int descriptor, RequestListener listener);
    ~TestChannel();
    TestChannel(const TestChannel&) = delete;
    TestChannel& operator=(const TestChannel&) = delete;

    // `text` is sent as one line: line breaks inside it become spaces.
    void answer(std::string text);

private:
    TestChannel(int descriptor, RequestListener listener);
    static gboolean onReadable(GIOChannel* channel, GIOCondition condition, gpointer self);
    bool readRequests();

    int m_descriptor;
    RequestListener m_listener;
    GIOChannel* m_channel;
    guint m_watch = 0;
};

}  // namespace VantisClient
