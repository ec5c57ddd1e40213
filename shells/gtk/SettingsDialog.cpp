#include "gtk/SettingsDialog.h"

#include <string>

#include "common/ClientSettings.h"
#include "common/Logger.h"
#include "common/UserPreferences.h"

namespace VantisClient {
namespace {

// A limit as the person would type it again: whole kibibytes or mebibytes
// with their letter, anything else in bytes; no limit is an empty field.
std::string rateText(uint32_t bytesPerSecond) {
    if (bytesPerSecond == 0) return "";
    if (bytesPerSecond % (1024 * 1024) == 0) return std::to_string(bytesPerSecond / (1024 * 1024)) + "M";
    if (bytesPerSecond % 1024 == 0) return std::to_string(bytesPerSecond / 1024) + "K";
    return std::to_string(bytesPerSecond);
}

std::string textOf(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }

}  // namespace

const char* const SettingsDialog::TITLE = "Settings";

void SettingsDialog::Open(GtkWindow* parent) {
    Logger::LogInfo("Settings window opened");
    new SettingsDialog(parent);
}

SettingsDialog::SettingsDialog(GtkWindow* parent)
    : m_dialog(gtk_dialog_new_with_buttons(TITLE, parent, GTK_DIALOG_DESTROY_WITH_PARENT, "Cancel",
                                           GTK_RESPONSE_CANCEL, "Save", GTK_RESPONSE_ACCEPT, nullptr)) {
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
    m_limit = addField(GTK_GRID(grid), 0, "Download limit", "bytes per second, like 500K or 20M; empty for none");
    m_parts = addField(GTK_GRID(grid), 1, "Parts in flight", "1 to 16 parts of a download at once");
    m_folder = addField(GTK_GRID(grid), 2, "Install folder", "where new games are installed");
    m_problem = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(m_problem), 0);
    gtk_label_set_line_wrap(GTK_LABEL(m_problem), TRUE);
    gtk_grid_attach(GTK_GRID(grid), m_problem, 0, 3, 2, 1);
    GtkWidget* note = gtk_label_new("Changes apply from the next install on.");
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_grid_attach(GTK_GRID(grid), note, 0, 4, 2, 1);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(m_dialog))), grid);
    gtk_dialog_set_default_response(GTK_DIALOG(m_dialog), GTK_RESPONSE_ACCEPT);
    fill();
    g_signal_connect(m_dialog, "response", G_CALLBACK(onResponse), this);
    gtk_widget_show_all(m_dialog);
}

SettingsDialog::~SettingsDialog() { gtk_widget_destroy(m_dialog); }

GtkWidget* SettingsDialog::addField(GtkGrid* grid, int row, const char* label, const char* hint) {
    GtkWidget* name = gtk_label_new(label);
    gtk_label_set_xalign(GTK_LABEL(name), 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), hint);
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 40);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_grid_attach(grid, name, 0, row, 1, 1);
    gtk_grid_attach(grid, entry, 1, row, 1, 1);
    return entry;
}

void SettingsDialog::fill() {
    const ClientSettings stored = ClientSettings::Stored();
    UserPreferences defaults;
    gtk_entry_set_text(GTK_ENTRY(m_limit), rateText(stored.downloadLimit.value_or(0)).c_str());
    gtk_entry_set_text(GTK_ENTRY(m_parts),
                       std::to_string(stored.partsInFlight.value_or(UserPreferences::DEFAULT_PARTS_IN_FLIGHT)).c_str());
    gtk_entry_set_text(GTK_ENTRY(m_folder), stored.libraryPath.value_or(defaults.getLibraryPath()).c_str());
}

bool SettingsDialog::save() {
    ClientSettings settings;
    std::string error;
    if (!ClientSettings::FromInput(textOf(m_limit), textOf(m_parts), textOf(m_folder), settings, error)) {
        Logger::LogInfo("Settings not saved: %s", error.c_str());
        gtk_label_set_text(GTK_LABEL(m_problem), error.c_str());
        return false;
    }
    if (!settings.store()) {
        gtk_label_set_text(GTK_LABEL(m_problem), "The settings could not be saved; see the log.");
        return false;
    }
    Logger::LogInfo("Settings saved: download limit %u bytes per second, %d parts in flight, install folder %s",
                    *settings.downloadLimit, *settings.partsInFlight, settings.libraryPath->c_str());
    return true;
}

void SettingsDialog::onResponse(GtkDialog*, gint response, gpointer self) {
    SettingsDialog* dialog = static_cast<SettingsDialog*>(self);
    if (response == GTK_RESPONSE_ACCEPT && !dialog->save()) return;
    delete dialog;
}

}  // namespace VantisClient
