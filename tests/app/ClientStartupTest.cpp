// The start-up before the engine: one instance, the argument checks, the
// hand-over to the updater with the forwarded options, the launched game taken
// from options or positions, and the default settings.
#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "app/ClientStartup.h"
#include "app/DefaultSettings.h"
#include "app/SingleInstanceLock.h"
#include "common/ApplicationEnvironment.h"
#include "common/EReturnCode.h"
#include "common/Utilities.h"
#include "common/json/JsonFile.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

using Arguments = std::vector<std::string>;

class RecordingLauncher : public IDesktopLauncher {
public:
    explicit RecordingLauncher(bool starts) : m_starts(starts) {}

    ILaunchedProgram::Ptr launch(const std::string& path, const std::vector<std::string>& given, const std::string&,
                                 const std::vector<std::string>& addedEnvironment, std::string& error) override {
        program = path;
        arguments = given;
        environment = addedEnvironment;
        if (!m_starts) error = "No such file or directory";
        return m_starts ? std::make_shared<StartedProgram>() : nullptr;
    }
    bool open(const std::string&, std::string&) override { return false; }

    std::string program;
    Arguments arguments;
    std::vector<std::string> environment;

private:
    class StartedProgram : public ILaunchedProgram {
    public:
        int processId() const override { return 1; }
        bool hasEnded() override { return true; }
        void waitForEnd() override {}
        int exitStatus() const override { return 0; }
    };
    bool m_starts;
};

class ClientStartupTest : public VantisTest::SandboxTest {
protected:
    std::shared_ptr<RecordingLauncher> useLauncher(bool starts) {
        auto launcher = std::make_shared<RecordingLauncher>(starts);
        Platform::SetDesktopLauncher(launcher);
        return launcher;
    }

    static bool contains(const Arguments& arguments, const std::string& argument) {
        return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
    }
};

}  // namespace

TEST_F(ClientStartupTest, TooFewArgumentsOrASecondInstanceStopTheStart) {
    {
        ClientStartup bare({"vantis-client", "--gameId=1"}, {});
        EXPECT_EQ(RC_UPDATER_NOT_ENOUGH_PARAMETERS, bare.initialise());
    }

    SingleInstanceLock first;
    std::string error;
    ASSERT_TRUE(first.acquire(ApplicationEnvironment::GetApplicationSupportRootPath(), 0, error)) << error;
    ClientStartup second({"vantis-client", "--gameId=1", "--path=/games/x"}, {});
    EXPECT_EQ(RC_ANOTHER_INSTANCE_RUNNING, second.initialise());
    first.release();
    ClientStartup third({"vantis-client", "--gameId=1", "--path=/games/x"}, {});
    EXPECT_EQ(RC_SUCCESS, third.initialise());
}

TEST_F(ClientStartupTest, ANormalLaunchHandsTheOptionsOverToTheUpdater) {
    struct Case {
        Arguments arguments;
        const char* config;
        Arguments expected;
        Arguments unexpected;
    };
    const Case cases[] = {
        {{"vantis-client", "--gameId=12", "--path=/games/x", "--install"},
         "",
         {"--gameId=12", "--path=/games/x", "--install", "--clientPath=/bin/the-shell"},
         {"--channel=beta"}},
        // Positions: the game's path, then its id.
        {{"vantis-client", "/games/y", "34"}, R"({"updateChannel":"beta"})", {"--gameId=34", "--path=/games/y",
                                                                              "--channel=beta"}, {}},
        {{"vantis-client", "/games/y", "34"}, R"({"updateChannel":"stable"})", {"--gameId=34"}, {"--channel=stable"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        sandbox.writeFile("Config.json", c.config);
        auto launcher = useLauncher(true);
        ClientStartup startup(c.arguments, {{"install", CmdlineOptions::EOptionKind::Flag}});
        EXPECT_EQ(RC_LAUNCHING_UPDATER, startup.launch("/bin/the-shell", {"VANTIS_PASSWORD=p w"}));
        const std::string bundle = ApplicationEnvironment::GetExecutableDirectoryPath();
        EXPECT_EQ(Utilities::AppendPath(bundle, "libexec/vantis/vantis-updater"), launcher->program);
        EXPECT_TRUE(contains(launcher->arguments, "--bundlePath=" + bundle));
        for (const std::string& argument : c.expected) EXPECT_TRUE(contains(launcher->arguments, argument)) << argument;
        for (const std::string& argument : c.unexpected) EXPECT_FALSE(contains(launcher->arguments, argument));
        // The client the updater starts anew signs in with the password this one was given.
        EXPECT_EQ(std::vector<std::string>{"VANTIS_PASSWORD=p w"}, launcher->environment);
    }
    useLauncher(false);
    ClientStartup failing({"vantis-client", "/games/y", "34"}, {});
    EXPECT_EQ(RC_UPDATER_RUNNING, failing.launch("/bin/the-shell", {}));
}

TEST_F(ClientStartupTest, TheLaunchedGameMustBeAPlainDecimalId) {
    struct Case {
        Arguments arguments;
        int code;
        const char* gameId;
        const char* gamePath;
    };
    const Case cases[] = {
        {{"c", "--runWithoutUpdating", "--gameId=1207658924", "--path=/games/x"}, RC_SUCCESS, "1207658924", "/games/x"},
        {{"c", "--runWithoutUpdating", "/games/x", "1207658924"}, RC_SUCCESS, "1207658924", "/games/x"},
        {{"c", "--gameId", "12", "runWithoutUpdating", "/games/z"}, RC_SUCCESS, "12", "/games/z"},
        {{"c", "--runWithoutUpdating", "--gameId=../12", "--path=/games/x"}, RC_GAME_ID_NOT_RECOGNIZED, "", ""},
        {{"c", "--runWithoutUpdating", "--gameId=12a", "--path=/games/x"}, RC_GAME_ID_NOT_RECOGNIZED, "", ""},
        {{"c", "--runWithoutUpdating", "--gameId=123456789012345678901", "--path=/x"}, RC_GAME_ID_NOT_RECOGNIZED, "", ""},
        {{"c", "--runWithoutUpdating", "/games/x"}, RC_GAME_ID_NOT_RECOGNIZED, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[2]);
        ClientStartup startup(c.arguments, {});
        EXPECT_EQ(c.code, startup.launch("/bin/the-shell", {}));
        if (c.code != RC_SUCCESS) continue;
        EXPECT_EQ(c.gameId, startup.gameId());
        EXPECT_EQ(c.gamePath, startup.gamePath());
    }
}

TEST_F(ClientStartupTest, DefaultSettingsFillOnlyWhatTheUserHasNotSet) {
    sandbox.writeFile("Defaults.json", R"({"partsInFlight": 2, "speedLimit": 0})");
    sandbox.writeFile("Config.json", R"({"partsInFlight": 6, "WebKitDeveloperExtras": true})");
    ASSERT_TRUE(DefaultSettings::Register(sandbox.path("Defaults.json"), sandbox.path("Config.json")));
    Poco::JSON::Object::Ptr settings;
    ASSERT_TRUE(JsonFile::Read(sandbox.path("Config.json"), settings));
    EXPECT_EQ(6, settings->getValue<int>("partsInFlight"));
    EXPECT_EQ(0, settings->getValue<int>("speedLimit"));
    EXPECT_FALSE(settings->has(DefaultSettings::REMOVED_SETTING));

    // Settings that do not parse are left as the user wrote them.
    sandbox.writeFile("Config.json", "{ not json");
    EXPECT_FALSE(DefaultSettings::Register(sandbox.path("Defaults.json"), sandbox.path("Config.json")));
    EXPECT_EQ("{ not json", sandbox.readFile("Config.json"));
}
