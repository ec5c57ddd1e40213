#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "DesktopUser.h"
#include "gtk/ClosingAnnouncement.h"
#include "gtk/GtkShell.h"
#include "gtk/ShellWindow.h"
#include "gtk/StatusIcon.h"
#include "support/WaitFor.h"
#include "XWindows.h"

extern char** environ;

namespace {

using VantisClient::ShellWindow;
using VantisTest::DesktopUser;
using VantisTest::SampleGame;

const std::string CLIENT = std::string(VANTIS_TEST_BIN_DIR) + "/vantis-client-gtk";
const std::string SCREENSHOTS = VANTIS_TEST_SCREENSHOT_DIR;
const std::string SCRIPTS = VANTIS_TEST_GTK_SCRIPT_DIR;
const int SLOW_STEP_MS = 60000;
const int ANOTHER_INSTANCE_STATUS = 256 - 9;

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// The window manager of the virtual display, for the whole program: windows
// are placed, framed and focused as on a person's desktop.
class WindowManager : public ::testing::Environment {
public:
    void SetUp() override {
        m_manager = launchInBackground({"openbox", "--sm-disable"});
        const bool running = VantisTest::WaitFor(
            [] {
                std::string root;
                DesktopUser::Run({"/usr/bin/xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &root);
                return root.find("window id") != std::string::npos;
            },
            SLOW_STEP_MS);
        ASSERT_TRUE(running) << "the window manager did not start on " << (getenv("DISPLAY") ? getenv("DISPLAY") : "?");
    }

    void TearDown() override {
        if (m_manager <= 0) return;
        ::kill(m_manager, SIGTERM);
        ::waitpid(m_manager, nullptr, 0);
    }

private:
    static pid_t launchInBackground(std::vector<std::string> arguments) {
        std::vector<char*> pointers;
        for (std::string& argument : arguments) pointers.push_back(&argument[0]);
        pointers.push_back(nullptr);
        pid_t process = 0;
        return posix_spawnp(&process, pointers[0], nullptr, nullptr, pointers.data(), environ) == 0 ? process : -1;
    }

    pid_t m_manager = -1;
};

::testing::Environment* const WINDOW_MANAGER = ::testing::AddGlobalTestEnvironment(new WindowManager);

// The number of colours below the window's bar: one for a page that shows nothing.
size_t pageColours(const GdkPixbuf* picture) {
    const int channels = gdk_pixbuf_get_n_channels(picture);
    const int stride = gdk_pixbuf_get_rowstride(picture);
    const guchar* pixels = gdk_pixbuf_read_pixels(picture);
    std::map<uint32_t, bool> colours;
    for (int y = gdk_pixbuf_get_height(picture) / 10; y < gdk_pixbuf_get_height(picture); ++y) {
        for (int x = 0; x < gdk_pixbuf_get_width(picture); ++x) {
            const guchar* pixel = pixels + y * stride + x * channels;
            colours[(uint32_t(pixel[0]) << 16) | (uint32_t(pixel[1]) << 8) | pixel[2]] = true;
        }
    }
    return colours.size();
}

class DesktopShellTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        startBackend();
        // The channels that show the bridge's traffic.
        sandbox.writeFile("Config.json", R"({"loggingChannels": ["Browser", "JavaScript", "HttpTraffic"]})");
        Poco::File(SCREENSHOTS).createDirectories();
    }

    void TearDown() override {
        for (pid_t client : clients) {
            if (::waitpid(client, nullptr, WNOHANG) == 0) {
                ::kill(client, SIGKILL);
                ::waitpid(client, nullptr, 0);
            }
        }
        // A client that stopped on its own says why only in its output.
        if (HasFailure()) {
            for (size_t index = 0; index < clients.size(); ++index) {
                const std::string output = VantisTest::ReadWholeFile(sandbox.path("client-" + std::to_string(index) + ".out"));
                std::cerr << "client-" << index << ".out ends with:\n"
                          << output.substr(output.size() > 4000 ? output.size() - 4000 : 0) << "\n";
            }
        }
        BackendTest::TearDown();
    }

    // Starts `program` for the sample game with `extra` arguments; its output
    // goes to "client-<n>.out" in the sandbox. With `user`, the client's
    // window is theirs to drive.
    pid_t launch(const std::string& program, const std::vector<std::string>& extra = {},
                 DesktopUser* user = nullptr) {
        std::vector<std::string> arguments = {program, "--runWithoutUpdating", std::string("--gameId=") + SampleGame::BASE_ID,
                                              "--path=" + installDirectory(), "--skipServiceRunningCheck"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<std::string> environment = childEnvironment();
        if (user != nullptr) {
            environment.push_back("VANTIS_TEST_CHANNEL_FD=" + std::to_string(DesktopUser::CHILD_DESCRIPTOR));
        }
        const std::string output = sandbox.path("client-" + std::to_string(clients.size()) + ".out");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (user != nullptr) posix_spawn_file_actions_adddup2(&actions, user->clientEnd(), DesktopUser::CHILD_DESCRIPTOR);
        pid_t client = 0;
        const int error = posix_spawn(&client, program.c_str(), &actions, nullptr, pointers(arguments).data(),
                                      pointers(environment).data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(0, error) << program;
        if (user != nullptr) user->clientStarted(client);
        clients.push_back(client);
        return client;
    }

    // A new client for a game not installed, signed in through the login
    // page's own form by typing, at the card.
    pid_t startSignedIn(DesktopUser& user, const std::string& username = "player",
                        const std::string& password = "secret") {
        Poco::File(installDirectory()).createDirectories();
        const pid_t client = launch(CLIENT, {}, &user);
        EXPECT_TRUE(user.typeInto("#login input[name=username]", username));
        EXPECT_TRUE(user.typeInto("#login input[name=password]", password));
        EXPECT_TRUE(user.click("#login button[type=submit]"));
        EXPECT_TRUE(logShows("Auth success."));
        EXPECT_TRUE(user.waitUntilShown("#main-button"));
        return client;
    }

    // Every content request waits a while, so that an install stays in flight
    // long enough to be seen, paused and resumed.
    void slowDownContent() {
        ASSERT_EQ(200, control("POST", "faults",
                               R"([{"listener": "api", "path": "objects/", "action": "delay", "delayMs": 400}])")
                           .status);
    }

    void quit(pid_t client) {
        ::kill(client, SIGTERM);
        EXPECT_EQ(0, exitStatus(client, SLOW_STEP_MS));
    }

    // The exit status of `client`, or -1 when it does not end within `timeoutMs`.
    static int exitStatus(pid_t client, int timeoutMs) {
        int status = 0;
        if (!VantisTest::WaitFor([&] { return ::waitpid(client, &status, WNOHANG) == client; }, timeoutMs)) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // What the clients logged, as they print it: the log file is written in
    // blocks and would hold back the last lines of a client that waits.
    std::string log() const {
        std::string lines;
        for (size_t index = 0; index < clients.size(); ++index) {
            lines += VantisTest::ReadWholeFile(sandbox.path("client-" + std::to_string(index) + ".out"));
        }
        return lines;
    }

    ::testing::AssertionResult logShows(const std::string& text, int timeoutMs = SLOW_STEP_MS) const {
        if (VantisTest::WaitFor([&] { return log().find(text) != std::string::npos; }, timeoutMs)) {
            return ::testing::AssertionSuccess();
        }
        const std::string lines = log();
        return ::testing::AssertionFailure() << "the log never showed \"" << text << "\"; it ends with:\n"
                                             << lines.substr(lines.size() > 6000 ? lines.size() - 6000 : 0);
    }

    std::string installDirectory() const { return sandbox.path("Library/Sample Game"); }

    std::vector<pid_t> clients;
    // What the test hook runs in every page.
    std::string testScript = VANTIS_TEST_GTK_SCRIPT;

private:
    std::vector<std::string> childEnvironment() const {
        std::map<std::string, std::string> variables;
        for (char** each = environ; *each != nullptr; ++each) {
            const std::string entry = *each;
            const size_t equals = entry.find('=');
            if (equals != std::string::npos) variables[entry.substr(0, equals)] = entry.substr(equals + 1);
        }
        variables["VANTIS_HOME"] = sandbox.root();
        variables["VANTIS_CONFIG_HOST"] = "127.0.0.1:" + std::to_string(server->apiPort());
        variables["VANTIS_ONLINE"] = "1";
        variables["VANTIS_PASSWORD"] = "secret";
        variables["VANTIS_TEST_SCRIPT"] = testScript;
        variables["VANTIS_TEST_SCREENSHOT_DIR"] = SCREENSHOTS;
        // The web process's sandbox needs user namespaces that a test machine
        // may not grant (the shell itself leaves it off only for root).
        variables["WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS"] = "1";
        // Composited pages are drawn where a picture of the X window does not
        // see them: the screenshots would come out blank.
        variables["WEBKIT_DISABLE_COMPOSITING_MODE"] = "1";
        // GTK and WebKit keep what they allocate once until the process ends.
        variables["ASAN_OPTIONS"] = variables["ASAN_OPTIONS"] + ":detect_leaks=0";
        std::vector<std::string> environment;
        for (const auto& variable : variables) environment.push_back(variable.first + "=" + variable.second);
        return environment;
    }

    static std::vector<char*> pointers(std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (std::string& text : texts) result.push_back(&text[0]);
        result.push_back(nullptr);
        return result;
    }
};

// Saves the window's picture as <name>.png among the screenshots, and checks
// that it shows the whole window with something on it.
void expectScreenshotOfTheWindow(DesktopUser& user, const std::string& name) {
    // A picture left by an earlier run must not pass for this one.
    Poco::File old(SCREENSHOTS + "/" + name + ".png");
    if (old.exists()) old.remove();
    ASSERT_TRUE(user.screenshot(name));
    GError* error = nullptr;
    GdkPixbuf* picture = gdk_pixbuf_new_from_file((SCREENSHOTS + "/" + name + ".png").c_str(), &error);
    ASSERT_NE(nullptr, picture) << name << ": " << (error != nullptr ? error->message : "");
    EXPECT_EQ(ShellWindow::DEFAULT_WIDTH, gdk_pixbuf_get_width(picture)) << name;
    EXPECT_EQ(ShellWindow::DEFAULT_HEIGHT, gdk_pixbuf_get_height(picture)) << name;
    // Text, fields and buttons bring many shades; an empty page brings one.
    EXPECT_GT(pageColours(picture), 16u) << name;
    g_object_unref(picture);
}

}  // namespace

TEST_F(DesktopShellTest, SignsInByTypingInstallsFromTheCardPlaysAndQuits) {
    DesktopUser user;
    Poco::File(installDirectory()).createDirectories();
    const pid_t client = launch(CLIENT, {}, &user);

    // The login page over HTTPS from the bundle's anchor, filled in and sent by keyboard and pointer.
    ASSERT_TRUE(user.typeInto("#login input[name=username]", "player"));
    ASSERT_TRUE(user.typeInto("#login input[name=password]", "secret"));
    expectScreenshotOfTheWindow(user, "login-page");
    ASSERT_TRUE(user.click("#login button[type=submit]"));
    ASSERT_TRUE(logShows("Auth success."));

    // The card of a game never installed, with the game's cover.
    ASSERT_TRUE(user.waitUntilShown("#main-button"));
    EXPECT_TRUE(user.waitFor("#cover", "loaded", [](const VantisTest::PageElement& cover) { return cover.loaded; }));
    // The other language, chosen from the list as a person does, only changes
    // what the Install button will fetch.
    ASSERT_TRUE(user.click("#languages"));
    ASSERT_TRUE(user.press({"Down", "Return"}));
    ASSERT_TRUE(user.waitFor("#languages", "German", [](const VantisTest::PageElement& list) {
        return list.value != "0";
    }));
    EXPECT_EQ(std::string::npos, log().find("\"LeftLabelText\":\"Installing\""));
    ASSERT_TRUE(user.waitForText("#main-button", "Install"));
    ASSERT_TRUE(user.click("#main-button"));
    ASSERT_TRUE(logShows("\"LeftLabelText\":\"Installing\""));
    ASSERT_TRUE(logShows("Notification: Sample Game: Installation Complete.", 120000));

    // Play, once the button says it may.
    ASSERT_TRUE(user.waitFor("#main-button", "enabled", [](const VantisTest::PageElement& button) {
        return button.shown && button.enabled;
    }));
    EXPECT_TRUE(user.waitForText("#title", "Sample Game"));
    expectScreenshotOfTheWindow(user, "game-card");
    ASSERT_TRUE(user.click("#main-button"));
    ASSERT_TRUE(logShows("Launching play task for game " + std::string(SampleGame::BASE_ID)));

    // A second start for the same root leaves at once.
    EXPECT_EQ(ANOTHER_INSTANCE_STATUS, exitStatus(launch(CLIENT, {"vantisclient://login_success?code=from-elsewhere"}), 30000));

    quit(client);
    const std::string lines = log();
    EXPECT_NE(std::string::npos, lines.find("Destroying Core"));

    // Only the top-level page's redirect signed in: the frame's was refused,
    // and so was the selection with a game the product does not offer.
    EXPECT_EQ(2u, countOf(lines, "Refused navigation to vantisclient://login_success"));
    EXPECT_EQ(1u, countOf(lines, "Signing in with the authorization code"));
    EXPECT_EQ(0u, countOf(lines, "Auth failed."));
    EXPECT_NE(std::string::npos, lines.find("Refused revision list [\"" + std::string(SampleGame::BASE_ID) + "\",\"999\"]"));

    struct stat cookies {};
    ASSERT_EQ(0, ::stat(sandbox.path("Cookies.sqlite").c_str(), &cookies));
    EXPECT_EQ(0600u, cookies.st_mode & 0777);
}

TEST_F(DesktopShellTest, InstallsFromTheInstallButtonPausesResumesAndPlays) {
    DesktopUser user;
    slowDownContent();
    const pid_t client = startSignedIn(user);

    ASSERT_TRUE(user.waitForText("#main-button", "Install"));
    EXPECT_TRUE(user.waitFor("#install-size", "a size", [](const VantisTest::PageElement& size) {
        return size.shown && !size.text.empty();
    }));
    EXPECT_TRUE(user.waitForText("#install-folder", "Sample Game"));
    // Named by the catalogue before any info file of the game exists.
    EXPECT_TRUE(user.waitForText("#title", "Sample Game"));
    expectScreenshotOfTheWindow(user, "card-not-installed");

    ASSERT_TRUE(user.click("#main-button"));
    // While it installs, Play is refused with the reason, as the launch rule refuses it.
    ASSERT_TRUE(user.waitUntilShown("#pause-button"));
    const VantisTest::PageElement installing = user.element("#main-button");
    EXPECT_FALSE(installing.enabled);
    EXPECT_FALSE(user.element("#main-button-reason").text.empty());
    ASSERT_TRUE(user.click("#pause-button"));
    ASSERT_TRUE(user.waitUntilShown("#resume-button"));
    expectScreenshotOfTheWindow(user, "install-paused");

    ASSERT_EQ(200, control("DELETE", "faults").status);
    ASSERT_TRUE(user.click("#resume-button"));
    ASSERT_TRUE(logShows("Notification: Sample Game: Installation Complete.", 120000));
    ASSERT_TRUE(user.waitForText("#main-button", "Play"));
    ASSERT_TRUE(user.click("#main-button"));
    ASSERT_TRUE(logShows("Launching play task for game " + std::string(SampleGame::BASE_ID)));
    quit(client);
}

// What a person does on the card of a game not installed, and what the client
// must then have asked for; each case on a machine of its own.
struct CardChange {
    const char* name;
    std::function<::testing::AssertionResult(DesktopUser&)> act;
    std::string selected;
};

class DesktopCardChangeTest : public DesktopShellTest, public ::testing::WithParamInterface<CardChange> {};

TEST_P(DesktopCardChangeTest, OnTheCardOfAGameNotInstalledTheInstallButtonInstallsTheChoice) {
    DesktopUser user;
    slowDownContent();
    const pid_t client = startSignedIn(user);
    ASSERT_TRUE(GetParam().act(user));
    ASSERT_TRUE(user.click("#main-button"));
    EXPECT_TRUE(logShows("Install of " + GetParam().selected + " in "));
    EXPECT_TRUE(user.waitUntilShown("#progress-box"));
    quit(client);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DesktopCardChangeTest,
    ::testing::Values(
        CardChange{"TickingTheExtraContent",
                   [](DesktopUser& user) {
                       return user.click("#dlcs input[value=\"" + std::string(SampleGame::DLC_ID) + "\"]");
                   },
                   std::string(SampleGame::BASE_ID) + ", " + SampleGame::DLC_ID},
        CardChange{"TheLanguageAlreadyShown",
                   [](DesktopUser& user) {
                       auto opened = user.click("#languages");
                       return opened ? user.press({"Return"}) : opened;
                   },
                   SampleGame::BASE_ID}),
    [](const ::testing::TestParamInfo<CardChange>& change) { return std::string(change.param.name); });

TEST_F(DesktopShellTest, UntickingInstalledExtraContentAsksFirst) {
    DesktopUser user;
    const pid_t client = startSignedIn(user);
    const std::string dlcBox = "#dlcs input[value=\"" + std::string(SampleGame::DLC_ID) + "\"]";
    // The game with its extra content, installed from the Install button.
    ASSERT_TRUE(user.click(dlcBox));
    ASSERT_TRUE(user.click("#main-button"));
    ASSERT_TRUE(logShows("Notification: Sample Game: Installation Complete.", 120000));
    const std::string map = installDirectory() + "/dlc/map.txt";
    ASSERT_TRUE(Poco::File(map).exists());

    // "No" keeps the content and the box ticked; "Yes" removes it.
    ASSERT_TRUE(user.click(dlcBox));
    ASSERT_TRUE(user.click("#apply-button"));
    ASSERT_TRUE(user.waitForText("#confirm-text", "Sample DLC"));
    ASSERT_TRUE(user.click("#confirm-no"));
    EXPECT_TRUE(user.waitFor(dlcBox, "ticked", [](const VantisTest::PageElement& box) { return box.checked; }));
    EXPECT_TRUE(Poco::File(map).exists());

    ASSERT_TRUE(user.click(dlcBox));
    ASSERT_TRUE(user.click("#apply-button"));
    ASSERT_TRUE(user.click("#confirm-yes"));
    ASSERT_TRUE(logShows("Install of " + std::string(SampleGame::BASE_ID) + " in "));
    EXPECT_TRUE(VantisTest::WaitFor([&] { return !Poco::File(map).exists(); }, SLOW_STEP_MS));
    quit(client);
}

// A change the store refuses (here: every manifest of the game answered 403)
// leaves the card showing what is true instead of the box ticked.
TEST_F(DesktopShellTest, ARefusedChangeRefreshesTheCard) {
    DesktopUser user;
    const pid_t client = startSignedIn(user);
    const std::string dlcBox = "#dlcs input[value=\"" + std::string(SampleGame::DLC_ID) + "\"]";
    ASSERT_TRUE(user.waitUntilShown(dlcBox));
    ASSERT_EQ(200, control("POST", "faults",
                           R"([{"listener": "api", "path": "^/games/", "action": "status", "status": 403}])")
                       .status);
    ASSERT_TRUE(user.click(dlcBox));
    ASSERT_TRUE(user.click("#main-button"));
    EXPECT_TRUE(user.waitFor(dlcBox, "unticked", [](const VantisTest::PageElement& box) {
        return box.found && !box.checked;
    }));
    quit(client);
}

TEST_F(DesktopShellTest, ShowsTheSettings) {
    DesktopUser user;
    const pid_t client = startSignedIn(user);
    ASSERT_TRUE(user.press({"ctrl+comma"}));
    ASSERT_TRUE(VantisTest::WaitFor([] {
        std::string windows;
        DesktopUser::Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "Settings"}, &windows);
        return !windows.empty();
    }));
    ASSERT_TRUE(user.screenshotOfTheScreen("settings"));
    quit(client);
}

namespace {

const char* const WINDOW_TITLE = "^Zorv Launcher";

using VantisTest::XWindows;

XWindows::Id waitForShownWindow(const std::string& pattern) {
    std::vector<XWindows::Id> windows;
    VantisTest::WaitFor([&] { return !(windows = XWindows::Shown(pattern)).empty(); }, SLOW_STEP_MS);
    return windows.empty() ? 0 : windows.front();
}

// A session bus of the test's own, with a status notifier watcher on it like
// a desktop's panel, listening for the client's closing announcement.
class DesktopSession {
public:
    DesktopSession() : m_bus(g_test_dbus_new(G_TEST_DBUS_NONE)) {
        g_test_dbus_up(m_bus);
        if (!m_display.empty()) ::setenv("DISPLAY", m_display.c_str(), 1);
        m_connection = g_dbus_connection_new_for_address_sync(
            g_test_dbus_get_bus_address(m_bus),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        m_watcherInfo = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.kde.StatusNotifierWatcher'><method name='RegisterStatusNotifierItem'>"
            "<arg type='s' direction='in'/></method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable watcher = {onWatcherCall, nullptr, nullptr, {}};
        m_watcher = g_dbus_connection_register_object(m_connection, "/StatusNotifierWatcher",
                                                      m_watcherInfo->interfaces[0], &watcher, this, nullptr, nullptr);
        m_name = g_bus_own_name_on_connection(m_connection, VantisClient::StatusIcon::WATCHER_NAME,
                                              G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr, nullptr, nullptr);
        m_closing = g_dbus_connection_signal_subscribe(
            m_connection, nullptr, VantisClient::ClosingAnnouncement::CLIENT_ID,
            VantisClient::ClosingAnnouncement::SIGNAL_NAME, VantisClient::ClosingAnnouncement::OBJECT_PATH, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, onClosing, this, nullptr);
    }

    ~DesktopSession() {
        g_dbus_connection_signal_unsubscribe(m_connection, m_closing);
        g_bus_unown_name(m_name);
        g_dbus_connection_unregister_object(m_connection, m_watcher);
        g_dbus_node_info_unref(m_watcherInfo);
        g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
        g_object_unref(m_connection);
        g_test_dbus_down(m_bus);
        // The clients of later tests open their windows on the same display.
        if (!m_display.empty()) ::setenv("DISPLAY", m_display.c_str(), 1);
        g_object_unref(m_bus);
    }

    // Waits, serving the bus meanwhile, until `done` holds.
    bool waitFor(const std::function<bool()>& done) {
        return VantisTest::WaitFor(
            [&] {
                while (g_main_context_iteration(nullptr, FALSE)) {
                }
                return done();
            },
            SLOW_STEP_MS);
    }

    // Calls `method` of `interface` on `object` of the bus name `owner`; the reply, printed.
    std::string call(const std::string& owner, const char* object, const char* interface, const char* method,
                     GVariant* arguments) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(m_connection, owner.c_str(), object, interface, method, arguments,
                                                      nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
        if (reply == nullptr) {
            const std::string message = std::string("error: ") + error->message;
            g_error_free(error);
            return message;
        }
        gchar* printed = g_variant_print(reply, FALSE);
        const std::string text = printed;
        g_free(printed);
        g_variant_unref(reply);
        return text;
    }

    std::string itemOwner;
    std::vector<std::string> closings;

private:
    static void onWatcherCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*,
                              GVariant*, GDBusMethodInvocation* invocation, gpointer self) {
        static_cast<DesktopSession*>(self)->itemOwner = sender;
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static void onClosing(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer self) {
        const gchar* object = nullptr;
        g_variant_get(parameters, "(&s)", &object);
        static_cast<DesktopSession*>(self)->closings.push_back(object);
    }

    // The bus forgets the display (against its own autolaunch); the clients need it.
    const std::string m_display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    GTestDBus* m_bus;
    GDBusConnection* m_connection = nullptr;
    GDBusNodeInfo* m_watcherInfo = nullptr;
    guint m_watcher = 0;
    guint m_name = 0;
    guint m_closing = 0;
};

}  // namespace

// A page the client did not mean to show tries what a page of another site
// might; the view refuses each attempt and says so in the log, and the
// person's clicks on links elsewhere reach the desktop's browser instead.
TEST_F(DesktopShellTest, AHostilePageIsRefusedAndLogged) {
    // The desktop's browser, as far as the client can tell.
    sandbox.writeFile("bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"" + sandbox.path("opened.txt") + "\"\n");
    ASSERT_EQ(0, ::chmod(sandbox.path("bin/xdg-open").c_str(), 0755));
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
    ::setenv("PATH", (sandbox.path("bin") + ":" + path).c_str(), 1);
    testScript = SCRIPTS + "/hostile-page.js";
    Poco::File(installDirectory()).createDirectories();
    const pid_t client = launch(CLIENT);
    ::setenv("PATH", path.c_str(), 1);

    ASSERT_TRUE(logShows("Received alert with 'hostile page ready'"));
    const XWindows::Id window = waitForShownWindow(WINDOW_TITLE);
    ASSERT_NE(0u, window);
    const XWindows::Place place = XWindows::PlaceOf(window);
    const auto clickAt = [&](int x) {
        const std::string click = "xdotool mousemove " + std::to_string(place.x + x) + " " +
                                  std::to_string(place.y + place.height / 2) + " click 1";
        return std::system(click.c_str());
    };
    ASSERT_EQ(0, clickAt(place.width / 4));
    ASSERT_TRUE(logShows("Opening https://elsewhere.test/new-window in the desktop's browser"));
    ASSERT_EQ(0, clickAt(place.width * 3 / 4));

    for (const char* line : {
             "Received alert with 'hostile alert'",
             "Received confirm with 'hostile confirm'",
             "Refused a bridge message from a frame or a foreign script",
             "Refused a download of https://",
             "Refused navigation to https://elsewhere.test/by-script: no page of the client",
             "Refused a new window for https://elsewhere.test/new-window",
             "Opening https://elsewhere.test/new-window in the desktop's browser",
             "Opening https://elsewhere.test/same-window in the desktop's browser",
         }) {
        EXPECT_TRUE(logShows(line));
    }
    EXPECT_TRUE(VantisTest::WaitFor(
        [&] {
            return VantisTest::ReadWholeFile(sandbox.path("opened.txt")) ==
                   "https://elsewhere.test/new-window\nhttps://elsewhere.test/same-window\n";
        },
        SLOW_STEP_MS));
    // Neither the page nor its frame signed anyone out, and the login page is still the view's.
    const std::string lines = log();
    EXPECT_EQ(2u, countOf(lines, "Refused a bridge message from a frame or a foreign script"));
    EXPECT_EQ(std::string::npos, lines.find("Received sendMessage with script={\"Command\":\"SignOut\""));
    EXPECT_EQ(std::string::npos, lines.find("Loading game card"));
    EXPECT_EQ(1u, XWindows::Shown(WINDOW_TITLE).size()) << "a new window opened";

    ::kill(client, SIGTERM);
    EXPECT_EQ(0, exitStatus(client, SLOW_STEP_MS));
    EXPECT_EQ(std::string::npos, VantisTest::ReadWholeFile(sandbox.path("client-0.out")).find("runtime error"));
}

// Closed on the login page, the window stays hidden while the client signs in
// and loads the card; the status icon's Show brings it back where it stood and
// its Quit ends the client, which announces its closing on the session bus.
TEST_F(DesktopShellTest, TheClosedWindowStaysHiddenUntilThePersonShowsItAndTheClosingIsAnnounced) {
    DesktopSession session;
    testScript = SCRIPTS + "/hide-and-sign-in.js";
    Poco::File(installDirectory()).createDirectories();
    const pid_t client = launch(CLIENT);
    ASSERT_TRUE(logShows("Received alert with 'login page shown'"));
    ASSERT_TRUE(session.waitFor([&] { return !session.itemOwner.empty(); })) << "no status icon registered";
    const std::string menu = session.call(session.itemOwner, VantisClient::StatusIcon::MENU_PATH,
                                          "com.canonical.dbusmenu", "GetLayout",
                                          g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    EXPECT_NE(std::string::npos, menu.find("'Show'")) << menu;
    EXPECT_NE(std::string::npos, menu.find("'Quit'")) << menu;

    // The settings, reached through the application's action as its menu does.
    std::string id = VantisClient::GtkShell::ApplicationId(sandbox.root());
    std::string object = "/" + id;
    std::replace(object.begin(), object.end(), '.', '/');
    EXPECT_EQ("()", session.call(id, object.c_str(), "org.gtk.Actions", "Activate",
                                 g_variant_new("(s@av@a{sv})", "settings", g_variant_new("av", nullptr),
                                               g_variant_new("a{sv}", nullptr))));
    const XWindows::Id settings = waitForShownWindow("^Settings$");
    ASSERT_NE(0u, settings);
    ASSERT_TRUE(logShows("Settings window opened"));
    std::string error;
    EXPECT_TRUE(XWindows::SaveScreenshot(settings, SCREENSHOTS + "/settings.png", error)) << error;
    XWindows::AskToClose(settings);
    EXPECT_TRUE(VantisTest::WaitFor([] { return XWindows::Shown("^Settings$").empty(); }, SLOW_STEP_MS));

    const XWindows::Id window = waitForShownWindow(WINDOW_TITLE);
    ASSERT_NE(0u, window);
    const XWindows::Place before = XWindows::PlaceOf(window);
    XWindows::AskToClose(window);
    ASSERT_TRUE(logShows("Window closed; the client keeps running"));
    EXPECT_TRUE(logShows("Notification: Zorv Launcher is still running"));

    // Signed in and at the card, all while hidden.
    ASSERT_TRUE(logShows("Auth success."));
    ASSERT_TRUE(logShows("Received alert with 'card loaded while hidden'"));
    ASSERT_TRUE(logShows("GameCard endpoint:"));
    EXPECT_TRUE(XWindows::Shown(WINDOW_TITLE).empty()) << "a page load or a status check showed the window";

    EXPECT_EQ("()", session.call(session.itemOwner, VantisClient::StatusIcon::MENU_PATH, "com.canonical.dbusmenu",
                                 "Event",
                                 g_variant_new("(isvu)", VantisClient::StatusIcon::MENU_SHOW, "clicked",
                                               g_variant_new_string(""), 0u)));
    const XWindows::Id shown = waitForShownWindow(WINDOW_TITLE);
    ASSERT_NE(0u, shown);
    const XWindows::Place after = XWindows::PlaceOf(shown);
    EXPECT_EQ(before.x, after.x);
    EXPECT_EQ(before.y, after.y);

    session.call(session.itemOwner, VantisClient::StatusIcon::MENU_PATH, "com.canonical.dbusmenu", "Event",
                 g_variant_new("(isvu)", VantisClient::StatusIcon::MENU_QUIT, "clicked", g_variant_new_string(""), 0u));
    EXPECT_TRUE(session.waitFor([&] { return !session.closings.empty(); })) << "no ClientClosing on the bus";
    EXPECT_EQ(std::vector<std::string>{"net.vantis.Client.close"}, session.closings);
    EXPECT_EQ(0, exitStatus(client, SLOW_STEP_MS));
    EXPECT_EQ(1u, countOf(log(), "Notification: Zorv Launcher is still running"));
}
