// Logs when the system goes to sleep and wakes up, where the desktop's login
// manager reports it on the system bus ("PrepareForSleep"). Without a system
// bus (containers, some test machines) it says so once and watches nothing.
// Thread-safety: GTK main thread only.
#pragma once

#include <gio/gio.h>

namespace VantisClient {

class SleepWatcher {
public:
    SleepWatcher();
    ~SleepWatcher();
    SleepWatcher(const SleepWatcher&) = delete;
    SleepWatcher& operator=(const SleepWatcher&) = delete;

private:
    static void onPrepareForSleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer);

    GDBusConnection* m_bus = nullptr;
    guint m_subscription = 0;
};

}  // namespace VantisClient
