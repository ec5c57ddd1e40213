// The desktop shell's one window: its title carries the client's version; a
// bar holds the spinner that turns while a page loads, the picture of the
// backend's status and the menu (Settings, Quit); below it a message bar says
// what went wrong outside the page; the page fills the rest.
//
// The window is presented only when the person asks for it (a new start, the
// status icon's Show) or at the first start: a page load or a status check
// never brings a hidden window back. Hiding remembers where the window stood,
// so that presenting it again puts it there rather than at the screen's corner.
// Thread-safety: GTK objects; every operation on the GTK main thread.
#pragma once

#include <cstdint>
#include <string>

#include <gtk/gtk.h>

namespace VantisClient {

class ShellWindow {
public:
    static constexpr int DEFAULT_WIDTH = 960;
    static constexpr int DEFAULT_HEIGHT = 640;
    // Action names of the window's menu, in the application's action map.
    static const char* const SETTINGS_ACTION;
    static const char* const QUIT_ACTION;

    // A window of `application` around `page`; shown at once with the spinner turning.
    ShellWindow(GtkApplication* application, GtkWidget* page);
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;

    GtkWindow* window() const { return GTK_WINDOW(m_window); }
    void showLoading(bool loading);
    // "GreenDot" for 1 (online), "YellowDot" for 0 and 2, no picture otherwise.
    void showApiStatus(int64_t status);
    // Shows `text` in the message bar until the person closes it or another
    // message replaces it; an error is drawn as one.
    void showMessage(const std::string& text, bool error);
    std::string shownMessage() const { return m_message; }
    bool isVisible() const;
    void present();
    void hide();

private:
    GtkWidget* createBar();
    GtkWidget* createMessageBar();
    static void onMessageResponse(GtkInfoBar* bar, gint, gpointer);

    GtkWidget* m_window;
    GtkWidget* m_spinner;
    GtkWidget* m_status;
    GtkWidget* m_messageBar = nullptr;
    GtkWidget* m_messageLabel = nullptr;
    std::string m_message;
    bool m_hasPosition = false;
    int m_x = 0;
    int m_y = 0;
};

}  // namespace VantisClient
