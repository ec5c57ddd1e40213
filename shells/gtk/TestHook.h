// Lets the desktop shell's tests act as its user. Only when the environment
// names a script in VANTIS_TEST_SCRIPT: that script runs in every page after
// the page's own, and a page may then ask the "vantisTest" message handler
// for "screenshot:<name>" (a name of lower-case letters, digits and dashes):
// after the window's next paint it is saved as <name>.png in
// VANTIS_TEST_SCREENSHOT_DIR, and the page hears a "vantistest" event whose
// detail is the name.
//
// A test that drives the window as a person does also hands down a socket,
// its descriptor number in VANTIS_TEST_CHANNEL_FD (TestChannel), and asks on it:
//   "element:<css selector>"  the first matching element of the current page as
//       JSON: found, shown, enabled, checked, value, text, loaded (a picture with
//       its pixels) and its box (x, y, width, height) in window coordinates,
//       so that a click at its middle lands on it;
//   "screenshot:<name>"       the window's picture as above, answered "saved" or
//       "failed: <reason>";
//   "screen:<name>"           the same for the whole screen, dialogs included.
// Without VANTIS_TEST_SCRIPT nothing of this exists.
// Thread-safety: every operation on the GTK main thread.
#pragma once

#include <memory>
#include <functional>
#include <string>

#include <webkit2/webkit2.h>

#include "gtk/PageView.h"
#include "gtk/ShellWindow.h"
#include "gtk/TestChannel.h"

namespace VantisClient {

class TestHook {
public:
    static const char* const SCRIPT_VARIABLE;
    static const char* const SCREENSHOT_DIRECTORY_VARIABLE;
    static const char* const HANDLER_NAME;
    static const char* const CHANNEL_VARIABLE;

    // Null unless VANTIS_TEST_SCRIPT names a script that can be read.
    static std::unique_ptr<TestHook> FromEnvironment();

    TestHook(std::string script, std::string screenshotDirectory);
    ~TestHook();
    TestHook(const TestHook&) = delete;
    TestHook& operator=(const TestHook&) = delete;

    // Both must outlive the hook.
    void attach(PageView& page, ShellWindow& window);

private:
    using Answer = std::function<void(const std::string& answer)>;

    static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static void onAfterPaint(GdkFrameClock* clock, gpointer self);
    static void onElementRead(GObject* view, GAsyncResult* result, gpointer pending);
    void openChannel();
    void handle(const std::string& request, Answer answer);
    void askScreenshot(const std::string& name, bool wholeScreen, Answer answer);
    void readElement(const std::string& selector, Answer answer);
    std::string inWindowCoordinates(const std::string& pageAnswer) const;
    void takeScreenshot();
    bool saveScreenshot(const std::string& name, std::string& error) const;

    std::string m_script;
    std::string m_screenshotDirectory;
    PageView* m_page = nullptr;
    ShellWindow* m_window = nullptr;
    std::unique_ptr<TestChannel> m_channel;
    // Cancelled with the hook, so that no late page answer reaches it.
    GCancellable* m_cancellable;
    // The screenshot asked for, taken after the next paint, and who hears of it.
    std::string m_pendingScreenshot;
    bool m_wholeScreen = false;
    Answer m_screenshotAnswer;
};

}  // namespace VantisClient
