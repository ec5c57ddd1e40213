#include "gtk/TestHook.h"

#include <cstdlib>
#include <memory>
#include <sstream>

#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/NumberParser.h>
#include <Poco/StreamCopier.h>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "gtk/PageScript.h"

namespace VantisClient {
namespace {

const char* const SCREENSHOT_REQUEST = "screenshot:";
const char* const SCREEN_REQUEST = "screen:";
const char* const ELEMENT_REQUEST = "element:";

// What a person could tell of an element: whether it is on screen (no hidden
// ancestor, a box of its own), usable, ticked, what it says, and where it is.
// Scrolled into view first, as a person would before clicking it.
const char* const ELEMENT_SCRIPT = R"((function (selector) {
  var element = document.querySelector(selector);
  if (!element) return JSON.stringify({ found: false });
  var style = getComputedStyle(element);
  var shown = element.getClientRects().length > 0 && style.visibility !== "hidden" && !element.closest("[hidden]");
  if (shown) element.scrollIntoView({ block: "nearest", inline: "nearest" });
  var box = element.getBoundingClientRect();
  return JSON.stringify({
    found: true, shown: shown, enabled: !element.matches(":disabled"), checked: !!element.checked,
    value: element.value === undefined ? "" : String(element.value), text: element.textContent.trim(),
    loaded: element.tagName === "IMG" && element.complete && element.naturalWidth > 0,
    x: box.left, y: box.top, width: box.width, height: box.height
  });
}))";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

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
const char* const TestHook::CHANNEL_VARIABLE = "VANTIS_TEST_CHANNEL_FD";

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
    : m_script(std::move(script)),
      m_screenshotDirectory(std::move(screenshotDirectory)),
      m_cancellable(g_cancellable_new()) {}

TestHook::~TestHook() {
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
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
    openChannel();
}

void TestHook::openChannel() {
    const std::string number = environment(CHANNEL_VARIABLE);
    int descriptor = -1;
    if (number.empty()) return;
    if (!Poco::NumberParser::tryParse(number, descriptor)) {
        Logger::LogError("Test hook: %s is no descriptor: %s", CHANNEL_VARIABLE, number.c_str());
        return;
    }
    m_channel.reset(TestChannel::Open(descriptor, [this](const std::string& request) {
        handle(request, [this](const std::string& answer) { m_channel->answer(answer); });
    }));
}

void TestHook::onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
    auto* hook = static_cast<TestHook*>(self);
    const std::string request = text != nullptr ? text : "";
    g_free(text);
    // A page's script waits for the event that names its request, taken or not.
    const std::string name = request.substr(request.find(':') + 1);
    hook->handle(request, [hook, name](const std::string&) {
        hook->m_page->runScript(PageScript::WindowEvent("vantistest", name));
    });
}

void TestHook::handle(const std::string& request, Answer answer) {
    if (startsWith(request, ELEMENT_REQUEST)) {
        readElement(request.substr(std::string(ELEMENT_REQUEST).size()), std::move(answer));
        return;
    }
    const bool wholeScreen = startsWith(request, SCREEN_REQUEST);
    const std::string prefix = wholeScreen ? SCREEN_REQUEST : SCREENSHOT_REQUEST;
    const std::string name = startsWith(request, prefix) ? request.substr(prefix.size()) : "";
    if (!isPlainName(name)) {
        Logger::LogWarning("Test hook: unknown request %s", request.c_str());
        answer("failed: unknown request");
        return;
    }
    askScreenshot(name, wholeScreen, std::move(answer));
}

void TestHook::askScreenshot(const std::string& name, bool wholeScreen, Answer answer) {
    if (!m_pendingScreenshot.empty()) {
        Logger::LogWarning("Test hook: screenshot %s asked for while %s is pending", name.c_str(),
                           m_pendingScreenshot.c_str());
        answer("failed: another screenshot is pending");
        return;
    }
    GtkWidget* window = GTK_WIDGET(m_window->window());
    GdkFrameClock* clock = gtk_widget_get_frame_clock(window);
    if (clock == nullptr) {
        answer("failed: the window is not shown");
        return;
    }
    // What the page drew last reaches the window with its next paint.
    m_pendingScreenshot = name;
    m_wholeScreen = wholeScreen;
    m_screenshotAnswer = std::move(answer);
    g_signal_connect(clock, "after-paint", G_CALLBACK(onAfterPaint), this);
    gtk_widget_queue_draw(window);
}

void TestHook::onAfterPaint(GdkFrameClock* clock, gpointer self) {
    g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(onAfterPaint), self);
    static_cast<TestHook*>(self)->takeScreenshot();
}

void TestHook::takeScreenshot() {
    const std::string name = m_pendingScreenshot;
    m_pendingScreenshot.clear();
    const Answer answer = std::move(m_screenshotAnswer);
    m_screenshotAnswer = nullptr;
    std::string error;
    const bool saved = saveScreenshot(name, error);
    if (!saved) Logger::LogError("Test hook: no screenshot %s: %s", name.c_str(), error.c_str());
    answer(saved ? "saved" : "failed: " + error);
}

void TestHook::readElement(const std::string& selector, Answer answer) {
    const std::string script = std::string(ELEMENT_SCRIPT) + "(" + PageScript::StringLiteral(selector) + ")";
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(m_page->widget()), script.c_str(),
                                        static_cast<gssize>(script.size()), nullptr, nullptr, m_cancellable,
                                        onElementRead, new std::pair<TestHook*, Answer>(this, std::move(answer)));
}

void TestHook::onElementRead(GObject* view, GAsyncResult* result, gpointer pending) {
    std::unique_ptr<std::pair<TestHook*, Answer>> asked(static_cast<std::pair<TestHook*, Answer>*>(pending));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (value == nullptr) {
        // A hook that is going has no one to answer.
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) asked->second("{\"found\": false, \"error\": " + PageScript::StringLiteral(error->message) + "}");
        g_error_free(error);
        return;
    }
    gchar* text = jsc_value_to_string(value);
    g_object_unref(value);
    asked->second(asked->first->inWindowCoordinates(text != nullptr ? text : "{}"));
    g_free(text);
}

// The page's box moved by where the page sits in the window (below its bar).
std::string TestHook::inWindowCoordinates(const std::string& pageAnswer) const {
    try {
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr element = parser.parse(pageAnswer).extract<Poco::JSON::Object::Ptr>();
        if (!element->optValue("found", false)) return pageAnswer;
        int left = 0;
        int top = 0;
        gtk_widget_translate_coordinates(m_page->widget(), GTK_WIDGET(m_window->window()), 0, 0, &left, &top);
        element->set("x", left + element->getValue<double>("x"));
        element->set("y", top + element->getValue<double>("y"));
        std::ostringstream text;
        element->stringify(text);
        return text.str();
    } catch (const Poco::Exception& exception) {
        return "{\"found\": false, \"error\": " + PageScript::StringLiteral(exception.displayText()) + "}";
    }
}

bool TestHook::saveScreenshot(const std::string& name, std::string& error) const {
    if (m_screenshotDirectory.empty()) {
        error = std::string(SCREENSHOT_DIRECTORY_VARIABLE) + " is not set";
        return false;
    }
    GdkWindow* window = m_wholeScreen ? gdk_get_default_root_window() : gtk_widget_get_window(GTK_WIDGET(m_window->window()));
    const int width = gdk_window_get_width(window);
    const int height = gdk_window_get_height(window);
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, 0, 0, width, height);
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
