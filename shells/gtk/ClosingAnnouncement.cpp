#include "gtk/ClosingAnnouncement.h"

#include "common/Logger.h"

namespace VantisClient {

const char* const ClosingAnnouncement::CLIENT_ID = "net.vantis.Client";
const char* const ClosingAnnouncement::OBJECT_PATH = "/net/vantis/Client";
const char* const ClosingAnnouncement::SIGNAL_NAME = "ClientClosing";
const char* const ClosingAnnouncement::CLOSE_OBJECT = "net.vantis.Client.close";

bool ClosingAnnouncement::Send(GDBusConnection* bus) {
    if (bus == nullptr) {
        Logger::LogInfo("No session bus: %s is not announced", SIGNAL_NAME);
        return false;
    }
    GError* error = nullptr;
    const bool sent = g_dbus_connection_emit_signal(bus, nullptr, OBJECT_PATH, CLIENT_ID, SIGNAL_NAME,
                                                    g_variant_new("(s)", CLOSE_OBJECT), &error) != FALSE &&
                      g_dbus_connection_flush_sync(bus, nullptr, &error) != FALSE;
    if (!sent) {
        Logger::LogWarning("Could not announce %s on the session bus: %s", SIGNAL_NAME, error->message);
        g_error_free(error);
        return false;
    }
    Logger::LogInfo("Announced %s %s on the session bus", SIGNAL_NAME, CLOSE_OBJECT);
    return true;
}

}  // namespace VantisClient
