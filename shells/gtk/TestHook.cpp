#include "gtk/TestHook.h"

#include <cstdlib>

#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "gtk/PageScript.h"

namespace VantisClient {
namespace {

const char* const SCREENSHOT_REQUEST = "screenshot:";

bool isPlainName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return true;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

const char* const TestHook::SCRIPT_VARIABLE = "VANTIS_TEST_SCRIPT";
const char* const TestHook::SCREENSHOT_DIRECTORY_VARIABLE = "VANTIS_TEST_SCREENSHOT_DIR";
const char* const TestHook::HANDLER_NAME = "vantisTest";

std::unique_ptr<TestHook> TestHook::FromEnvironment() {
    const std::string path = environment(SCRIPT_VARIABLE);
    if (path.empty()) return nullptr;
    std::string script;
    try {
        Poco::FileInputStream stream(path);
        Poco::StreamCopier::copyToString(stream, script);
    } catch (const Poco::Exception& exception) {
        Logger::LogError("The test script %s cannot be read: %s", path.c_str(), exception.displayText().c_str());
        return nullptr;
    }
    Logger::LogWarning("Test hook on: %s runs in every page", path.c_str());
    return std::unique_ptr<TestHook>(new TestHook(script, environment(SCREENSHOT_DIRECTORY_VARIABLE)));
}

TestHook::TestHook(std::string script, std::string screenshotDirectory)
    : m_script(std::move(script)), m_screenshotDirectory(std::move(screenshotDirectory)) {}

TestHook::~TestHook() {
    if (m_page == nullptr) return;
    g_signal_handlers_disconnect_by_data(m_page->contentManager(), this);
    GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(m_window->window()));
    if (clock != nullptr) g_signal_handlers_disconnect_by_data(clock, this);
}

void TestHook::attach(PageView& page, ShellWindow& window) {
    m_page = &page;
    m_window = &window;
    page.setExtraPageScript(m_script);
    webkit_user_content_manager_register_script_message_handler(page.contentManager(), HANDLER_NAME);
    const std::string signal = std::string("script-message-received::") + HANDLER_NAME;
    g_signal_connect(page.contentManager(), signal.c_str(), G_CALLBACK(onMessage), this);
}

void TestHook::onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
    static_cast<TestHook*>(self)->handle(text != nullptr ? text : "");
    g_free(text);
}

void TestHook::handle(const std::string& request) {
    const std::string prefix = SCREENSHOT_REQUEST;
    const std::string name = request.compare(0, prefix.size(), prefix) == 0 ? request.substr(prefix.size()) : "";
    if (!isPlainName(name)) {
        Logger::LogWarning("Test hook: unknown request %s", request.c_str());
        return;
    }
    if (!m_pendingScreenshot.empty()) {
        Logger::LogWarning("Test hook: screenshot %s asked for while %s is pending", name.c_str(),
                           m_pendingScreenshot.c_str());
        return;
    }
    // What the page drew last reaches the window with its next paint.
    m_pendingScreenshot = name;
    GtkWidget* window = GTK_WIDGET(m_window->window());
    g_signal_connect(gtk_widget_get_frame_clock(window), "after-paint", G_CALLBACK(onAfterPaint), this);
    gtk_widget_queue_draw(window);
}

void TestHook::onAfterPaint(GdkFrameClock* clock, gpointer self) {
    g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(onAfterPaint), self);
    static_cast<TestHook*>(self)->takeScreenshot();
}

void TestHook::takeScreenshot() {
    const std::string name = m_pendingScreenshot;
    m_pendingScreenshot.clear();
    std::string error;
    if (!saveScreenshot(name, error)) Logger::LogError("Test hook: no screenshot %s: %s", name.c_str(), error.c_str());
    m_page->runScript(PageScript::WindowEvent("vantistest", name));
}

bool TestHook::saveScreenshot(const std::string& name, std::string& error) const {
    if (m_screenshotDirectory.empty()) {
        error = std::string(SCREENSHOT_DIRECTORY_VARIABLE) + " is not set";
        return false;
    }
    GtkWidget* window = GTK_WIDGET(m_window->window());
    const int width = gtk_widget_get_allocated_width(window);
    const int height = gtk_widget_get_allocated_height(window);
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(gtk_widget_get_window(window), 0, 0, width, height);
    if (picture == nullptr) {
        error = "the window cannot be read";
        return false;
    }
    const std::string path = Utilities::AppendPath(m_screenshotDirectory, name + ".png");
    GError* saveError = nullptr;
    const bool saved = gdk_pixbuf_save(picture, path.c_str(), "png", &saveError, nullptr) != FALSE;
    g_object_unref(picture);
    if (!saved) {
        error = saveError->message;
        g_error_free(saveError);
        return false;
    }
    Logger::LogInfo("Test hook: saved screenshot %s (%dx%d)", path.c_str(), width, height);
    return true;
}

}  // namespace VantisClient
