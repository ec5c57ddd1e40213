#include "gtk/GtkShell.h"

#include <glib-unix.h>

#include <cinttypes>
#include <csignal>
#include <cstdio>

#include "bridge/InstallNotificationText.h"
#include "bridge/ShellMessageCenter.h"
#include "bridge/ShellNotice.h"
#include "common/ApplicationEnvironment.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "gtk/ClosingAnnouncement.h"
#include "gtk/SettingsDialog.h"

namespace VantisClient {
namespace {

const char* const NOTIFICATION_ID = "install-result";
const char* const CLOSE_NOTICE_ID = "still-running";
const char* const CLOSE_NOTICE_TITLE = "Zorv Launcher is still running";
const char* const CLOSE_NOTICE_BODY =
    "Closing the window keeps the client running so that installs go on. Quit with Ctrl+Q, the window's menu or "
    "the status icon's Quit.";

struct Delivery {
    GtkShell* shell;
    ShellMessage message;
};

bool isClientAddress(const std::string& argument) {
    const std::string prefix = std::string(API_LOGIN_SUCCESS_SCHEME) + ":";
    return argument.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string GtkShell::ApplicationId(const std::string& supportRoot) {
    char hash[17];
    std::snprintf(hash, sizeof(hash), "%016" PRIx64, Utilities::Hash64bit(supportRoot.c_str()));
    return std::string(ClosingAnnouncement::CLIENT_ID) + ".R" + hash;
}

bool GtkShell::HandOverToRunningInstance(const std::vector<std::string>& arguments) {
    const std::string id = ApplicationId(ApplicationEnvironment::GetApplicationSupportRootPath());
    GApplication* application = g_application_new(id.c_str(), G_APPLICATION_HANDLES_OPEN);
    GError* error = nullptr;
    bool handedOver = false;
    if (!g_application_register(application, nullptr, &error)) {
        Logger::LogWarning("Could not reach the running client: %s", error->message);
        g_error_free(error);
    } else if (g_application_get_is_remote(application)) {
        std::vector<GFile*> addresses;
        for (size_t i = 1; i < arguments.size(); ++i) {
            if (isClientAddress(arguments[i])) addresses.push_back(g_file_new_for_uri(arguments[i].c_str()));
        }
        if (addresses.empty()) {
            g_application_activate(application);
        } else {
            g_application_open(application, addresses.data(), static_cast<gint>(addresses.size()), "");
        }
        for (GFile* address : addresses) g_object_unref(address);
        g_dbus_connection_flush_sync(g_application_get_dbus_connection(application), nullptr, nullptr);
        handedOver = true;
    }
    g_object_unref(application);
    return handedOver;
}

GtkShell::GtkShell(ClientStartup& startup)
    : m_startup(startup),
      m_application(gtk_application_new(ApplicationId(ApplicationEnvironment::GetApplicationSupportRootPath()).c_str(),
                                         G_APPLICATION_HANDLES_OPEN)) {
    g_signal_connect(m_application, "activate", G_CALLBACK(onActivate), this);
    g_signal_connect(m_application, "open", G_CALLBACK(onOpen), this);
    addAction(ShellWindow::QUIT_ACTION, G_CALLBACK(onQuitAction));
    addAction(ShellWindow::SETTINGS_ACTION, G_CALLBACK(onSettingsAction));
    const gchar* quitKeys[] = {"<Primary>q", nullptr};
    gtk_application_set_accels_for_action(m_application, "app.quit", quitKeys);
    const gchar* settingsKeys[] = {"<Primary>comma", nullptr};
    gtk_application_set_accels_for_action(m_application, (std::string("app.") + ShellWindow::SETTINGS_ACTION).c_str(),
                                          settingsKeys);
}

void GtkShell::addAction(const char* name, GCallback handler) {
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    g_signal_connect(action, "activate", handler, this);
    g_action_map_add_action(G_ACTION_MAP(m_application), G_ACTION(action));
    g_object_unref(action);
}

GtkShell::~GtkShell() {
    m_statusIcon.reset();
    m_testHook.reset();
    m_page.reset();
    g_object_unref(m_application);
}

int GtkShell::run() {
    g_unix_signal_add(SIGINT, onStopSignal, this);
    g_unix_signal_add(SIGTERM, onStopSignal, this);
    const int status = g_application_run(G_APPLICATION(m_application), 0, nullptr);
    // Messages that were still on their way when the engine stopped.
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    return status;
}

void GtkShell::onShellMessage(const ShellMessage& message) {
    // Always through the loop, even on the main thread: a message posted from
    // inside a web view signal must not load a page within that signal.
    g_idle_add(onMessage, new Delivery{this, message});
}

gboolean GtkShell::onMessage(gpointer delivery) {
    std::unique_ptr<Delivery> each(static_cast<Delivery*>(delivery));
    if (!each->shell->m_quitting) each->shell->perform(each->message);
    return G_SOURCE_REMOVE;
}

void GtkShell::activate() {
    if (m_window) {
        showWindow("the client was started again");
        return;
    }
    m_page.reset(new PageView(m_controller, ApplicationEnvironment::GetApplicationSupportRootPath()));
    m_window.reset(new ShellWindow(m_application, m_page->widget()));
    m_page->setLoadingListener([this](bool loading) { m_window->showLoading(loading); });
    g_signal_connect(m_window->window(), "delete-event", G_CALLBACK(onDeleteEvent), this);
    m_sleepWatcher.reset(new SleepWatcher());
    m_statusIcon.reset(new StatusIcon(g_application_get_dbus_connection(G_APPLICATION(m_application)),
                                      [this] { showWindow("the status icon's Show"); }, [this] { quit(); }));
    m_testHook = TestHook::FromEnvironment();
    if (m_testHook) m_testHook->attach(*m_page, *m_window);
    ShellMessageCenter::SetObserver(this);
    m_startup.startEngine(m_controller);
}

void GtkShell::perform(const ShellMessage& message) {
    if (message.name == ShellMessage::LOAD_LOGIN_PAGE) {
        m_page->loadLoginPage();
    } else if (message.name == ShellMessage::LOAD_GAME_CARD) {
        m_page->loadGameCard(message.text("gameCardPath"), message.text("gameCardType") == "Remote");
    } else if (message.name == ShellMessage::WEB_VIEW_UPDATE) {
        m_page->deliver(message.text("webViewUpdate"));
    } else if (message.name == ShellMessage::API_STATUS_CODE_CHANGED) {
        m_window->showApiStatus(message.integer("apiStatusCode", -1));
        const std::string endpoint = message.text("gamecardEndpoint");
        m_page->setGameCardEndpoint(endpoint);
        Logger::LogInfo("GameCard endpoint: %s", endpoint.c_str());
    } else if (message.name == ShellMessage::ON_PRODUCT_INSTALL_RESULT) {
        notifyInstallResult(message);
    } else {
        ShellNotice notice;
        if (!ShellNotice::Of(message, notice)) return;
        Logger::LogInfo("Window message: %s", notice.text.c_str());
        m_window->showMessage(notice.text, notice.error);
    }
}

void GtkShell::notifyInstallResult(const ShellMessage& message) {
    const std::string title =
        ShellNotice::InstallResultTitle(message.text("productName"), m_controller.getCurrentGameId());
    const std::string body = InstallNotificationText(message.integer("result", -1));
    const std::string iconPath = message.text("iconPath");
    Logger::LogInfo("Notification: %s: %s", title.c_str(), body.c_str());
    // Without a session bus no notification service could show it.
    if (g_application_get_dbus_connection(G_APPLICATION(m_application)) == nullptr) return;
    GNotification* notification = g_notification_new(title.c_str());
    if (!body.empty()) g_notification_set_body(notification, body.c_str());
    if (!iconPath.empty()) {
        GFile* file = g_file_new_for_path(iconPath.c_str());
        GIcon* icon = g_file_icon_new(file);
        g_notification_set_icon(notification, icon);
        g_object_unref(icon);
        g_object_unref(file);
    }
    g_application_send_notification(G_APPLICATION(m_application), NOTIFICATION_ID, notification);
    g_object_unref(notification);
}

void GtkShell::showWindow(const char* reason) {
    Logger::LogInfo("Showing the window: %s", reason);
    m_window->present();
}

void GtkShell::windowClosed() {
    Logger::LogInfo("Window closed; the client keeps running (quit with Ctrl+Q)");
    m_window->hide();
    if (m_closeExplained) return;
    m_closeExplained = true;
    // The window is gone, so the explanation goes where a hidden window's
    // person still looks: the desktop's notifications.
    Logger::LogInfo("Notification: %s: %s", CLOSE_NOTICE_TITLE, CLOSE_NOTICE_BODY);
    if (g_application_get_dbus_connection(G_APPLICATION(m_application)) == nullptr) return;
    GNotification* notification = g_notification_new(CLOSE_NOTICE_TITLE);
    g_notification_set_body(notification, CLOSE_NOTICE_BODY);
    g_application_send_notification(G_APPLICATION(m_application), CLOSE_NOTICE_ID, notification);
    g_object_unref(notification);
}

void GtkShell::quit() {
    if (m_quitting) return;
    m_quitting = true;
    Logger::LogInfo("Quitting");
    // The window would stand frozen through the handshake.
    if (m_window) m_window->hide();
    // A running install stops at its next step and resumes at the next start.
    m_startup.quit();
    ClosingAnnouncement::Send(g_application_get_dbus_connection(G_APPLICATION(m_application)));
    ShellMessageCenter::SetObserver(nullptr);
    g_application_quit(G_APPLICATION(m_application));
}

void GtkShell::onActivate(GApplication*, gpointer self) { static_cast<GtkShell*>(self)->activate(); }

void GtkShell::onOpen(GApplication*, GFile**, gint, gchar*, gpointer self) {
    Logger::LogInfo("Received protocol message");
    GtkShell* shell = static_cast<GtkShell*>(self);
    shell->activate();
}

gboolean GtkShell::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    // Closing the last window does not quit: installs go on, a new start of the
    // client shows the window again.
    static_cast<GtkShell*>(self)->windowClosed();
    return TRUE;
}

void GtkShell::onQuitAction(GSimpleAction*, GVariant*, gpointer self) { static_cast<GtkShell*>(self)->quit(); }

void GtkShell::onSettingsAction(GSimpleAction*, GVariant*, gpointer self) {
    GtkShell* shell = static_cast<GtkShell*>(self);
    if (shell->m_window) SettingsDialog::Open(shell->m_window->window());
}

gboolean GtkShell::onStopSignal(gpointer self) {
    static_cast<GtkShell*>(self)->quit();
    return G_SOURCE_CONTINUE;
}

}  // namespace VantisClient
