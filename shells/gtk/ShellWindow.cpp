#include "gtk/ShellWindow.h"

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

GMenuModel* createMenu() {
    GMenu* menu = g_menu_new();
    g_menu_append(menu, "Settings…", (std::string("app.") + ShellWindow::SETTINGS_ACTION).c_str());
    g_menu_append(menu, "Quit", (std::string("app.") + ShellWindow::QUIT_ACTION).c_str());
    return G_MENU_MODEL(menu);
}

}  // namespace

const char* const ShellWindow::SETTINGS_ACTION = "settings";
const char* const ShellWindow::QUIT_ACTION = "quit";

ShellWindow::ShellWindow(GtkApplication* application, GtkWidget* page)
    : m_window(gtk_application_window_new(application)), m_spinner(gtk_spinner_new()), m_status(gtk_image_new()) {
    const std::string title = std::string("Zorv Launcher ") + BuildInfo::Version();
    gtk_window_set_title(GTK_WINDOW(m_window), title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(m_window), DEFAULT_WIDTH, DEFAULT_HEIGHT);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(column), createBar(), FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(column), createMessageBar(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), page, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(m_window), column);
    gtk_widget_show_all(m_window);
    // Shown only when there is something to say.
    gtk_widget_hide(m_messageBar);
    showLoading(true);
}

GtkWidget* ShellWindow::createBar() {
    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_margin_start(bar, 6);
    gtk_widget_set_margin_end(bar, 6);
    GtkWidget* menuButton = gtk_menu_button_new();
    gtk_widget_set_name(menuButton, "window-menu");
    GtkWidget* icon = gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_MENU);
    gtk_button_set_image(GTK_BUTTON(menuButton), icon);
    GMenuModel* menu = createMenu();
    gtk_menu_button_set_menu_model(GTK_MENU_BUTTON(menuButton), menu);
    g_object_unref(menu);
    gtk_box_pack_start(GTK_BOX(bar), m_spinner, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(bar), menuButton, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(bar), m_status, FALSE, FALSE, 0);
    return bar;
}

GtkWidget* ShellWindow::createMessageBar() {
    m_messageBar = gtk_info_bar_new();
    gtk_info_bar_set_show_close_button(GTK_INFO_BAR(m_messageBar), TRUE);
    m_messageLabel = gtk_label_new("");
    gtk_label_set_line_wrap(GTK_LABEL(m_messageLabel), TRUE);
    gtk_label_set_xalign(GTK_LABEL(m_messageLabel), 0);
    gtk_label_set_selectable(GTK_LABEL(m_messageLabel), TRUE);
    gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(m_messageBar))), m_messageLabel);
    g_signal_connect(m_messageBar, "response", G_CALLBACK(onMessageResponse), nullptr);
    return m_messageBar;
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

void ShellWindow::showMessage(const std::string& text, bool error) {
    m_message = text;
    gtk_label_set_text(GTK_LABEL(m_messageLabel), text.c_str());
    gtk_info_bar_set_message_type(GTK_INFO_BAR(m_messageBar), error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO);
    gtk_widget_show(m_messageBar);
}

void ShellWindow::onMessageResponse(GtkInfoBar* bar, gint, gpointer) { gtk_widget_hide(GTK_WIDGET(bar)); }

bool ShellWindow::isVisible() const { return gtk_widget_get_visible(m_window) != FALSE; }

void ShellWindow::present() {
    // A window manager places a window that is mapped again where it likes,
    // often the screen's corner: it goes back where the person left it.
    if (!isVisible() && m_hasPosition) gtk_window_move(GTK_WINDOW(m_window), m_x, m_y);
    gtk_window_present(GTK_WINDOW(m_window));
}

void ShellWindow::hide() {
    if (isVisible()) {
        gtk_window_get_position(GTK_WINDOW(m_window), &m_x, &m_y);
        m_hasPosition = true;
    }
    gtk_widget_hide(m_window);
}

}  // namespace VantisClient
