#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <map>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "gtk/ShellWindow.h"
#include "support/WaitFor.h"

extern char** environ;

namespace {

using VantisClient::ShellWindow;
using VantisTest::SampleGame;

const std::string CLIENT = std::string(VANTIS_TEST_BIN_DIR) + "/vantis-client-gtk";
const std::string SCREENSHOTS = VANTIS_TEST_SCREENSHOT_DIR;
const int SLOW_STEP_MS = 60000;
const int ANOTHER_INSTANCE_STATUS = 256 - 9;

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

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
        for (const char* name : {"login-page.png", "game-card.png"}) {
            Poco::File picture(SCREENSHOTS + "/" + name);
            if (picture.exists()) picture.remove();
        }
    }

    void TearDown() override {
        for (pid_t client : clients) {
            if (::waitpid(client, nullptr, WNOHANG) == 0) {
                ::kill(client, SIGKILL);
                ::waitpid(client, nullptr, 0);
            }
        }
        BackendTest::TearDown();
    }

    // The base game installed as the headless client installs it, and the
    // user signed out again: the desktop shell starts at its login page.
    // Starts `program` for the sample game with `extra` arguments; its output
    // goes to "client-<n>.out" in the sandbox.
    pid_t launch(const std::string& program, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> arguments = {program, "--runWithoutUpdating", std::string("--gameId=") + SampleGame::BASE_ID,
                                              "--path=" + installDirectory(), "--skipServiceRunningCheck"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<std::string> environment = childEnvironment();
        const std::string output = sandbox.path("client-" + std::to_string(clients.size()) + ".out");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        pid_t client = 0;
        const int error = posix_spawn(&client, program.c_str(), &actions, nullptr, pointers(arguments).data(),
                                      pointers(environment).data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(0, error) << program;
        clients.push_back(client);
        return client;
    }

    // The exit status of `client`, or -1 when it does not end within `timeoutMs`.
    static int exitStatus(pid_t client, int timeoutMs) {
        int status = 0;
        if (!VantisTest::WaitFor([&] { return ::waitpid(client, &status, WNOHANG) == client; }, timeoutMs)) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string log() const { return VantisTest::ReadWholeFile(sandbox.path("Logs/VantisClient.log")); }

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
        variables["VANTIS_TEST_SCRIPT"] = VANTIS_TEST_GTK_SCRIPT;
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

void expectScreenshotOfTheWindow(const std::string& name) {
    GError* error = nullptr;
    GdkPixbuf* picture = gdk_pixbuf_new_from_file((SCREENSHOTS + "/" + name).c_str(), &error);
    ASSERT_NE(nullptr, picture) << name << ": " << (error != nullptr ? error->message : "");
    EXPECT_EQ(ShellWindow::DEFAULT_WIDTH, gdk_pixbuf_get_width(picture)) << name;
    EXPECT_EQ(ShellWindow::DEFAULT_HEIGHT, gdk_pixbuf_get_height(picture)) << name;
    // Text, fields and buttons bring many shades; an empty page brings one.
    EXPECT_GT(pageColours(picture), 16u) << name;
    g_object_unref(picture);
}

}  // namespace

TEST_F(DesktopShellTest, SignsInThroughThePageInstallsFromTheCardPlaysAndQuits) {
    Poco::File(installDirectory()).createDirectories();
    const pid_t client = launch(CLIENT);

    // The login page over HTTPS from the bundle's anchor, signed in by its form.
    ASSERT_TRUE(logShows("Login page document ready"));
    ASSERT_TRUE(logShows("Auth success."));
    expectScreenshotOfTheWindow("login-page.png");

    // The card's first layout arrives through receiveMessage; its install command starts the install.
    ASSERT_TRUE(logShows("Game card document ready"));
    ASSERT_TRUE(logShows("[JavaScript][Information]: WebViewUpdate {\"Arguments\""));
    ASSERT_TRUE(logShows("Selected revision list " + std::string(SampleGame::BASE_ID) + ", " + SampleGame::DLC_ID));
    // A first install says so.
    ASSERT_TRUE(logShows("\"LeftLabelText\":\"Installing\""));
    ASSERT_TRUE(logShows("Notification: Sample Game: Installation Complete.", 120000));
    ASSERT_TRUE(logShows("\"GameStateLabel\":{\"Label\":\"Up to date\""));
    EXPECT_TRUE(logShows("\"Title\":{\"Label\":\"Sample Game\""));
    ASSERT_TRUE(logShows("Launching play task for game " + std::string(SampleGame::BASE_ID)));
    expectScreenshotOfTheWindow("game-card.png");

    // A second start for the same root leaves at once.
    EXPECT_EQ(ANOTHER_INSTANCE_STATUS, exitStatus(launch(CLIENT, {"vantisclient://login_success?code=from-elsewhere"}), 30000));

    ::kill(client, SIGTERM);
    EXPECT_EQ(0, exitStatus(client, SLOW_STEP_MS));
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
