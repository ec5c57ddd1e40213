#include "gtk/SleepWatcher.h"

#include "common/Logger.h"

namespace VantisClient {

SleepWatcher::SleepWatcher() {
    GError* error = nullptr;
    m_bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (m_bus == nullptr) {
        Logger::LogInfo("No system bus: system sleep and wake are not reported (%s)", error->message);
        g_error_free(error);
        return;
    }
    m_subscription = g_dbus_connection_signal_subscribe(
        m_bus, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onPrepareForSleep, nullptr, nullptr);
}

SleepWatcher::~SleepWatcher() {
    if (m_bus == nullptr) return;
    g_dbus_connection_signal_unsubscribe(m_bus, m_subscription);
    g_object_unref(m_bus);
}

void SleepWatcher::onPrepareForSleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                     GVariant* parameters, gpointer) {
    gboolean goingToSleep = FALSE;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    g_variant_get(parameters, "(b)", &goingToSleep);
    Logger::LogInfo(goingToSleep ? "System sleep" : "System awake");
}

}  // namespace VantisClient
