#include <functional>

#include <gtest/gtest.h>

#include <Poco/Delegate.h>
#include <Poco/Exception.h>

#include "BridgeFixtures.h"
#include "bridge/GameViewHandler.h"

namespace VantisClient {
namespace {

using VantisTest::ADDON_GAME_ID;
using VantisTest::BASE_GAME_ID;

// What the controller would hear from the handler.
struct EventRecorder {
    explicit EventRecorder(GameViewHandler& handler_) : handler(handler_) {
        handler.productSelectionChangeEvent += Poco::delegate(this, &EventRecorder::onSelectionChange);
        handler.playTaskLaunchRequestEvent += Poco::delegate(this, &EventRecorder::onLaunchRequest);
        handler.cardRequestEvent += Poco::delegate(this, &EventRecorder::onCardRequest);
    }
    ~EventRecorder() {
        handler.productSelectionChangeEvent -= Poco::delegate(this, &EventRecorder::onSelectionChange);
        handler.playTaskLaunchRequestEvent -= Poco::delegate(this, &EventRecorder::onLaunchRequest);
        handler.cardRequestEvent -= Poco::delegate(this, &EventRecorder::onCardRequest);
    }
    void onSelectionChange(const void*, GameViewHandler::ProductSelectionChange& change) {
        selections.push_back(change);
    }
    void onLaunchRequest(const void*, GameViewHandler::PlayTaskLaunchRequest& request) { launches.push_back(request); }
    void onCardRequest(const void*, GameViewHandler::CardRequest& request) { requests.push_back(request.request); }

    GameViewHandler& handler;
    std::vector<GameViewHandler::ProductSelectionChange> selections;
    std::vector<GameViewHandler::PlayTaskLaunchRequest> launches;
    std::vector<GameViewHandler::ECardRequest> requests;
};

bool contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }

// The card shows no state line while an update is in progress.
bool showsUpdateInProgress(const std::string& update) { return !contains(update, "\"GameStateLabel\""); }

std::string mainButtonOf(bool enabled, const std::string& action = "Play") {
    return "\"MainButton\":{\"Action\":\"" + action + "\",\n\"Enabled\":" + (enabled ? "true" : "false");
}

class GameViewHandlerTest : public VantisTest::LoggingTest {
protected:
    VantisTest::WebViewRecorder page;
};

TEST_F(GameViewHandlerTest, PageCommands) {
    const std::string parseError = "Failed parsing JSON from browser with error ";
    const struct {
        const char* text;
        const char* launchedTask;      // null: no launch request
        const char* selectedLanguage;  // null: no selection change
        tRevisionList selectedRevisions;
        size_t pageUpdates;
        std::string logLine;
    } cases[] = {
        // Launches.
        {R"({"Command":"LaunchPrimaryPlayTask"})", "Play", nullptr, {}, 0, ""},
        {R"({"Command":"LaunchPrimaryPlayTask","Arguments":{}})", "Play", nullptr, {}, 0, ""},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":2}})", "Forum", nullptr, {}, 0, ""},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":-1}})", nullptr, nullptr, {}, 1,
         "Invalid play task index: -1"},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":3}})", nullptr, nullptr, {}, 1,
         "Invalid play task index: 3"},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":"1"}})", nullptr, nullptr, {}, 0,
         parseError + "\"PlayTaskIndex\" is not an integer; gameId: 1207658924, json: "
                      R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":"1"}})"},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":1.0}})", nullptr, nullptr, {}, 0,
         "\"PlayTaskIndex\" is not an integer"},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":true}})", nullptr, nullptr, {}, 0,
         "\"PlayTaskIndex\" is not an integer"},
        {R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":18446744073709551615}})", nullptr, nullptr, {},
         0, parseError},
        {R"({"Command":"LaunchPlayTask"})", nullptr, nullptr, {}, 0,
         "\"Arguments\" is missing or not an object; gameId: 1207658924"},
        {R"({"Command":"LaunchPlayTask","Arguments":[1]})", nullptr, nullptr, {}, 0,
         "\"Arguments\" is missing or not an object"},
        // Languages: another one installs, the same one only refreshes, an unknown index does nothing.
        {R"({"Command":"LanguageChange","Arguments":{"NewValue":1}})", nullptr, "de", {BASE_GAME_ID}, 1,
         "Selected language de for gameId 1207658924"},
        {R"({"Command":"LanguageChange","Arguments":{"NewValue":0}})", nullptr, nullptr, {}, 1,
         "Selected language en for gameId 1207658924"},
        {R"({"Command":"LanguageChange","Arguments":{"NewValue":2}})", nullptr, nullptr, {}, 0, ""},
        {R"({"Command":"LanguageChange","Arguments":{"NewValue":-1}})", nullptr, nullptr, {}, 0, ""},
        {R"({"Command":"LanguageChange","Arguments":{"NewValue":"de"}})", nullptr, nullptr, {}, 0,
         "\"NewValue\" is not an integer"},
        // Revision lists: the product's own ids with the base game, each once.
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","1207658925"]}})", nullptr, "en",
         {BASE_GAME_ID, ADDON_GAME_ID}, 1, "Selected revision list 1207658924, 1207658925 for gameId 1207658924"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658925","1207658924"]}})", nullptr, "en",
         {ADDON_GAME_ID, BASE_GAME_ID}, 1, ""},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924"]}})", nullptr, nullptr, {}, 1,
         "Selected revision list 1207658924 for gameId 1207658924"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":[]}})", nullptr, nullptr, {}, 1,
         "Refused revision list [] for gameId 1207658924"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658925"]}})", nullptr, nullptr, {}, 1,
         R"(Refused revision list ["1207658925"] for gameId 1207658924)"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","1207658999"]}})", nullptr, nullptr,
         {}, 1, R"(Refused revision list ["1207658924","1207658999"])"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","../x"]}})", nullptr, nullptr, {}, 1,
         R"(Refused revision list ["1207658924","../x"])"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924",1207658925]}})", nullptr, nullptr, {},
         1, R"(Refused revision list ["1207658924",1207658925])"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","1207658924"]}})", nullptr, nullptr,
         {}, 1, R"(Refused revision list ["1207658924","1207658924"])"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924",null]}})", nullptr, nullptr, {}, 1,
         R"(Refused revision list ["1207658924",null])"},
        {R"({"Command":"RevisionChange","Arguments":{"NewValue":"1207658924"}})", nullptr, nullptr, {}, 0,
         "\"NewValue\" is not an array"},
        // Install: the page's language and content, completed with the base game.
        {R"({"Command":"Install","Arguments":{"Language":"de","NewValue":["1207658925"]}})", nullptr, "de",
         {BASE_GAME_ID, ADDON_GAME_ID}, 1, "Install of 1207658924, 1207658925 in de requested for gameId 1207658924"},
        {R"({"Command":"Install","Arguments":{"Language":"en","NewValue":["1207658925","1207658924"]}})", nullptr,
         "en", {ADDON_GAME_ID, BASE_GAME_ID}, 1, ""},
        {R"({"Command":"Install","Arguments":{"Language":"en","NewValue":[]}})", nullptr, nullptr, {}, 1,
         "Nothing to change: the game is installed as chosen"},
        {R"({"Command":"Install","Arguments":{"Language":"fr","NewValue":[]}})", nullptr, nullptr, {}, 1,
         "Change refused: the game is not offered in fr"},
        {R"({"Command":"Install","Arguments":{"Language":"en","NewValue":["1207658999"]}})", nullptr, nullptr, {}, 1,
         "Refused revision list 1207658924, 1207658999"},
        {R"({"Command":"Install","Arguments":{"Language":"en","NewValue":[7]}})", nullptr, nullptr, {}, 1,
         "Refused revision list [7]"},
        {R"({"Command":"Install","Arguments":{"Language":0,"NewValue":[]}})", nullptr, nullptr, {}, 0,
         "\"Language\" is not a string"},
        // Neither a command nor JSON.
        {R"({"Command":"Uninstall","Arguments":{}})", nullptr, nullptr, {}, 0,
         "Unknown command 'Uninstall' from browser; gameId: 1207658924"},
        {R"({"Arguments":{}})", nullptr, nullptr, {}, 0, parseError},
        {R"([{"Command":"LaunchPrimaryPlayTask"}])", nullptr, nullptr, {}, 0, parseError},
        {R"({"Command":"LaunchPrimaryPlayTask")", nullptr, nullptr, {}, 0, parseError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        forgetLog();
        page.updates.clear();
        ProductPresentationData::Ptr product = VantisTest::SampleProduct();
        GameViewHandler handler(product, true);
        EventRecorder events(handler);

        handler.onMessageFromBrowser(c.text);

        if (c.launchedTask != nullptr) {
            ASSERT_EQ(1u, events.launches.size());
            EXPECT_EQ(c.launchedTask, events.launches[0].playTask.name);
            EXPECT_EQ(product, events.launches[0].product);
        } else {
            EXPECT_TRUE(events.launches.empty());
        }
        if (c.selectedLanguage != nullptr) {
            ASSERT_EQ(1u, events.selections.size());
            EXPECT_EQ(c.selectedLanguage, events.selections[0].language);
            EXPECT_EQ(c.selectedRevisions, events.selections[0].revisions);
            EXPECT_EQ(product, events.selections[0].product);
        } else {
            EXPECT_TRUE(events.selections.empty());
        }
        EXPECT_EQ(c.pageUpdates, page.updates.size());
        if (!c.logLine.empty()) {
            EXPECT_TRUE(logged(c.logLine)) << recentLog();
        }

        // Only a selection change marks an update in progress.
        handler.updateGameView();
        EXPECT_EQ(c.selectedLanguage != nullptr, showsUpdateInProgress(page.updates.back()));
    }
}

TEST_F(GameViewHandlerTest, LaunchesOnlyWhileTheGameIsIdleAndPlayable) {
    const auto idle = [](GameViewHandler&) {};
    const auto updating = [](GameViewHandler& handler) {
        handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::Downloading, 0.5f, 1);
    };
    const auto running = [](GameViewHandler& handler) { handler.gameStarted(); };
    const auto updated = [](GameViewHandler& handler) {
        handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::UpdatingFiles, 0.9f, 1);
        handler.onProductInstallSuccess(VantisTest::SampleProduct());
    };
    const std::string primary = R"({"Command":"LaunchPrimaryPlayTask"})";
    const auto task = [](int index) {
        return R"({"Command":"LaunchPlayTask","Arguments":{"PlayTaskIndex":)" + std::to_string(index) + "}}";
    };
    const std::string refusal = "Refused to launch play task ";
    const struct {
        const char* name;
        EProductState state;
        std::function<void(GameViewHandler&)> arrange;
        std::string text;
        const char* launchedTask;
        std::string logLine;
    } cases[] = {
        {"idle", EProductState::Installed, idle, primary, "Play", ""},
        {"idle, manual", EProductState::Installed, idle, task(1), "Manual", ""},
        {"idle offline", EProductState::Offline, idle, primary, "Play", ""},
        {"updating", EProductState::Installed, updating, primary, nullptr,
         refusal + "'Play' for gameId 1207658924: an update is in progress"},
        {"updating, manual", EProductState::Installed, updating, task(1), nullptr,
         refusal + "'Manual' for gameId 1207658924: an update is in progress"},
        {"installing at start", EProductState::Installing, idle, task(2), nullptr, "the game is unplayable"},
        // An update an earlier run left unfinished: nothing runs, the files are whole.
        {"updating at start", EProductState::Updating, idle, primary, "Play", ""},
        {"not installed", EProductState::None, idle, primary, nullptr,
         refusal + "'Play' for gameId 1207658924: the game is not installed"},
        {"not installed, link", EProductState::None, idle, task(2), nullptr, "the game is not installed"},
        {"after a failed update that left files half moved", EProductState::Installed,
         [](GameViewHandler& handler) {
             handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::UpdatingFiles, 0.9f, 1);
             handler.onProductInstallFailed(VantisTest::SampleProduct(EProductState::UpdatingUnplayable),
                                            EInstallResult::DiskAccessError);
         },
         primary, nullptr, "the game is unplayable"},
        {"after a failed update with whole files", EProductState::Installed,
         [](GameViewHandler& handler) {
             handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::Downloading, 0.5f, 1);
             handler.onProductInstallFailed(VantisTest::SampleProduct(EProductState::Updating),
                                            EInstallResult::ConnectionError);
         },
         primary, "Play", ""},
        {"unplayable offline", EProductState::OfflineUnplayable, idle, task(1), nullptr, "the game is unplayable"},
        {"running", EProductState::Installed, running, primary, nullptr,
         refusal + "'Play' for gameId 1207658924: the game is running"},
        {"running, primary task by index", EProductState::Installed, running, task(0), nullptr,
         "the game is running"},
        {"running, manual", EProductState::Installed, running, task(1), "Manual", ""},
        {"after an update", EProductState::Installed, updated, primary, "Play", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        forgetLog();
        page.others.clear();
        GameViewHandler handler(VantisTest::SampleProduct(c.state), true);
        c.arrange(handler);
        EventRecorder events(handler);
        // The play button and the launch follow one rule.
        handler.updateGameView();
        const bool playEnabled = contains(page.updates.back(), mainButtonOf(true));
        page.updates.clear();

        handler.onMessageFromBrowser(c.text);
        if (c.text == primary) {
            EXPECT_EQ(c.launchedTask != nullptr, playEnabled);
        }

        if (c.launchedTask != nullptr) {
            ASSERT_EQ(1u, events.launches.size());
            EXPECT_EQ(c.launchedTask, events.launches[0].playTask.name);
        } else {
            EXPECT_TRUE(events.launches.empty());
            EXPECT_TRUE(logged(c.logLine)) << recentLog();
            // The shell hears why.
            ASSERT_EQ(1u, page.others.size());
            EXPECT_EQ(ShellMessage::PLAY_TASK_FAILED, page.others[0].name);
            EXPECT_NE(std::string::npos, c.logLine.find(page.others[0].text("reason")));
            // The card is refreshed and says why.
            ASSERT_EQ(1u, page.updates.size());
            EXPECT_TRUE(contains(page.updates[0], "Cannot play: " + page.others[0].text("reason")));
        }
    }
}

TEST_F(GameViewHandlerTest, PrimaryLaunchWithoutPrimaryTaskIsRefused) {
    ProductPresentationData::Ptr product = VantisTest::SampleProduct();
    product->contents.playTasks.erase(product->contents.playTasks.begin());
    GameViewHandler handler(product, true);
    EventRecorder events(handler);
    handler.onMessageFromBrowser(R"({"Command":"LaunchPrimaryPlayTask"})");
    EXPECT_TRUE(events.launches.empty());
    EXPECT_TRUE(logged("No primary play task to launch for gameId 1207658924"));
    ASSERT_EQ(1u, page.others.size());
    EXPECT_EQ("the game has no primary play task", page.others[0].text("reason"));
}

TEST_F(GameViewHandlerTest, LanguageChangeKeepsTheInstalledSelectionOnlyWhenItHoldsUp) {
    ProductPresentationData::Ptr product = VantisTest::SampleProduct();
    product->revisions = {VantisTest::BASE_GAME_ID, "999"};
    GameViewHandler handler(product, true);
    EventRecorder events(handler);
    handler.onMessageFromBrowser(R"({"Command":"LanguageChange","Arguments":{"NewValue":1}})");
    EXPECT_TRUE(events.selections.empty());
    EXPECT_TRUE(logged("Refused revision list 1207658924, 999 for gameId 1207658924"));
    ASSERT_EQ(1u, page.updates.size());
    EXPECT_FALSE(showsUpdateInProgress(page.updates.back()));
}

TEST_F(GameViewHandlerTest, AChoiceOnTheCardOfANeverInstalledGameCompletesItsSelection) {
    ProductPresentationData::Ptr product = VantisTest::SampleProduct(EProductState::OfflineUnplayable);
    product->revisions.clear();
    product->language.clear();
    GameViewHandler handler(product, true);
    EventRecorder events(handler);
    handler.onMessageFromBrowser(R"({"Command":"LanguageChange","Arguments":{"NewValue":1}})");
    // A second change waits for the first to end.
    handler.onMessageFromBrowser(R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","1207658925"]}})");
    EXPECT_EQ(1u, events.selections.size());
    EXPECT_TRUE(logged("Change refused: an install of the game is in progress"));
    handler.onProductInstallFailed(ProductPresentationData::Ptr(), EInstallResult::ConnectionError);
    // The language the card shows selected is no change.
    handler.onMessageFromBrowser(R"({"Command":"LanguageChange","Arguments":{"NewValue":0}})");
    EXPECT_EQ(1u, events.selections.size());
    handler.onMessageFromBrowser(R"({"Command":"RevisionChange","Arguments":{"NewValue":["1207658924","1207658925"]}})");
    ASSERT_EQ(2u, events.selections.size());
    EXPECT_EQ("de", events.selections[0].language);
    EXPECT_EQ(tRevisionList{VantisTest::BASE_GAME_ID}, events.selections[0].revisions);
    // The language the card shows selected when the game has none: the first offered.
    EXPECT_EQ("en", events.selections[1].language);
    EXPECT_EQ((tRevisionList{VantisTest::BASE_GAME_ID, VantisTest::ADDON_GAME_ID}), events.selections[1].revisions);
}

TEST_F(GameViewHandlerTest, InstallResultStaysOnTheCardUntilAnotherReplacesIt) {
    GameViewHandler handler(VantisTest::SampleProduct(), true);
    handler.onDocumentReady();
    handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::Downloading, 0.5f, 1);
    handler.onProductInstallFailed(VantisTest::SampleProduct(), EInstallResult::OutOfDiskSpace);
    const std::string outOfSpace = "\"GameStateLabel\":{\"Label\":\"Installation failed: out of disk space\",\n"
                                   "\"Visible\":true\n}";
    EXPECT_TRUE(contains(page.updates.back(), outOfSpace));
    handler.updateGameView();
    EXPECT_TRUE(contains(page.updates.back(), outOfSpace));

    handler.onProductInstallAborted(VantisTest::SampleProduct());
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Installation Aborted\""));

    ProductPresentationData::Ptr installed = VantisTest::SampleProduct();
    installed->contents.name = "Zorv Deluxe";
    handler.onProductInstallSuccess(installed);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Up to date\""));
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Zorv Deluxe\""));
}

TEST_F(GameViewHandlerTest, ProgressDisablesPlayAndTellsWhetherTheFilesStayWhole) {
    const struct {
        EProductState reportedState;
        EInstallStatusCode status;
        bool playableAfterAnAbort;
    } cases[] = {
        {EProductState::Updating, EInstallStatusCode::Downloading, true},
        {EProductState::Installed, EInstallStatusCode::Downloading, true},
        {EProductState::Updating, EInstallStatusCode::UpdatingFiles, false},
        {EProductState::Installing, EInstallStatusCode::Downloading, false},
        {EProductState::UpdatingUnplayable, EInstallStatusCode::Downloading, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reportedState) * 100 + static_cast<int>(c.status));
        GameViewHandler handler(VantisTest::SampleProduct(), true);
        handler.handleInstallProgress(VantisTest::SampleProduct(c.reportedState), c.status, 0.5f, 1);
        ASSERT_FALSE(page.updates.empty());
        EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(false)));
        EXPECT_TRUE(contains(page.updates.back(), "\"Reason\":\"an update is in progress\""));
        EXPECT_TRUE(contains(page.updates.back(), "\"GameStateLabel\":{\"Label\":\"\",\n\"Visible\":false\n}"));
        // An abort the engine reports without the product keeps what the progress knew.
        handler.onProductInstallAborted(ProductPresentationData::Ptr());
        EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(c.playableAfterAnAbort)));
    }
}

TEST_F(GameViewHandlerTest, UserStateAndReloadsRefreshTheCardOnlyOnceItIsReady) {
    GameViewHandler handler(VantisTest::SampleProduct(EProductState::None), true);
    handler.onUserStateChanged(false);
    handler.productReloadedFromDB(VantisTest::SampleProduct(EProductState::None));
    EXPECT_TRUE(page.updates.empty());

    handler.onDocumentReady();
    ASSERT_EQ(1u, page.updates.size());
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Offline\""));
    EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(false, "Install")));
    EXPECT_TRUE(logged("Game card document ready for gid 1207658924, setting up"));

    handler.onUserStateChanged(true);
    ASSERT_EQ(2u, page.updates.size());
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Not installed\""));

    // Installed by someone else meanwhile: the reload makes it playable again.
    handler.productReloadedFromDB(VantisTest::SampleProduct(EProductState::Installed));
    ASSERT_EQ(3u, page.updates.size());
    EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(true)));

    handler.gameStarted();
    EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(false)));
    handler.gameClosed();
    EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(true)));
    EXPECT_EQ(5u, page.updates.size());
}

TEST_F(GameViewHandlerTest, AMissingProductNeverReachesTheCard) {
    EXPECT_THROW(GameViewHandler(ProductPresentationData::Ptr(), true), Poco::NullPointerException);

    GameViewHandler handler(VantisTest::SampleProduct(), true);
    handler.productReloadedFromDB(ProductPresentationData::Ptr());
    handler.onProductInstallSuccess(ProductPresentationData::Ptr());
    handler.handleInstallProgress(ProductPresentationData::Ptr(), EInstallStatusCode::Downloading, 0.5f, 1);
    ASSERT_EQ(2u, page.updates.size());
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Zorv\""));
}

TEST_F(GameViewHandlerTest, CardRequestsReachTheControllerOnlyWhenTheGameAllowsThem) {
    using Request = GameViewHandler::ECardRequest;
    const auto installing = [](GameViewHandler& handler) {
        handler.handleInstallProgress(VantisTest::SampleProduct(), EInstallStatusCode::Downloading, 0.5f, 1);
    };
    const struct {
        const char* command;
        EProductState state;
        bool installRunning;
        std::vector<Request> requests;
        const char* stateLine;  // null: none asked for
    } cases[] = {
        {"VerifyGame", EProductState::Installed, false, {Request::VerifyGame}, nullptr},
        {"UninstallGame", EProductState::Installed, false, {Request::UninstallGame}, nullptr},
        {"OpenInstallFolder", EProductState::Installed, false, {Request::OpenInstallFolder}, nullptr},
        {"OpenInstallFolder", EProductState::Installed, true, {Request::OpenInstallFolder}, nullptr},
        {"SignOut", EProductState::None, false, {Request::SignOut}, nullptr},
        {"SignIn", EProductState::None, false, {Request::SignIn}, nullptr},
        {"VerifyGame", EProductState::None, false, {}, "Not possible: the game is not installed"},
        {"UninstallGame", EProductState::None, false, {}, "Not possible: the game is not installed"},
        {"OpenInstallFolder", EProductState::None, false, {}, "Not possible: the game is not installed"},
        {"VerifyGame", EProductState::Installed, true, {}, "Not possible: an install of the game is in progress"},
        {"UninstallGame", EProductState::Installed, true, {}, "Not possible: an install of the game is in progress"},
        {"PauseInstall", EProductState::Installed, true, {Request::PauseInstall}, nullptr},
        {"CancelInstall", EProductState::Installed, true, {Request::CancelInstall}, nullptr},
        {"PauseInstall", EProductState::Installed, false, {}, "Nothing to pause: no install is running"},
        {"CancelInstall", EProductState::Installed, false, {}, "Nothing to cancel: no install is running"},
        {"ResumeInstall", EProductState::Installed, false, {}, "Nothing to resume: no install is paused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.installRunning ? " while installing" : ""));
        GameViewHandler handler(VantisTest::SampleProduct(c.state), true);
        if (c.installRunning) installing(handler);
        EventRecorder events(handler);
        page.updates.clear();
        handler.onMessageFromBrowser(std::string(R"({"Command":")") + c.command + R"(","Arguments":{}})");
        EXPECT_EQ(c.requests, events.requests);
        if (c.stateLine != nullptr) {
            ASSERT_EQ(1u, page.updates.size());
            EXPECT_TRUE(contains(page.updates[0], std::string("\"Label\":\"") + c.stateLine + "\"")) << page.updates[0];
        } else {
            EXPECT_TRUE(page.updates.empty());
        }
    }
}

TEST_F(GameViewHandlerTest, APausedInstallResumesItsSelectionAndACancelSaysSo) {
    ProductPresentationData::Ptr product = VantisTest::SampleProduct(EProductState::None);
    product->revisions.clear();
    GameViewHandler handler(product, true);
    EventRecorder events(handler);
    const std::string install =
        R"({"Command":"Install","Arguments":{"Language":"de","NewValue":["1207658924","1207658925"]}})";
    const tRevisionList chosen{VantisTest::BASE_GAME_ID, VantisTest::ADDON_GAME_ID};
    handler.onMessageFromBrowser(install);
    ASSERT_EQ(1u, events.selections.size());
    handler.handleInstallProgress(product, EInstallStatusCode::Downloading, 0.5f, 100);

    handler.onMessageFromBrowser(R"({"Command":"PauseInstall"})");
    ASSERT_EQ(std::vector<GameViewHandler::ECardRequest>{GameViewHandler::ECardRequest::PauseInstall},
              events.requests);
    handler.onProductInstallAborted(product);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Paused; the parts fetched so far are kept\""));
    EXPECT_TRUE(contains(page.updates.back(), "\"Resume\":true"));
    // The pause outlives other refreshes of the card.
    handler.updateGameView();
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Paused\""));

    handler.resumeInstall();
    ASSERT_EQ(2u, events.selections.size());
    EXPECT_EQ("de", events.selections[1].language);
    EXPECT_EQ(chosen, events.selections[1].revisions);
    EXPECT_TRUE(contains(page.updates.back(), "\"Pause\":true"));

    handler.cancelInstall();
    EXPECT_EQ(GameViewHandler::ECardRequest::CancelInstall, events.requests.back());
    handler.onProductInstallAborted(product);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Installation cancelled\""));
    EXPECT_TRUE(contains(page.updates.back(), mainButtonOf(true, "Install")));

    // An abort nobody on the card asked for is told as before.
    handler.onMessageFromBrowser(install);
    handler.onProductInstallAborted(product);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Installation Aborted\""));
}

TEST_F(GameViewHandlerTest, ProgressCarriesTheBytesDoneAndAnInstallThatOnlyRemovedContentSaysSo) {
    ProductPresentationData::Ptr withAddon = VantisTest::SampleProduct();
    withAddon->revisions.push_back(VantisTest::ADDON_GAME_ID);
    GameViewHandler handler(withAddon, true);
    handler.handleInstallProgress(withAddon, EInstallStatusCode::Downloading, 0.25f, 400);
    EXPECT_TRUE(contains(page.updates.back(), "\"BytesDone\":100,"));
    EXPECT_TRUE(contains(page.updates.back(), "\"BytesTotal\":400,"));

    handler.onProductInstallSuccess(VantisTest::SampleProduct());
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Extra content removed: Zorv Soundtrack\""));
    handler.onProductInstallSuccess(withAddon);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Up to date\""));
}

TEST_F(GameViewHandlerTest, AChangeTheControllerRefusedLeavesNothingInProgressAndARefusedResumeStaysPaused) {
    GameViewHandler handler(VantisTest::SampleProduct(), true);
    handler.onMessageFromBrowser(R"({"Command":"LanguageChange","Arguments":{"NewValue":1}})");
    handler.onSelectionRefused("the engine is busy");
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Change refused: the engine is busy\""));
    handler.updateGameView();
    EXPECT_FALSE(showsUpdateInProgress(page.updates.back()));
    // The card shows the language that is installed, not the one asked for.
    EXPECT_TRUE(contains(page.updates.back(), "\"Selected\":0"));

    // The controller refuses the resume while it is handed over.
    handler.onMessageFromBrowser(R"({"Command":"LanguageChange","Arguments":{"NewValue":1}})");
    handler.pauseInstall();
    handler.onProductInstallAborted(VantisTest::SampleProduct());
    struct RefusingController {
        GameViewHandler& handler;
        void refuse(const void*, GameViewHandler::ProductSelectionChange&) {
            handler.onSelectionRefused("the last install is still returning");
        }
    } controller{handler};
    handler.productSelectionChangeEvent += Poco::delegate(&controller, &RefusingController::refuse);
    handler.resumeInstall();
    handler.productSelectionChangeEvent -= Poco::delegate(&controller, &RefusingController::refuse);
    EXPECT_TRUE(contains(page.updates.back(), "\"Label\":\"Change refused: the last install is still returning\""));
    EXPECT_TRUE(contains(page.updates.back(), "\"Resume\":true"));
}

}  // namespace
}  // namespace VantisClient
