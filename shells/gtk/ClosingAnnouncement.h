// Tells the desktop session that the client is about to quit: the signal
// "ClientClosing" of the interface CLIENT_ID on the object OBJECT_PATH, with
// the text "<CLIENT_ID>.close" as its one argument, sent to every listener of
// the session bus and flushed before the call returns, so that it goes out
// even though the process ends right after.
// Thread-safety: stateless; the connection is GIO's and thread-safe.
#pragma once

#include <gio/gio.h>

namespace VantisClient {

class ClosingAnnouncement {
public:
    // The client's reverse-domain identifier, the prefix of its application ids.
    static const char* const CLIENT_ID;
    static const char* const OBJECT_PATH;
    static const char* const SIGNAL_NAME;
    static const char* const CLOSE_OBJECT;

    // False (logged) when there is no bus to send it on or the send failed.
    static bool Send(GDBusConnection* bus);
};

}  // namespace VantisClient
