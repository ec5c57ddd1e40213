#include "gtk/StatusIcon.h"

#include <cstring>

#include "common/Logger.h"
#include "gtk/ClosingAnnouncement.h"

namespace VantisClient {
namespace {

const char* const ITEM_XML =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<property name='Menu' type='o' access='read'/>"
    "<method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i' direction='in'/>"
    "<arg name='y' type='i' direction='in'/></method>"
    "<method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='Scroll'><arg name='delta' type='i' direction='in'/>"
    "<arg name='orientation' type='s' direction='in'/></method>"
    "</interface></node>";

const char* const MENU_XML =
    "<node><interface name='com.canonical.dbusmenu'>"
    "<property name='Version' type='u' access='read'/>"
    "<property name='TextDirection' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<method name='GetLayout'><arg type='i' direction='in'/><arg type='i' direction='in'/>"
    "<arg type='as' direction='in'/><arg type='u' direction='out'/><arg type='(ia{sv}av)' direction='out'/></method>"
    "<method name='GetGroupProperties'><arg type='ai' direction='in'/><arg type='as' direction='in'/>"
    "<arg type='a(ia{sv})' direction='out'/></method>"
    "<method name='GetProperty'><arg type='i' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='v' direction='out'/></method>"
    "<method name='Event'><arg type='i' direction='in'/><arg type='s' direction='in'/><arg type='v' direction='in'/>"
    "<arg type='u' direction='in'/></method>"
    "<method name='AboutToShow'><arg type='i' direction='in'/><arg type='b' direction='out'/></method>"
    "<signal name='LayoutUpdated'><arg type='u'/><arg type='i'/></signal>"
    "</interface></node>";

// The properties of one menu entry; the root (0) holds the others.
GVariant* entryProperties(int id) {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    if (id == 0) {
        g_variant_builder_add(&properties, "{sv}", "children-display", g_variant_new_string("submenu"));
    } else {
        g_variant_builder_add(&properties, "{sv}", "label",
                              g_variant_new_string(id == StatusIcon::MENU_SHOW ? "Show" : "Quit"));
    }
    return g_variant_builder_end(&properties);
}

GVariant* entry(int id) {
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (id == 0) {
        for (int child : {StatusIcon::MENU_SHOW, StatusIcon::MENU_QUIT}) {
            g_variant_builder_add(&children, "v", entry(child));
        }
    }
    return g_variant_new("(i@a{sv}av)", id, entryProperties(id), &children);
}

bool isMenuEntry(int id) { return id == 0 || id == StatusIcon::MENU_SHOW || id == StatusIcon::MENU_QUIT; }

GVariant* groupProperties(GVariant* parameters) {
    GVariantIter* ids = nullptr;
    g_variant_get(parameters, "(ai@as)", &ids, nullptr);
    GVariantBuilder group;
    g_variant_builder_init(&group, G_VARIANT_TYPE("a(ia{sv})"));
    gint32 id = 0;
    while (g_variant_iter_next(ids, "i", &id)) {
        if (isMenuEntry(id)) g_variant_builder_add(&group, "(i@a{sv})", id, entryProperties(id));
    }
    g_variant_iter_free(ids);
    return g_variant_new("(a(ia{sv}))", &group);
}

}  // namespace

const char* const StatusIcon::WATCHER_NAME = "org.kde.StatusNotifierWatcher";
const char* const StatusIcon::ITEM_PATH = "/StatusNotifierItem";
const char* const StatusIcon::MENU_PATH = "/StatusNotifierItem/Menu";

StatusIcon::StatusIcon(GDBusConnection* bus, Action show, Action quit)
    : m_bus(bus), m_show(std::move(show)), m_quit(std::move(quit)) {
    if (m_bus == nullptr) {
        Logger::LogInfo("No session bus: the client shows no status icon");
        return;
    }
    g_object_ref(m_bus);
    exportObjects();
    m_watch = g_bus_watch_name_on_connection(m_bus, WATCHER_NAME, G_BUS_NAME_WATCHER_FLAGS_NONE, onWatcherAppeared,
                                             onWatcherVanished, this, nullptr);
}

StatusIcon::~StatusIcon() {
    if (m_bus == nullptr) return;
    g_bus_unwatch_name(m_watch);
    if (m_itemRegistration != 0) g_dbus_connection_unregister_object(m_bus, m_itemRegistration);
    if (m_menuRegistration != 0) g_dbus_connection_unregister_object(m_bus, m_menuRegistration);
    if (m_item != nullptr) g_dbus_node_info_unref(m_item);
    if (m_menu != nullptr) g_dbus_node_info_unref(m_menu);
    g_object_unref(m_bus);
}

void StatusIcon::exportObjects() {
    static const GDBusInterfaceVTable itemTable = {onItemCall, onItemProperty, nullptr, {}};
    static const GDBusInterfaceVTable menuTable = {onMenuCall, onMenuProperty, nullptr, {}};
    m_item = g_dbus_node_info_new_for_xml(ITEM_XML, nullptr);
    m_menu = g_dbus_node_info_new_for_xml(MENU_XML, nullptr);
    GError* error = nullptr;
    m_itemRegistration = g_dbus_connection_register_object(m_bus, ITEM_PATH, m_item->interfaces[0], &itemTable, this,
                                                           nullptr, &error);
    if (m_itemRegistration != 0) {
        m_menuRegistration = g_dbus_connection_register_object(m_bus, MENU_PATH, m_menu->interfaces[0], &menuTable,
                                                               this, nullptr, &error);
    }
    if (error != nullptr) {
        Logger::LogWarning("Could not offer the status icon on the session bus: %s", error->message);
        g_error_free(error);
    }
}

void StatusIcon::registerWithWatcher() {
    if (m_menuRegistration == 0) return;
    const gchar* name = g_dbus_connection_get_unique_name(m_bus);
    g_dbus_connection_call(m_bus, WATCHER_NAME, "/StatusNotifierWatcher", WATCHER_NAME, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", name != nullptr ? name : ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                           nullptr, onRegistered, nullptr);
}

void StatusIcon::onRegistered(GObject* bus, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    if (reply == nullptr) {
        Logger::LogWarning("The status notifier watcher refused the status icon: %s", error->message);
        g_error_free(error);
        return;
    }
    g_variant_unref(reply);
    Logger::LogInfo("Status icon registered with %s", WATCHER_NAME);
}

void StatusIcon::menuEvent(int id, const char* event) {
    if (std::strcmp(event, "clicked") != 0) return;
    Logger::LogInfo("Status icon menu: %s", id == MENU_SHOW ? "Show" : id == MENU_QUIT ? "Quit" : "unknown entry");
    if (id == MENU_SHOW) m_show();
    if (id == MENU_QUIT) m_quit();
}

void StatusIcon::onWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self) {
    StatusIcon* icon = static_cast<StatusIcon*>(self);
    icon->m_watcherSeen = true;
    icon->registerWithWatcher();
}

void StatusIcon::onWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
    StatusIcon* icon = static_cast<StatusIcon*>(self);
    if (icon->m_absenceLogged && !icon->m_watcherSeen) return;
    icon->m_absenceLogged = true;
    icon->m_watcherSeen = false;
    Logger::LogInfo("No status notifier watcher on the session bus: the client shows no status icon");
}

void StatusIcon::onItemCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                            GDBusMethodInvocation* invocation, gpointer self) {
    // A click on the icon itself shows the window; the menu comes from Menu.
    if (std::strcmp(method, "Activate") == 0) static_cast<StatusIcon*>(self)->m_show();
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* StatusIcon::onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                     GError**, gpointer) {
    if (std::strcmp(name, "Category") == 0) return g_variant_new_string("ApplicationStatus");
    if (std::strcmp(name, "Id") == 0) return g_variant_new_string(ClosingAnnouncement::CLIENT_ID);
    if (std::strcmp(name, "Title") == 0) return g_variant_new_string("Zorv Launcher");
    if (std::strcmp(name, "Status") == 0) return g_variant_new_string("Active");
    if (std::strcmp(name, "IconName") == 0) return g_variant_new_string("applications-games");
    if (std::strcmp(name, "ItemIsMenu") == 0) return g_variant_new_boolean(FALSE);
    if (std::strcmp(name, "Menu") == 0) return g_variant_new_object_path(MENU_PATH);
    return nullptr;
}

void StatusIcon::onMenuCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    if (std::strcmp(method, "GetLayout") == 0) {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", 1u, entry(0)));
    } else if (std::strcmp(method, "GetGroupProperties") == 0) {
        g_dbus_method_invocation_return_value(invocation, groupProperties(parameters));
    } else if (std::strcmp(method, "GetProperty") == 0) {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                              "No such property");
    } else if (std::strcmp(method, "Event") == 0) {
        gint32 id = 0;
        const gchar* event = nullptr;
        g_variant_get(parameters, "(i&svu)", &id, &event, nullptr, nullptr);
        g_dbus_method_invocation_return_value(invocation, nullptr);
        static_cast<StatusIcon*>(self)->menuEvent(id, event);
    } else {
        // AboutToShow: the menu never changes, so nothing needs updating.
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
    }
}

GVariant* StatusIcon::onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                     GError**, gpointer) {
    if (std::strcmp(name, "Version") == 0) return g_variant_new_uint32(3);
    if (std::strcmp(name, "TextDirection") == 0) return g_variant_new_string("ltr");
    return g_variant_new_string("normal");
}

}  // namespace VantisClient
