// The desktop shell's one window: its title carries the client's version; a
// bar holds the spinner that turns while a page loads and the picture of the
// backend's status; the page fills the rest.
// Thread-safety: GTK objects; every operation on the GTK main thread.
#pragma once

#include <cstdint>

#include <gtk/gtk.h>

namespace VantisClient {

class ShellWindow {
public:
    static constexpr int DEFAULT_WIDTH = 960;
    static constexpr int DEFAULT_HEIGHT = 640;

    // A window of `application` around `page`; shown at once with the spinner turning.
    ShellWindow(GtkApplication* application, GtkWidget* page);
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;

    GtkWindow* window() const { return GTK_WINDOW(m_window); }
    void showLoading(bool loading);
    // "GreenDot" for 1 (online), "YellowDot" for 0 and 2, no picture otherwise.
    void showApiStatus(int64_t status);
    void present();
    void hide();

private:
    GtkWidget* m_window;
    GtkWidget* m_spinner;
    GtkWidget* m_status;
};

}  // namespace VantisClient
