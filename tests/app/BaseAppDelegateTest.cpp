// The controller with the engine's notifications played to it by the test (no
// engine runs): which page it asks for, what happens to the stored token, what
// reaches the shell, and which play tasks it lets the platform start.
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <Poco/File.h>

#include "app/BaseAppDelegate.h"
#include "bridge/ShellMessageCenter.h"
#include "common/Logger.h"
#include "core/MockClientListener.h"
#include "net/HostProvider.h"
#include "net/RefreshTokenProvider.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

const char* const GAME_ID = "1207658924";

class ShellRecorder : public IShellMessageObserver {
public:
    ShellRecorder() { ShellMessageCenter::SetObserver(this); }
    ~ShellRecorder() override { ShellMessageCenter::Reset(); }

    void onShellMessage(const ShellMessage& message) override {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(message);
    }
    std::vector<std::string> names() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> result;
        for (const ShellMessage& message : messages) {
            if (message.name != ShellMessage::API_STATUS_CODE_CHANGED) result.push_back(message.name);
        }
        return result;
    }
    std::vector<ShellMessage> named(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<ShellMessage> result;
        for (const ShellMessage& message : messages) {
            if (message.name == name) result.push_back(message);
        }
        return result;
    }

    std::mutex mutex;
    std::vector<ShellMessage> messages;
};

class FakeProgram : public ILaunchedProgram {
public:
    int processId() const override { return 4242; }
    bool hasEnded() override { return ended; }
    void waitForEnd() override {}
    int exitStatus() const override { return ended ? 3 : -1; }
    std::atomic<bool> ended{false};
};

class RecordingLauncher : public IDesktopLauncher {
public:
    ILaunchedProgram::Ptr launch(const std::string& path, const std::vector<std::string>& arguments,
                                 const std::string& workingDirectory, const std::vector<std::string>& addedEnvironment,
                                 std::string&) override {
        launches.push_back({path, workingDirectory});
        launchArguments = arguments;
        launchEnvironment = addedEnvironment;
        program = std::make_shared<FakeProgram>();
        return program;
    }
    bool open(const std::string& target, std::string&) override {
        opened.push_back(target);
        return true;
    }

    std::vector<std::pair<std::string, std::string>> launches;
    std::vector<std::string> launchArguments;
    std::vector<std::string> launchEnvironment;
    std::vector<std::string> opened;
    std::shared_ptr<FakeProgram> program;
};

// The controller with the presentation data the engine would give.
class ScriptedController : public BaseAppDelegate {
public:
    Poco::SharedPtr<ProductPresentationData> product;

protected:
    Poco::SharedPtr<ProductPresentationData> presentationDataOf(const std::string&) override { return product; }
};

class OfflineReachability : public INetworkReachability {
public:
    bool isInternetReachable() override {
        std::lock_guard<std::mutex> lock(mutex);
        askedOn.push_back(std::this_thread::get_id());
        return false;
    }
    std::vector<std::thread::id> threadsAsking() {
        std::lock_guard<std::mutex> lock(mutex);
        return askedOn;
    }

    std::mutex mutex;
    // Choosing the card asks first whether the machine is online: where it was asked.
    std::vector<std::thread::id> askedOn;
};

APIStatusResult status(int32_t code) {
    APIStatusResult result;
    result.status = code;
    result.gamecardEndpoint = "127.0.0.1:1/gameview/dist";
    return result;
}

InitializationData ready(int32_t apiStatus) {
    InitializationData data;
    data.selectedGameId = GAME_ID;
    data.apiStatus = apiStatus;
    return data;
}

PlayTaskStruct fileTask(const std::string& name, const std::string& path, bool primary) {
    PlayTaskStruct task("", "Sample");
    task.type = PlayTaskStruct::FileTask;
    task.name = name;
    task.path = path;
    task.isPrimary = primary;
    return task;
}

PlayTaskStruct linkTask(const std::string& name, const std::string& link) {
    PlayTaskStruct task("", "Sample");
    task.type = PlayTaskStruct::URLTask;
    task.name = name;
    task.link = link;
    return task;
}

class BaseAppDelegateTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        Platform::SetNetworkReachability(reachability);
        Platform::SetDesktopLauncher(launcher);
        controller.setCurrentGameId(GAME_ID);
    }

    // An installed game whose directory holds bin/game, and a file outside it.
    Poco::SharedPtr<ProductPresentationData> installedProduct(const std::vector<PlayTaskStruct>& tasks) {
        const std::string installPath = sandbox.path("Library/Sample");
        sandbox.writeFile("Library/Sample/bin/game", "#!/bin/sh\n");
        sandbox.writeFile("outside/tool", "#!/bin/sh\n");
        MiniManifestContents contents(GAME_ID, installPath);
        contents.name = "Sample Game";
        contents.iconPath = installPath + "/icon.png";
        contents.playTasks = tasks;
        return new ProductPresentationData(ProductIdentification(GAME_ID, 1, tRevisionList{GAME_ID}, "en"), contents,
                                           EProductState::Installed, LanguageList(), {});
    }

    void startWith(const Poco::SharedPtr<ProductPresentationData>& product, EUserLoginState login, int32_t api) {
        controller.product = product;
        controller.setLoginState(login);
        controller.onAPIStatusChanged(status(api));
        controller.onCoreInitialized(ready(api));
    }

    void launch(const std::string& command) {
        controller.gameViewHandler()->onMessageFromBrowser(command);
    }

    // A signed-in controller of its own, whose installed game has the one task, asked `command` from the card.
    void askAlone(ScriptedController& alone, const PlayTaskStruct& task, const std::string& command) {
        alone.setCurrentGameId(GAME_ID);
        alone.product = installedProduct({task});
        alone.setLoginState(SignedIn);
        alone.onCoreInitialized(ready(APIStatusResult::STATUS_OFFLINE));
        alone.gameViewHandler()->onMessageFromBrowser(command);
    }

    static bool tokenStored() {
        std::string token;
        return RefreshTokenProvider::get(token);
    }

    // The names of the pages asked for, the last one last.
    std::string lastPage() {
        std::string page;
        for (const std::string& name : shell.names()) {
            if (name == ShellMessage::LOAD_LOGIN_PAGE || name == ShellMessage::LOAD_GAME_CARD) page = name;
        }
        return page;
    }

    std::shared_ptr<OfflineReachability> reachability = std::make_shared<OfflineReachability>();
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
    ShellRecorder shell;
    ScriptedController controller;
};

}  // namespace

TEST_F(BaseAppDelegateTest, TheFirstPageDependsOnTheBackendAndTheSignIn) {
    struct Case {
        int32_t api;
        EUserLoginState login;
        const char* page;
    };
    const Case cases[] = {
        {APIStatusResult::STATUS_ONLINE, SignedOut, ShellMessage::LOAD_LOGIN_PAGE},
        {APIStatusResult::STATUS_ONLINE, SigningInWithToken, ShellMessage::LOAD_LOGIN_PAGE},
        {APIStatusResult::STATUS_ONLINE, SignedIn, ShellMessage::LOAD_GAME_CARD},
        {APIStatusResult::STATUS_OFFLINE, SignedOut, ShellMessage::LOAD_GAME_CARD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.api) + "/" + std::to_string(c.login));
        ShellRecorder recorder;
        ScriptedController fresh;
        fresh.setCurrentGameId(GAME_ID);
        fresh.product = installedProduct({});
        fresh.setLoginState(c.login);
        fresh.onCoreInitialized(ready(c.api));
        EXPECT_EQ((std::vector<std::string>{ShellMessage::ENGINE_INITIALIZED, c.page}), recorder.names());
        // The status is repeated to the shell before and after the page request.
        EXPECT_EQ(2u, recorder.named(ShellMessage::API_STATUS_CODE_CHANGED).size());
    }
}

TEST_F(BaseAppDelegateTest, OfflineTheCardIsTheFallbackPageAndAFailedStartStopsTheClient) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_OFFLINE);
    const std::vector<ShellMessage> cards = shell.named(ShellMessage::LOAD_GAME_CARD);
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ("Local", cards[0].text("gameCardType"));
    EXPECT_NE(std::string::npos, cards[0].text("gameCardPath").find("fallbackPage.htm"));

    ScriptedController failing;
    InitializationData unusable = ready(APIStatusResult::STATUS_ONLINE);
    unusable.result = InitializationData::RESULT_PRODUCT_UNUSABLE;
    failing.onCoreInitialized(unusable);
    // No engine runs to answer the shutdown: the drain loop may end at once.
    EXPECT_TRUE(failing.isShutdownPerformed());
}

TEST_F(BaseAppDelegateTest, TheStoredTokenGoesOnlyWhenTheBackendRefusedIt) {
    struct Case {
        EUserLoginState before;
        bool rejected;
        EUserLoginState after;
        bool tokenKept;
    };
    const Case cases[] = {
        {SigningInWithToken, false, StartupSignInFailed, true},
        {SigningInWithToken, true, StartupSignInFailed, false},
        {SignedOut, true, SignedOut, false},
        {SignedOut, false, SignedOut, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + (c.rejected ? " rejected" : " unreachable"));
        ASSERT_TRUE(RefreshTokenProvider::set("stored-token"));
        controller.setLoginState(c.before);
        SignInResult failure;
        failure.credentialsRejected = c.rejected;
        controller.onSignInFailed(failure);
        EXPECT_EQ(c.after, controller.getLoginState());
        EXPECT_EQ(c.tokenKept, tokenStored());
        const std::vector<ShellMessage> failures = shell.named(ShellMessage::SIGN_IN_FAILED);
        ASSERT_FALSE(failures.empty());
        EXPECT_EQ(c.rejected ? 1 : 0, failures.back().integer("credentialsRejected", -1));
    }
    EXPECT_EQ(4u, shell.named(ShellMessage::SIGN_IN_FAILED).size());
}

TEST_F(BaseAppDelegateTest, ASignInStoresTheTokenAndShowsTheCardAndALostSignInDropsIt) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_ONLINE);
    SignInResult success;
    success.status = SignInResult::STATUS_SUCCESS;
    success.refreshToken = "fresh-token";
    success.userName = "player";
    controller.onSignedIn(success);
    EXPECT_EQ(SignedIn, controller.getLoginState());
    EXPECT_TRUE(controller.isSignedIn());
    EXPECT_TRUE(tokenStored());
    EXPECT_EQ((std::vector<std::string>{ShellMessage::ENGINE_INITIALIZED, ShellMessage::LOAD_LOGIN_PAGE,
                                        ShellMessage::SIGNED_IN, ShellMessage::LOAD_GAME_CARD}),
              shell.names());
    EXPECT_EQ("player", shell.named(ShellMessage::SIGNED_IN)[0].text("userName"));

    controller.onAuthLost();
    EXPECT_EQ(SignedOut, controller.getLoginState());
    EXPECT_FALSE(controller.isSignedIn());
    EXPECT_FALSE(tokenStored());
}

// The engine reports a sign-in with the stored token before its initialization:
// a shell must not take the card's request for a card it can use yet.
TEST_F(BaseAppDelegateTest, TheStoredTokenAsksForTheCardBeforeTheControllerIsInitialized) {
    controller.product = installedProduct({});
    controller.setLoginState(SigningInWithToken);
    SignInResult success;
    success.status = SignInResult::STATUS_SUCCESS;
    success.refreshToken = "stored-token";
    controller.onSignedIn(success);
    EXPECT_EQ((std::vector<std::string>{ShellMessage::SIGNED_IN, ShellMessage::LOAD_GAME_CARD}), shell.names());
    EXPECT_FALSE(controller.gameViewHandler());

    controller.onCoreInitialized(ready(APIStatusResult::STATUS_ONLINE));
    // The shell learns that the card's bridge exists now, and is asked for the card again.
    EXPECT_EQ((std::vector<std::string>{ShellMessage::SIGNED_IN, ShellMessage::LOAD_GAME_CARD,
                                        ShellMessage::ENGINE_INITIALIZED, ShellMessage::LOAD_GAME_CARD}),
              shell.names());
    EXPECT_TRUE(controller.gameViewHandler());
    EXPECT_TRUE(controller.getCurrentProduct());
}

TEST_F(BaseAppDelegateTest, TheLoginPageComesBackWithTheBackendUnlessTheUserChoseToStayOffline) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_OFFLINE);
    controller.onAPIStatusChanged(status(APIStatusResult::STATUS_ONLINE));
    EXPECT_EQ((std::vector<std::string>{ShellMessage::ENGINE_INITIALIZED, ShellMessage::LOAD_GAME_CARD,
                                        ShellMessage::LOAD_LOGIN_PAGE}),
              shell.names());

    // The user leaves the login page for the card: the next status keeps it.
    controller.loginPageHandler()->onMessageFromBrowser(R"({"Command":"ContinueOffline"})");
    controller.onAPIStatusChanged(status(APIStatusResult::STATUS_OFFLINE));
    controller.onAPIStatusChanged(status(APIStatusResult::STATUS_ONLINE));
    EXPECT_EQ((std::vector<std::string>{ShellMessage::ENGINE_INITIALIZED, ShellMessage::LOAD_GAME_CARD,
                                        ShellMessage::LOAD_LOGIN_PAGE, ShellMessage::LOAD_GAME_CARD}),
              shell.names());
}

TEST_F(BaseAppDelegateTest, ARedirectSignsInOnlyFromTheLoginPage) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_OFFLINE);
    // The card is shown: a redirect from anywhere is not the login page's.
    EXPECT_FALSE(controller.handleLoginRedirect("vantisclient://login_success?code=abc"));
    EXPECT_EQ(ViewType::GameCardView, controller.getCurrentView());
}

TEST_F(BaseAppDelegateTest, InstallResultsReachTheShellWithTheGamesNameAndIcon) {
    const Poco::SharedPtr<ProductPresentationData> product = installedProduct({});
    startWith(product, SignedIn, APIStatusResult::STATUS_ONLINE);
    controller.onProductInstallSuccess(product);
    controller.onProductInstallAborted(product);
    controller.onProductInstallFailed(product, EInstallResult::OutOfDiskSpace);
    const std::vector<ShellMessage> results = shell.named(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
    ASSERT_EQ(3u, results.size());
    const int64_t expected[] = {0, 1, 4};
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(expected[i], results[i].integer("result", -1));
        EXPECT_EQ("Sample Game", results[i].text("productName"));
        EXPECT_EQ(product->contents.iconPath, results[i].text("iconPath"));
    }
}

TEST_F(BaseAppDelegateTest, AnInstallBeforeSignInIsRefusedOnTheCard) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_OFFLINE);
    EXPECT_FALSE(controller.requestInstall("en", tRevisionList{GAME_ID}));
    controller.setLoginState(SignedIn);
    // Without the base game, or with something that is no game id, nothing is asked of the engine.
    EXPECT_FALSE(controller.requestInstall("en", tRevisionList{"1207658925"}));
    EXPECT_FALSE(controller.requestInstall("en", tRevisionList{GAME_ID, "../x"}));
    EXPECT_FALSE(controller.requestInstall("en", tRevisionList{}));
}

TEST_F(BaseAppDelegateTest, OnlyProgramsInsideTheGamesDirectoryAreStarted) {
    installedProduct({});
    ASSERT_EQ(0, symlink(sandbox.path("outside/tool").c_str(), sandbox.path("Library/Sample/bin/linked").c_str()));
    struct Case {
        PlayTaskStruct task;
        bool launched;
    };
    const std::string installPath = sandbox.path("Library/Sample");
    const Case cases[] = {
        {fileTask("Play", "bin/game", true), true},
        {fileTask("Play", installPath + "/bin/game", true), true},
        {fileTask("Play", "../outside/tool", true), false},
        {fileTask("Play", sandbox.path("outside/tool"), true), false},
        {fileTask("Play", "bin/missing", true), false},
        {fileTask("Play", "bin/linked", true), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.task.path);
        launcher->launches.clear();
        ShellRecorder recorder;
        ScriptedController fresh;
        askAlone(fresh, c.task, R"({"Command":"LaunchPrimaryPlayTask","Arguments":{}})");
        ASSERT_EQ(c.launched ? 1u : 0u, launcher->launches.size());
        if (c.launched) {
            char real[PATH_MAX];
            ASSERT_NE(nullptr, realpath(installPath.c_str(), real));
            EXPECT_EQ(std::string(real) + "/bin/game", launcher->launches[0].first);
            EXPECT_EQ(installPath, launcher->launches[0].second);
            launcher->program->ended = true;
            EXPECT_TRUE(VantisTest::WaitFor([&] { return !recorder.named(ShellMessage::GAME_ENDED).empty(); }));
        }
        EXPECT_EQ(c.launched ? 1u : 0u, recorder.named(ShellMessage::GAME_STARTED).size());
    }
}

TEST_F(BaseAppDelegateTest, ThePlayButtonComesBackWhenTheGameEnds) {
    const Poco::SharedPtr<ProductPresentationData> product =
        installedProduct({fileTask("Play", "bin/game", true), fileTask("Settings", "bin/settings", false)});
    sandbox.writeFile("Library/Sample/bin/settings", "#!/bin/sh\n");
    ASSERT_EQ(0, ::chmod(sandbox.path("Library/Sample/bin/settings").c_str(), 0755));
    startWith(product, SignedIn, APIStatusResult::STATUS_OFFLINE);
    launch(R"({"Command":"LaunchPrimaryPlayTask","Arguments":{}})");
    ASSERT_EQ(1u, launcher->launches.size());
    ASSERT_EQ(1u, shell.named(ShellMessage::GAME_STARTED).size());
    EXPECT_EQ("Play", shell.named(ShellMessage::GAME_STARTED)[0].text("task"));
    EXPECT_EQ(4242, shell.named(ShellMessage::GAME_STARTED)[0].integer("pid"));
    // Running: a second primary launch is refused, and so is a tool of the
    // game, which would take the watch over from it.
    launch(R"({"Command":"LaunchPrimaryPlayTask","Arguments":{}})");
    launch(R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":1}})");
    EXPECT_EQ(1u, launcher->launches.size());

    launcher->program->ended = true;
    ASSERT_TRUE(VantisTest::WaitFor([&] { return !shell.named(ShellMessage::GAME_ENDED).empty(); }));
    EXPECT_EQ("Play", shell.named(ShellMessage::GAME_ENDED)[0].text("task"));
    EXPECT_EQ(3, shell.named(ShellMessage::GAME_ENDED)[0].integer("exitStatus"));
    // The end follows the start, once.
    EXPECT_EQ((std::vector<std::string>{ShellMessage::GAME_STARTED, ShellMessage::GAME_ENDED}),
              [&] {
                  std::vector<std::string> game;
                  for (const std::string& name : shell.names()) {
                      if (name == ShellMessage::GAME_STARTED || name == ShellMessage::GAME_ENDED) game.push_back(name);
                  }
                  return game;
              }());
    launch(R"({"Command":"LaunchPrimaryPlayTask","Arguments":{}})");
    EXPECT_EQ(2u, launcher->launches.size());
}

TEST_F(BaseAppDelegateTest, ProgramsOfPlayTasksGetTheirArgumentsAsWordsAndDocumentsGoToTheOpener) {
    installedProduct({});
    sandbox.writeFile("Library/Sample/bin/tool", "#!/bin/sh\n");
    ASSERT_EQ(0, ::chmod(sandbox.path("Library/Sample/bin/tool").c_str(), 0755));
    sandbox.writeFile("Library/Sample/docs/manual.txt", "Read me.\n");
    const auto withArguments = [](PlayTaskStruct task, const std::string& arguments) {
        task.arguments = arguments;
        return task;
    };
    const PlayTaskStruct play = fileTask("Play", "bin/game", true);
    const PlayTaskStruct tool = fileTask("Tool", "bin/tool", false);
    const struct {
        const char* name;
        PlayTaskStruct task;
        bool started;
        std::vector<std::string> arguments;
        bool opened;
    } cases[] = {
        {"the game", withArguments(play, "-windowed  -nosound"), true, {"-windowed", "-nosound"}, false},
        {"the game without arguments", play, true, {}, false},
        {"a tool of the game", withArguments(tool, "--profile 'Player One' \"\""), true, {"--profile", "Player One", ""},
         false},
        {"the game with an open quote", withArguments(play, "--name 'Player"), false, {}, false},
        {"a tool with an open quote", withArguments(tool, "\"x"), false, {}, false},
        {"a document", fileTask("Manual", "docs/manual.txt", false), false, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        launcher->launches.clear();
        launcher->opened.clear();
        ShellRecorder recorder;
        ScriptedController fresh;
        askAlone(fresh, c.task, R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":0}})");
        ASSERT_EQ(c.started ? 1u : 0u, launcher->launches.size());
        EXPECT_EQ(c.started ? 1u : 0u, recorder.named(ShellMessage::GAME_STARTED).size());
        EXPECT_EQ(c.opened ? 1u : 0u, launcher->opened.size());
        if (!c.started) continue;
        EXPECT_EQ(c.arguments, launcher->launchArguments);
        // The game gets nothing of the client's environment beyond what every child gets.
        EXPECT_TRUE(launcher->launchEnvironment.empty());
        launcher->program->ended = true;
        EXPECT_TRUE(VantisTest::WaitFor([&] { return !recorder.named(ShellMessage::GAME_ENDED).empty(); }));
    }
}

TEST_F(BaseAppDelegateTest, OnlyWebAddressesAndFilesOfTheGameAreOpened) {
    startWith(installedProduct({linkTask("Forum", "https://127.0.0.1/forum"), linkTask("Local", "file:///etc/passwd"),
                                fileTask("Manual", "bin/game", false), fileTask("Other", "../outside/tool", false)}),
              SignedIn, APIStatusResult::STATUS_OFFLINE);
    for (int index = 0; index < 4; ++index) {
        launch(R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":)" + std::to_string(index) + "}}");
    }
    ASSERT_EQ(2u, launcher->opened.size());
    EXPECT_EQ("https://127.0.0.1/forum", launcher->opened[0]);
    EXPECT_NE(std::string::npos, launcher->opened[1].find("/bin/game"));
    EXPECT_TRUE(launcher->launches.empty());
}

TEST_F(BaseAppDelegateTest, QuittingWithoutAnEngineEndsTheDrainLoopAtOnce) {
    EXPECT_FALSE(controller.isShutdownPerformed());
    controller.shutdownRequest();
    EXPECT_TRUE(controller.isShutdownPerformed());
    EXPECT_EQ(std::vector<std::string>{ShellMessage::SHUTDOWN_DONE}, shell.names());
}

TEST_F(BaseAppDelegateTest, TheLoginPagesCodeNeedsAnEngineToSignIn) {
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_ONLINE);
    ASSERT_EQ(ViewType::LoginPageView, controller.getCurrentView());
    EXPECT_FALSE(controller.handleLoginRedirect("vantisclient://login_success?code=secretcode"));
    EXPECT_FALSE(controller.requestProductOffer());
}

TEST_F(BaseAppDelegateTest, TheOfferReachesTheShellAsTexts) {
    ProductOfferStruct offer;
    offer.gameId = GAME_ID;
    offer.result = EInstallResult::Success;
    offer.languages.push_back(LanguageInfo("en"));
    offer.languages.push_back(LanguageInfo("Neutral"));
    offer.gameIds.push_back(AvailableGameIDInfo("1207658925", false));
    controller.onProductOffer(offer);
    offer.result = EInstallResult::NotAuthorized;
    offer.languages.clear();
    offer.gameIds.clear();
    controller.onProductOffer(offer);
    const std::vector<ShellMessage> offers = shell.named(ShellMessage::ON_PRODUCT_OFFER);
    ASSERT_EQ(2u, offers.size());
    EXPECT_EQ(GAME_ID, offers[0].text("gameId"));
    EXPECT_EQ(0, offers[0].integer("result", -1));
    EXPECT_EQ((std::vector<std::string>{"en", "Neutral"}), offers[0].texts("languages"));
    EXPECT_EQ(std::vector<std::string>{"1207658925"}, offers[0].texts("gameIds"));
    EXPECT_EQ(static_cast<int64_t>(EInstallResult::NotAuthorized), offers[1].integer("result", -1));
    EXPECT_TRUE(offers[1].texts("languages").empty());
}

TEST_F(BaseAppDelegateTest, ALostSessionShowsTheLoginPageAndTheCardNoLongerActsSignedIn) {
    startWith(installedProduct({}), SignedIn, APIStatusResult::STATUS_ONLINE);
    controller.gameViewHandler()->onDocumentReady();
    ASSERT_EQ(ShellMessage::LOAD_GAME_CARD, lastPage());
    ASSERT_TRUE(RefreshTokenProvider::set("revoked-token"));

    controller.onAuthLost();
    EXPECT_EQ(ShellMessage::LOAD_LOGIN_PAGE, lastPage());
    EXPECT_EQ(ViewType::LoginPageView, controller.getCurrentView());
    EXPECT_FALSE(tokenStored());
    const std::vector<ShellMessage> updates = shell.named(ShellMessage::WEB_VIEW_UPDATE);
    ASSERT_FALSE(updates.empty());
    EXPECT_NE(std::string::npos, updates.back().text("webViewUpdate").find("\"Offline\""));
    EXPECT_FALSE(controller.requestInstall("en", tRevisionList{GAME_ID}));

    // The backend coming and going does not take the user off the login page.
    controller.onAPIStatusChanged(status(APIStatusResult::STATUS_OFFLINE));
    controller.onAPIStatusChanged(status(APIStatusResult::STATUS_ONLINE));
    EXPECT_EQ(ShellMessage::LOAD_LOGIN_PAGE, lastPage());
}

TEST_F(BaseAppDelegateTest, EveryWayToTheCardWithoutASessionLeadsBackToSigningIn) {
    struct Case {
        const char* name;
        int32_t api;
        std::function<void(ScriptedController&)> reachCard;
    };
    const Case cases[] = {
        {"continue offline", APIStatusResult::STATUS_ONLINE,
         [](ScriptedController& c) { c.loginPageHandler()->onMessageFromBrowser(R"({"Command":"ContinueOffline"})"); }},
        {"the login page did not load", APIStatusResult::STATUS_ONLINE,
         [](ScriptedController& c) { c.onLoginPageLoadFailed(); }},
        {"started offline", APIStatusResult::STATUS_OFFLINE, [](ScriptedController&) {}},
        {"the session was lost and the user went offline", APIStatusResult::STATUS_ONLINE,
         [](ScriptedController& c) {
             c.onAuthLost();
             c.loginPageHandler()->onMessageFromBrowser(R"({"Command":"ContinueOffline"})");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellRecorder recorder;
        ScriptedController fresh;
        fresh.setCurrentGameId(GAME_ID);
        fresh.product = installedProduct({});
        fresh.onCoreInitialized(ready(c.api));
        c.reachCard(fresh);
        ASSERT_EQ(ViewType::GameCardView, fresh.getCurrentView());
        fresh.requestSignIn();
        EXPECT_EQ(ViewType::LoginPageView, fresh.getCurrentView());
        EXPECT_EQ(ShellMessage::LOAD_LOGIN_PAGE, recorder.names().back());
    }
}

TEST_F(BaseAppDelegateTest, AnInstallResultIsAlwaysTitledWithTheGamesName) {
    const std::string offeredName = "Sample Game from the catalogue";
    ProductOfferStruct offer;
    offer.gameId = GAME_ID;
    offer.gameIds.push_back(AvailableGameIDInfo(GAME_ID, true));
    offer.gameIds.back().names.addString(0, offeredName);
    struct Case {
        const char* name;
        Poco::SharedPtr<ProductPresentationData> product;
        bool offerHeard;
        std::string title;
    };
    const Poco::SharedPtr<ProductPresentationData> notInstalled =
        new ProductPresentationData(ProductIdentification(GAME_ID, 0, tRevisionList(), ""),
                                    MiniManifestContents(GAME_ID, ""), EProductState::Installing, LanguageList(), {});
    const Case cases[] = {
        {"its info files", installedProduct({}), true, "Sample Game"},
        {"the catalogue's offer", notInstalled, true, offeredName},
        {"nothing but its id", notInstalled, false, GAME_ID},
        {"no product at all", Poco::SharedPtr<ProductPresentationData>(), false, GAME_ID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellRecorder recorder;
        ScriptedController fresh;
        fresh.setCurrentGameId(GAME_ID);
        if (c.offerHeard) fresh.onProductOffer(offer);
        fresh.onProductInstallFailed(c.product, EInstallResult::ConnectionError);
        const std::vector<ShellMessage> results = recorder.named(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
        ASSERT_EQ(1u, results.size());
        EXPECT_EQ(c.title, results[0].text("productName"));
    }
}

TEST_F(BaseAppDelegateTest, APageChangeAskedOnTheMainThreadChoosesTheCardOnTheDrainThread) {
    Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
    ::testing::NiceMock<VantisTest::MockClientListener> engineListener;
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &engineListener, GAME_ID, "");
    startWith(installedProduct({}), SignedOut, APIStatusResult::STATUS_ONLINE);
    ASSERT_EQ(ShellMessage::LOAD_LOGIN_PAGE, lastPage());

    // This thread stands for the shell's main thread.
    controller.onLoginPageLoadFailed();
    EXPECT_TRUE(reachability->threadsAsking().empty());
    EXPECT_EQ(ShellMessage::LOAD_LOGIN_PAGE, lastPage());

    std::thread::id drainThread;
    std::thread drain([&] {
        drainThread = std::this_thread::get_id();
        VantisTest::WaitFor([&] {
            ClientCore::instance()->serviceCalls();
            return lastPage() == ShellMessage::LOAD_GAME_CARD;
        });
    });
    drain.join();
    EXPECT_EQ(ShellMessage::LOAD_GAME_CARD, lastPage());
    EXPECT_EQ(std::vector<std::thread::id>{drainThread}, reachability->threadsAsking());
    ClientCore::Shutdown();
}

namespace {

// The text of the last layout the card was sent.
std::string lastCard(ShellRecorder& shell) {
    const std::vector<ShellMessage> updates = shell.named(ShellMessage::WEB_VIEW_UPDATE);
    return updates.empty() ? std::string() : updates.back().text("webViewUpdate");
}

bool cardSays(ShellRecorder& shell, const std::string& label) {
    return lastCard(shell).find("\"Label\":\"" + label + "\"") != std::string::npos;
}

}  // namespace

TEST_F(BaseAppDelegateTest, TheCardsRequestsEndOnTheCardOrOnTheLoginPage) {
    struct Case {
        const char* command;
        EUserLoginState login;
        const char* stateLine;        // null: no state line expected
        const char* shellMessage;     // null: none expected
        bool folderOpened;
        ViewType view;
    };
    const Case cases[] = {
        {"OpenInstallFolder", SignedIn, "Opened the install folder", nullptr, true, GameCardView},
        // No engine runs here: the engine's own refusals reach the card.
        {"VerifyGame", SignedIn, "Not verified: the game is not installed", nullptr, false, GameCardView},
        {"UninstallGame", SignedIn, "Not uninstalled: the game is not installed", ShellMessage::ON_PRODUCT_UNINSTALLED,
         false, GameCardView},
        {"SignOut", SignedIn, "Offline", ShellMessage::ON_SIGN_OUT, false, LoginPageView},
        {"SignIn", SignedOut, nullptr, ShellMessage::LOAD_LOGIN_PAGE, false, LoginPageView},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        launcher->opened.clear();
        ShellRecorder recorder;
        ScriptedController alone;
        alone.setCurrentGameId(GAME_ID);
        alone.product = installedProduct({});
        alone.setLoginState(c.login);
        alone.onCoreInitialized(ready(APIStatusResult::STATUS_OFFLINE));
        alone.gameViewHandler()->onDocumentReady();
        alone.gameViewHandler()->onMessageFromBrowser(std::string(R"({"Command":")") + c.command + "\"}");
        if (c.stateLine != nullptr) {
            EXPECT_TRUE(cardSays(recorder, c.stateLine)) << lastCard(recorder);
        }
        if (c.shellMessage != nullptr) {
            EXPECT_EQ(1u, recorder.named(c.shellMessage).size());
        }
        EXPECT_EQ(c.folderOpened ? std::vector<std::string>{sandbox.path("Library/Sample")} : std::vector<std::string>{},
                  launcher->opened);
        EXPECT_EQ(c.view, alone.getCurrentView());
    }
}

TEST_F(BaseAppDelegateTest, TheCardShowsWhatVerifyingAndUninstallingFound) {
    startWith(installedProduct({}), SignedIn, APIStatusResult::STATUS_OFFLINE);
    controller.gameViewHandler()->onDocumentReady();
    ProductVerifyResultStruct verified;
    verified.gameId = GAME_ID;
    verified.missingFiles = {"bin/game"};
    verified.repairing = true;
    controller.onProductVerified(verified);
    EXPECT_TRUE(cardSays(shell, "Verified: 1 missing and 0 damaged; repairing them")) << lastCard(shell);

    // The library no longer knows the game as installed: the card offers Install again.
    Poco::SharedPtr<ProductPresentationData> removed = installedProduct({});
    removed->state = EProductState::None;
    removed->revisions.clear();
    controller.product = removed;
    ProductUninstallResultStruct uninstalled;
    uninstalled.gameId = GAME_ID;
    uninstalled.outcome = ProductUninstallResultStruct::Outcome::Removed;
    uninstalled.keptFiles = {"saves/slot1"};
    controller.onProductUninstalled(uninstalled);
    EXPECT_TRUE(cardSays(shell, "Uninstalled; kept your files: saves/slot1")) << lastCard(shell);
    EXPECT_NE(std::string::npos, lastCard(shell).find("\"Action\":\"Install\""));
    EXPECT_EQ(removed, controller.getCurrentProduct());
}

TEST_F(BaseAppDelegateTest, AChangeNoEngineTookIsUndoneOnTheCard) {
    startWith(installedProduct({}), SignedIn, APIStatusResult::STATUS_OFFLINE);
    controller.gameViewHandler()->onDocumentReady();
    Poco::SharedPtr<ProductPresentationData> twoLanguages = controller.getCurrentProduct();
    twoLanguages->availableLanguages.add_unique(LanguageInfo("en"));
    twoLanguages->availableLanguages.add_unique(LanguageInfo("de"));
    twoLanguages->availableGameIds = {AvailableGameIDInfo(GAME_ID, true)};
    launch(R"({"Command":"Install","Arguments":{"Language":"de","NewValue":[]}})");
    EXPECT_TRUE(cardSays(shell, "Change refused: no engine runs")) << lastCard(shell);
    // Nothing is in progress: the card offers its controls again.
    EXPECT_NE(std::string::npos, lastCard(shell).find("\"Pause\":false"));
}

TEST_F(BaseAppDelegateTest, ADocumentOpenedWhileTheGameRunsLeavesPlayOff) {
    startWith(installedProduct({fileTask("Play", "bin/game", true), fileTask("Manual", "docs/manual.txt", false)}),
              SignedIn, APIStatusResult::STATUS_OFFLINE);
    sandbox.writeFile("Library/Sample/docs/manual.txt", "read me");
    launch(R"({"Command":"LaunchPrimaryPlayTask"})");
    launch(R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":1}})");
    ASSERT_EQ(1u, launcher->opened.size());
    EXPECT_NE(std::string::npos, lastCard(shell).find("\"Reason\":\"the game is running\"")) << lastCard(shell);
    launch(R"({"Command":"LaunchPrimaryPlayTask"})");
    EXPECT_EQ(1u, launcher->launches.size());
    launcher->program->ended = true;
    ASSERT_TRUE(VantisTest::WaitFor([&] { return !shell.named(ShellMessage::GAME_ENDED).empty(); }));
}

TEST_F(BaseAppDelegateTest, AnInstallThatRemovedContentIsNotAnnouncedAsComplete) {
    Poco::SharedPtr<ProductPresentationData> before = installedProduct({});
    AvailableGameIDInfo addon("1207658925", false);
    addon.names.addString(0, "Soundtrack");
    before->availableGameIds = {AvailableGameIDInfo(GAME_ID, true), addon};
    before->revisions = {GAME_ID, "1207658925"};
    startWith(before, SignedIn, APIStatusResult::STATUS_OFFLINE);
    Poco::SharedPtr<ProductPresentationData> after = new ProductPresentationData(*before);
    after->revisions = {GAME_ID};
    controller.onProductInstallSuccess(after);
    const std::vector<ShellMessage> results = shell.named(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(std::vector<std::string>{"Soundtrack"}, results[0].texts("removedContent"));
    EXPECT_TRUE(cardSays(shell, "Extra content removed: Soundtrack")) << lastCard(shell);
}

TEST_F(BaseAppDelegateTest, TheCardShowsTheOfferedSizesAndTheAccount) {
    startWith(installedProduct({}), SignedIn, APIStatusResult::STATUS_OFFLINE);
    controller.gameViewHandler()->onDocumentReady();
    SignInResult signedIn;
    signedIn.userName = "player";
    controller.onSignedIn(signedIn);
    EXPECT_NE(std::string::npos, lastCard(shell).find("\"Account\":\"player\""));
    ProductOfferStruct offer;
    offer.gameId = GAME_ID;
    offer.result = EInstallResult::Success;
    offer.languages.push_back(LanguageInfo("en"));
    offer.gameIds.push_back(AvailableGameIDInfo(GAME_ID, true));
    controller.onProductOffer(offer);
    EXPECT_NE(std::string::npos, lastCard(shell).find("\"Sizes\":{\"1207658924\":{\"en\":0")) << lastCard(shell);
}
