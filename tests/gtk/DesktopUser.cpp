#include "DesktopUser.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>

#include "support/WaitFor.h"

namespace VantisTest {
namespace {

const char* const WINDOW_TITLE = "Zorv Launcher";

std::string describe(const PageElement& element) {
    if (!element.found) return "not found";
    return std::string(element.shown ? "shown" : "hidden") + (element.enabled ? ", enabled" : ", disabled") +
           (element.checked ? ", checked" : "") + ", value \"" + element.value + "\", text \"" +
           element.text.substr(0, 200) + "\"";
}

std::string coordinate(double value) {
    return std::to_string(static_cast<long>(value));
}

}  // namespace

DesktopUser::DesktopUser() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0) {
        m_testEnd = ends[0];
        m_clientEnd = ends[1];
    }
}

DesktopUser::~DesktopUser() {
    if (m_testEnd >= 0) ::close(m_testEnd);
    if (m_clientEnd >= 0) ::close(m_clientEnd);
}

void DesktopUser::clientStarted(pid_t client) {
    m_client = client;
    if (m_clientEnd >= 0) ::close(m_clientEnd);
    m_clientEnd = -1;
}

int DesktopUser::Run(const std::vector<std::string>& arguments, std::string* output) {
    Poco::Pipe out;
    Poco::ProcessHandle process = Poco::Process::launch(
        arguments.front(), std::vector<std::string>(arguments.begin() + 1, arguments.end()), nullptr, &out, &out);
    Poco::PipeInputStream stream(out);
    std::string text;
    Poco::StreamCopier::copyToString(stream, text);
    if (output != nullptr) *output = text;
    return process.wait();
}

// One answer line per request; a late answer to an earlier request that timed
// out is read and dropped first.
std::string DesktopUser::ask(const std::string& request, int timeoutMs) {
    const std::string line = request + "\n";
    if (m_testEnd < 0 || ::send(m_testEnd, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) return "";
    std::string answer;
    const bool answered = WaitFor(
        [&] {
            const size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                answer = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return true;
            }
            pollfd readable{m_testEnd, POLLIN, 0};
            if (::poll(&readable, 1, 50) <= 0) return false;
            char buffer[4096];
            const ssize_t got = ::recv(m_testEnd, buffer, sizeof buffer, 0);
            if (got > 0) m_pending.append(buffer, size_t(got));
            return false;
        },
        timeoutMs);
    return answered ? answer : "";
}

PageElement DesktopUser::element(const std::string& selector) {
    PageElement element;
    try {
        Poco::JSON::Parser parser;
        auto fields = parser.parse(ask("element:" + selector)).extract<Poco::JSON::Object::Ptr>();
        element.found = fields->optValue("found", false);
        if (!element.found) return element;
        element.shown = fields->getValue<bool>("shown");
        element.enabled = fields->getValue<bool>("enabled");
        element.checked = fields->getValue<bool>("checked");
        element.loaded = fields->getValue<bool>("loaded");
        element.value = fields->getValue<std::string>("value");
        element.text = fields->getValue<std::string>("text");
        element.x = fields->getValue<double>("x");
        element.y = fields->getValue<double>("y");
        element.width = fields->getValue<double>("width");
        element.height = fields->getValue<double>("height");
    } catch (const Poco::Exception&) {
        element = PageElement();
    }
    return element;
}

::testing::AssertionResult DesktopUser::waitFor(const std::string& selector, const std::string& what,
                                                const std::function<bool(const PageElement&)>& holds, int timeoutMs) {
    PageElement last;
    if (WaitFor([&] { return holds(last = element(selector)); }, timeoutMs)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << selector << " never became " << what << "; it is " << describe(last);
}

::testing::AssertionResult DesktopUser::waitUntilShown(const std::string& selector, int timeoutMs) {
    return waitFor(selector, "shown", [](const PageElement& element) { return element.shown; }, timeoutMs);
}

::testing::AssertionResult DesktopUser::waitForText(const std::string& selector, const std::string& text,
                                                    int timeoutMs) {
    return waitFor(
        selector, "\"" + text + "\"",
        [&](const PageElement& element) { return element.shown && element.text.find(text) != std::string::npos; },
        timeoutMs);
}

::testing::AssertionResult DesktopUser::findWindow() {
    if (!m_window.empty()) return ::testing::AssertionSuccess();
    const bool found = WaitFor(
        [&] {
            std::string windows;
            Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--pid", std::to_string(m_client), "--name",
                 WINDOW_TITLE},
                &windows);
            m_window = windows.substr(0, windows.find('\n'));
            return !m_window.empty();
        },
        STEP_MS);
    if (!found) return ::testing::AssertionFailure() << "no visible window \"" << WINDOW_TITLE << "\" of the client";
    // The keys a person types go where the window manager put the focus.
    Run({"/usr/bin/xdotool", "windowactivate", "--sync", m_window});
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::click(const std::string& selector, int timeoutMs) {
    PageElement target;
    auto usable = waitFor(
        selector, "shown and enabled",
        [&](const PageElement& element) {
            target = element;
            return element.shown && element.enabled && element.width > 0 && element.height > 0;
        },
        timeoutMs);
    if (!usable) return usable;
    auto window = findWindow();
    if (!window) return window;
    const int status = Run({"/usr/bin/xdotool", "mousemove", "--window", m_window, "--sync",
                            coordinate(target.x + target.width / 2), coordinate(target.y + target.height / 2),
                            "click", "1"});
    if (status != 0) return ::testing::AssertionFailure() << "xdotool could not click " << selector;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::typeInto(const std::string& selector, const std::string& text) {
    auto clicked = click(selector);
    if (!clicked) return clicked;
    if (Run({"/usr/bin/xdotool", "type", "--delay", "20", text}) != 0) {
        return ::testing::AssertionFailure() << "xdotool could not type into " << selector;
    }
    return waitFor(selector, "\"" + text + "\"", [&](const PageElement& element) { return element.value == text; });
}

::testing::AssertionResult DesktopUser::press(const std::vector<std::string>& keys) {
    auto window = findWindow();
    if (!window) return window;
    std::vector<std::string> arguments = {"/usr/bin/xdotool", "key", "--delay", "50"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    if (Run(arguments) != 0) return ::testing::AssertionFailure() << "xdotool could not press the keys";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::screenshot(const std::string& name) {
    return saved("screenshot:", name);
}

::testing::AssertionResult DesktopUser::screenshotOfTheScreen(const std::string& name) {
    return saved("screen:", name);
}

::testing::AssertionResult DesktopUser::saved(const std::string& request, const std::string& name) {
    const std::string answer = ask(request + name);
    if (answer == "saved") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no screenshot " << name << ": " << (answer.empty() ? "no answer" : answer);
}

}  // namespace VantisTest
