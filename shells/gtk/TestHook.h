// Lets the desktop shell's tests act as its user. Only when the environment
// names a script in VANTIS_TEST_SCRIPT: that script runs in every page after
// the page's own, and a page may then ask the "vantisTest" message handler
// for "screenshot:<name>" (a name of lower-case letters, digits and dashes):
// after the window's next paint it is saved as <name>.png in
// VANTIS_TEST_SCREENSHOT_DIR, and the page hears a "vantistest" event whose
// detail is the name. Without the variable nothing of this exists.
// Thread-safety: every operation on the GTK main thread.
#pragma once

#include <memory>
#include <string>

#include <webkit2/webkit2.h>

#include "gtk/PageView.h"
#include "gtk/ShellWindow.h"

namespace VantisClient {

class TestHook {
public:
    static const char* const SCRIPT_VARIABLE;
    static const char* const SCREENSHOT_DIRECTORY_VARIABLE;
    static const char* const HANDLER_NAME;

    // Null unless VANTIS_TEST_SCRIPT names a script that can be read.
    static std::unique_ptr<TestHook> FromEnvironment();

    TestHook(std::string script, std::string screenshotDirectory);
    ~TestHook();
    TestHook(const TestHook&) = delete;
    TestHook& operator=(const TestHook&) = delete;

    // Both must outlive the hook.
    void attach(PageView& page, ShellWindow& window);

private:
    static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static void onAfterPaint(GdkFrameClock* clock, gpointer self);
    void handle(const std::string& request);
    void takeScreenshot();
    bool saveScreenshot(const std::string& name, std::string& error) const;

    std::string m_script;
    std::string m_screenshotDirectory;
    PageView* m_page = nullptr;
    ShellWindow* m_window = nullptr;
    // The screenshot asked for, taken after the next paint.
    std::string m_pendingScreenshot;
};

}  // namespace VantisClient
