#include "XWindows.h"

#include <cstdio>
#include <sstream>

#include <X11/Xlib.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdkx.h>

namespace VantisTest {
namespace {

std::string commandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[256];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
    ::pclose(pipe);
    return output;
}

}  // namespace

std::vector<XWindows::Id> XWindows::Shown(const std::string& pattern) {
    std::vector<Id> windows;
    std::istringstream ids(commandOutput("xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null"));
    for (Id id = 0; ids >> id;) windows.push_back(id);
    return windows;
}

XWindows::Place XWindows::PlaceOf(Id window) {
    Place place;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return place;
    XWindowAttributes attributes{};
    Window child = 0;
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        place.width = attributes.width;
        place.height = attributes.height;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.x, &place.y, &child);
    }
    XCloseDisplay(display);
    return place;
}

void XWindows::AskToClose(Id window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
}

bool XWindows::SaveScreenshot(Id window, const std::string& path, std::string& error) {
    if (!gdk_init_check(nullptr, nullptr)) {
        error = "no display";
        return false;
    }
    GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), window);
    if (foreign == nullptr) {
        error = "no such window";
        return false;
    }
    const Place place = PlaceOf(window);
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(foreign, 0, 0, place.width, place.height);
    g_object_unref(foreign);
    if (picture == nullptr) {
        error = "the window cannot be read";
        return false;
    }
    GError* saveError = nullptr;
    const bool saved = gdk_pixbuf_save(picture, path.c_str(), "png", &saveError, nullptr) != FALSE;
    g_object_unref(picture);
    if (!saved) {
        error = saveError->message;
        g_error_free(saveError);
    }
    return saved;
}

}  // namespace VantisTest
