// The Settings window, reached from the main window's menu: the download
// limit, the parts in flight and the default install folder. It shows what
// "Config.json" holds (or the client's defaults), checks what the person typed
// and saves it only when all of it is sound; otherwise it says what is wrong
// and stays open. Saved choices apply from the next install on.
// Thread-safety: GTK objects; every operation on the GTK main thread.
#pragma once

#include <gtk/gtk.h>

namespace VantisClient {

class SettingsDialog {
public:
    static const char* const TITLE;

    // Shows the window over `parent`; it deletes itself when closed.
    static void Open(GtkWindow* parent);

private:
    explicit SettingsDialog(GtkWindow* parent);
    ~SettingsDialog();
    SettingsDialog(const SettingsDialog&) = delete;
    SettingsDialog& operator=(const SettingsDialog&) = delete;

    GtkWidget* addField(GtkGrid* grid, int row, const char* label, const char* hint);
    void fill();
    bool save();
    static void onResponse(GtkDialog*, gint response, gpointer self);

    GtkWidget* m_dialog;
    GtkWidget* m_limit = nullptr;
    GtkWidget* m_parts = nullptr;
    GtkWidget* m_folder = nullptr;
    GtkWidget* m_problem = nullptr;
};

}  // namespace VantisClient
