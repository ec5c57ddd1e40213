// The desktop shell: one GTK application with one window around the page. It
// starts the engine when the application is activated, observes the shell
// messages and performs them on the GTK main thread (page loads, messages to
// the page, the status picture, notifications of install results). Closing
// the window hides it and the client keeps running (installs go on; the first
// close says so once, and the status icon shows that it runs); starting the
// client again or the icon's Show presents it. It quits through the shutdown
// handshake on its quit action (Ctrl+Q, the window's menu, the icon's Quit)
// or SIGINT or SIGTERM, and then announces "ClientClosing" on the session
// bus. Outcomes that the page may not show (a play task that failed, a
// verification, an uninstall) appear in the window's message bar. Addresses
// of the client's scheme that another launch hands over are logged, never acted on: a sign-in only comes from the shell's own
// login page.
//
// The application id is unique per application-support root, as the instance
// lock is, so that a second launch for the same root finds this one on the
// session bus (where there is one).
//
// Thread-safety: onShellMessage may be called from any thread; everything else
// runs on the GTK main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "app/BaseAppDelegate.h"
#include "app/ClientStartup.h"
#include "bridge/IShellMessageObserver.h"
#include "gtk/PageView.h"
#include "gtk/ShellWindow.h"
#include "gtk/SleepWatcher.h"
#include "gtk/StatusIcon.h"
#include "gtk/TestHook.h"

namespace VantisClient {

class GtkShell : public IShellMessageObserver {
public:
    // "net.vantis.Client.R" and 16 hexadecimal digits of the root's hash.
    static std::string ApplicationId(const std::string& supportRoot);
    // The launch that found another instance of the same root: hands it the
    // client-scheme addresses among `arguments` (or asks it to show its
    // window). False when there is no session bus or no such instance on it.
    static bool HandOverToRunningInstance(const std::vector<std::string>& arguments);

    explicit GtkShell(ClientStartup& startup);
    ~GtkShell() override;
    GtkShell(const GtkShell&) = delete;
    GtkShell& operator=(const GtkShell&) = delete;

    // Runs the application until it quits; the exit status.
    int run();
    void onShellMessage(const ShellMessage& message) override;

private:
    void activate();
    void perform(const ShellMessage& message);
    void notifyInstallResult(const ShellMessage& message);
    void showWindow(const char* reason);
    void windowClosed();
    void quit();
    void addAction(const char* name, GCallback handler);

    static void onActivate(GApplication*, gpointer self);
    static void onOpen(GApplication*, GFile**, gint, gchar*, gpointer self);
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onStopSignal(gpointer self);
    static void onQuitAction(GSimpleAction*, GVariant*, gpointer self);
    static void onSettingsAction(GSimpleAction*, GVariant*, gpointer self);
    static gboolean onMessage(gpointer delivery);

    ClientStartup& m_startup;
    BaseAppDelegate m_controller;
    GtkApplication* m_application;
    std::unique_ptr<PageView> m_page;
    std::unique_ptr<ShellWindow> m_window;
    std::unique_ptr<TestHook> m_testHook;
    std::unique_ptr<SleepWatcher> m_sleepWatcher;
    std::unique_ptr<StatusIcon> m_statusIcon;
    bool m_quitting = false;
    bool m_closeExplained = false;
};

}  // namespace VantisClient
