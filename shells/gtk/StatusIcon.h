// The client's icon in the desktop's status area while it runs, so that a
// hidden window does not look like a client that quit. Where the session bus
// has a status notifier watcher ("org.kde.StatusNotifierWatcher"), an item is
// registered with it: activating the icon shows the window, and its menu
// offers Show and Quit. Where there is none, there is no icon (logged once);
// a watcher that appears later gets the item then.
//
// MENU_SHOW and MENU_QUIT are the menu entries' ids, as the desktop sends
// them back in the menu's "clicked" events.
// Thread-safety: every operation on the GTK main thread (GDBus calls the
// handlers in the main context).
#pragma once

#include <functional>

#include <gio/gio.h>

namespace VantisClient {

class StatusIcon {
public:
    static const char* const WATCHER_NAME;
    static const char* const ITEM_PATH;
    static const char* const MENU_PATH;
    static constexpr int MENU_SHOW = 1;
    static constexpr int MENU_QUIT = 2;

    using Action = std::function<void()>;

    // Registers nothing when `bus` is null.
    StatusIcon(GDBusConnection* bus, Action show, Action quit);
    ~StatusIcon();
    StatusIcon(const StatusIcon&) = delete;
    StatusIcon& operator=(const StatusIcon&) = delete;

private:
    void exportObjects();
    void registerWithWatcher();
    void menuEvent(int id, const char* event);
    static void onWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self);
    static void onWatcherVanished(GDBusConnection*, const gchar*, gpointer self);
    static void onRegistered(GObject* bus, GAsyncResult* result, gpointer);
    static void onItemCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                           GVariant*, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                    GError**, gpointer);
    static void onMenuCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                    GError**, gpointer);

    GDBusConnection* m_bus;
    Action m_show;
    Action m_quit;
    GDBusNodeInfo* m_item = nullptr;
    GDBusNodeInfo* m_menu = nullptr;
    guint m_itemRegistration = 0;
    guint m_menuRegistration = 0;
    guint m_watch = 0;
    bool m_watcherSeen = false;
    bool m_absenceLogged = false;
};

}  // namespace VantisClient
