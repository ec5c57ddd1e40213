// The desktop tests' view of the X display, as a window manager or a person
// sees it: which windows are shown, where they stand, a close request like
// the one a window's close button sends, and a picture of a window. Kept apart
// from the tests because Xlib's macros clash with the test framework's names.
// Thread-safety: none; one test thread.
#pragma once

#include <string>
#include <vector>

namespace VantisTest {

class XWindows {
public:
    using Id = unsigned long;
    struct Place {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The shown top-level windows whose name matches the regular expression `pattern`.
    static std::vector<Id> Shown(const std::string& pattern);
    // Where `window` stands on the screen, and its size.
    static Place PlaceOf(Id window);
    // What a window manager sends when the person clicks the window's close button.
    static void AskToClose(Id window);
    // Saves a picture of `window` as a PNG file at `path`. False with `error` otherwise.
    static bool SaveScreenshot(Id window, const std::string& path, std::string& error);
};

}  // namespace VantisTest
