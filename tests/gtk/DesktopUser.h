// A person at the desktop shell's window, for the desktop tests: real pointer
// clicks, typing and key presses under the virtual display's window manager
// (through xdotool), aimed at page elements whose place and state the shell's
// test hook reports on a socket handed to the client (its descriptor number in
// VANTIS_TEST_CHANNEL_FD). Each action first waits until its element is shown
// and usable, as a person would.
// Thread-safety: none; one test thread.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace VantisTest {

struct PageElement {
    bool found = false;
    bool shown = false;
    bool enabled = false;
    bool checked = false;
    bool loaded = false;  // a picture with its pixels
    std::string value;
    std::string text;
    // The box in window coordinates.
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

class DesktopUser {
public:
    static const int CHILD_DESCRIPTOR = 3;
    static const int STEP_MS = 30000;

    DesktopUser();
    ~DesktopUser();
    DesktopUser(const DesktopUser&) = delete;
    DesktopUser& operator=(const DesktopUser&) = delete;

    // The client's end of the socket, to be placed at CHILD_DESCRIPTOR.
    int clientEnd() const { return m_clientEnd; }
    // The client runs with its end: this side lets go of it.
    void clientStarted(pid_t client);

    // The element now; not found while no page answers.
    PageElement element(const std::string& selector);
    ::testing::AssertionResult waitFor(const std::string& selector, const std::string& what,
                                       const std::function<bool(const PageElement&)>& holds, int timeoutMs = STEP_MS);
    ::testing::AssertionResult waitUntilShown(const std::string& selector, int timeoutMs = STEP_MS);
    ::testing::AssertionResult waitForText(const std::string& selector, const std::string& text,
                                           int timeoutMs = STEP_MS);

    // A click at the middle of the element once it is shown and enabled.
    ::testing::AssertionResult click(const std::string& selector, int timeoutMs = STEP_MS);
    // A click into the field, then `text` typed.
    ::testing::AssertionResult typeInto(const std::string& selector, const std::string& text);
    // Keys as xdotool names them ("Down", "Return", "ctrl+q"), to the focused element.
    ::testing::AssertionResult press(const std::vector<std::string>& keys);

    // Saved as <name>.png in the screenshots directory: the window, or the
    // whole screen (for dialogs).
    ::testing::AssertionResult screenshot(const std::string& name);
    ::testing::AssertionResult screenshotOfTheScreen(const std::string& name);

    // Runs `arguments` and returns its exit status; its output in `output`.
    static int Run(const std::vector<std::string>& arguments, std::string* output = nullptr);

private:
    std::string ask(const std::string& request, int timeoutMs = 10000);
    ::testing::AssertionResult findWindow();
    ::testing::AssertionResult saved(const std::string& request, const std::string& name);

    int m_testEnd = -1;
    int m_clientEnd = -1;
    pid_t m_client = 0;
    std::string m_window;
    std::string m_pending;
};

}  // namespace VantisTest
