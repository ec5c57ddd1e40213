#include "gtk/ShellWindow.h"

#include <string>

#include "common/ApplicationEnvironment.h"
#include "common/BuildInfo.h"

namespace VantisClient {
namespace {

const char* statusPictureName(int64_t status) {
    switch (status) {
        case 1:
            return "GreenDot";
        case 0:
        case 2:
            return "YellowDot";
        default:
            return nullptr;
    }
}

}  // namespace

ShellWindow::ShellWindow(GtkApplication* application, GtkWidget* page)
    : m_window(gtk_application_window_new(application)), m_spinner(gtk_spinner_new()), m_status(gtk_image_new()) {
    const std::string title = std::string("Zorv Launcher ") + BuildInfo::Version();
    gtk_window_set_title(GTK_WINDOW(m_window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(m_window), DEFAULT_WIDTH, DEFAULT_HEIGHT);

    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_margin_start(bar, 6);
    gtk_widget_set_margin_end(bar, 6);
    gtk_box_pack_start(GTK_BOX(bar), m_spinner, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(bar), m_status, FALSE, FALSE, 0);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(column), bar, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(column), page, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(m_window), column);
    gtk_widget_show_all(m_window);
    showLoading(true);
}

void ShellWindow::showLoading(bool loading) {
    gtk_widget_set_visible(m_spinner, loading);
    if (loading) {
        gtk_spinner_start(GTK_SPINNER(m_spinner));
    } else {
        gtk_spinner_stop(GTK_SPINNER(m_spinner));
    }
}

void ShellWindow::showApiStatus(int64_t status) {
    const char* name = statusPictureName(status);
    if (name == nullptr) {
        gtk_image_clear(GTK_IMAGE(m_status));
        return;
    }
    gtk_image_set_from_file(GTK_IMAGE(m_status), ApplicationEnvironment::GetResourcePath(name, "png").c_str());
}

void ShellWindow::present() { gtk_window_present(GTK_WINDOW(m_window)); }

void ShellWindow::hide() { gtk_widget_hide(m_window); }

}  // namespace VantisClient
