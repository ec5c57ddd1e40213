// The game card's own controls, through the controller, against the real
// engine and backend: the card of a game never installed installs it, Pause
// keeps what was fetched, Resume fetches at most the parts in flight again,
// and Cancel stops the install with the card saying so.
#include <mutex>
#include <set>
#include <string>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "GameBackendFixture.h"
#include "app/BaseAppDelegate.h"
#include "bridge/ShellMessageCenter.h"
#include "common/EngineSettings.h"
#include "common/Logger.h"
#include "net/HostProvider.h"
#include "net/HttpManager.h"
#include "platform/Platform.h"
#include "support/WaitFor.h"

namespace VantisTest {
namespace {

using namespace VantisClient;

// Keeps the last layout sent to the card; the engine's notifications are
// drained on the test's thread, so the shell messages arrive there too.
class CardRecorder : public IShellMessageObserver {
public:
    CardRecorder() { ShellMessageCenter::SetObserver(this); }
    ~CardRecorder() override { ShellMessageCenter::Reset(); }

    void onShellMessage(const ShellMessage& message) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (message.name == ShellMessage::WEB_VIEW_UPDATE) m_card = message.text("webViewUpdate");
    }
    bool shows(const std::string& fragment) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_card.find(fragment) != std::string::npos;
    }
    std::string card() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_card;
    }

private:
    std::mutex m_mutex;
    std::string m_card;
};

// The card is the fallback page: the resolver asks nothing of the network.
class NoNetwork : public INetworkReachability {
public:
    bool isInternetReachable() override { return false; }
};

class CardControlsTest : public GameBackendTest {
protected:
    void SetUp() override {
        GameBackendTest::SetUp();
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        Platform::SetNetworkReachability(std::make_shared<NoNetwork>());
        startBackend();
        Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
        controller.setCurrentGameId(SampleGame::BASE_ID);
        // The shell makes the game's directory before the engine starts.
        Poco::File(installDirectory()).createDirectories();
        controller.setCurrentGameLocalPath(installDirectory());
        controller.setLoginState(SignedIn);
        ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &controller, SampleGame::BASE_ID, "");
        ASSERT_TRUE(drainUntil([this] { return controller.gameViewHandler() != nullptr; }));
        HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
        HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
        HttpManager::Instance()->signInWithPassword("player", "secret");
        ASSERT_TRUE(WaitFor([] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
        // What the engine reports after a sign-in from the login page: the
        // controller then asks what the store offers for the game.
        SignInResult signedIn;
        signedIn.userName = "player";
        controller.onSignedIn(signedIn);
        controller.gameViewHandler()->onDocumentReady();
    }

    void TearDown() override {
        if (ClientCore::isStarted()) ClientCore::Shutdown();
        GameBackendTest::TearDown();
    }

    std::string installDirectory() const override { return sandbox.path("Library/Sample Game"); }

    bool drainUntil(const std::function<bool()>& condition) {
        return WaitFor(
            [&] {
                ClientCore::instance()->serviceCalls();
                return condition();
            },
            120000);
    }

    void click(const std::string& command) { controller.gameViewHandler()->onMessageFromBrowser(command); }

    // Clicks `command` until the engine takes it: it refuses an install while
    // the game's last one is still returning, and the card says so.
    bool clickUntilTaken(const std::string& command) {
        return drainUntil([&] {
            click(command);
            return !card.shows("Change refused");
        });
    }

    // Waits for the download to be under way and its figures on the card.
    bool downloading() {
        return drainUntil([this] { return objectBytesServed() > 0 && card.shows("\"BytesDone\""); });
    }

    CardRecorder card;
    BaseAppDelegate controller;
};

const char* const INSTALL = R"({"Command":"Install","Arguments":{"Language":"en","NewValue":[]}})";

TEST_F(CardControlsTest, InstallPauseResumeAndCancelFromTheCard) {
    // The card offers the install once it knows what the store offers.
    ASSERT_TRUE(drainUntil([this] { return card.shows("\"name\":\"en\"") && card.shows("\"Enabled\":true,\n\"Label\":\"Install\""); }))
        << card.card();
    const std::string rule = R"({"listener": "api", "action": "delay", "delayMs": 250, "path": "^/content/objects/"})";
    ASSERT_EQ(200, control("POST", "faults", rule).status);

    click(INSTALL);
    ASSERT_TRUE(downloading()) << card.card();
    click(R"({"Command":"PauseInstall"})");
    ASSERT_TRUE(drainUntil([this] { return card.shows("Paused; the parts fetched so far are kept"); })) << card.card();
    EXPECT_TRUE(card.shows("\"Resume\":true"));
    const std::set<Part> before = partsServed();
    resetServed();

    ASSERT_TRUE(clickUntilTaken(R"({"Command":"ResumeInstall"})")) << card.card();
    ASSERT_TRUE(downloading()) << card.card();
    click(R"({"Command":"CancelInstall"})");
    ASSERT_TRUE(drainUntil([this] { return card.shows("\"Label\":\"Installation cancelled\""); })) << card.card();
    EXPECT_TRUE(card.shows("\"Action\":\"Install\""));
    size_t fetchedAgain = 0;
    for (const Part& part : partsServed()) fetchedAgain += before.count(part);
    // At most the parts in flight when the pause came.
    EXPECT_LE(fetchedAgain, 2u);

    ASSERT_EQ(200, control("DELETE", "faults").status);
    ASSERT_TRUE(clickUntilTaken(INSTALL)) << card.card();
    ASSERT_TRUE(drainUntil([this] { return card.shows("\"Label\":\"Up to date\""); })) << card.card();
    EXPECT_TRUE(card.shows("\"Action\":\"Play\""));
    expectInstalledAsTheSource("en", false);
}

}  // namespace
}  // namespace VantisTest
