#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Data/Session.h>
#include <Poco/Event.h>
#include <Poco/File.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "core/ClientCore.h"
#include "storage/StorageDBSerializer.h"
#include "FakeTask.h"
#include "MockClientListener.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"
#include "net/HostProvider.h"

namespace VantisClient {

// Reaches the engine's private parts that the shell never sees.
class ClientCoreTestAccess {
public:
    struct TimerSetting {
        long startDelayMs;
        long periodMs;
        bool operator==(const TimerSetting& other) const {
            return startDelayMs == other.startDelayMs && periodMs == other.periodMs;
        }
    };

    static SubSystem& shortSubSystem() { return *ClientCore::instance()->m_shortSubSystem; }
    static SubSystem& installerSubSystem() { return *ClientCore::instance()->m_installerSubSystem; }
    static int pendingNotifications() { return ClientCore::instance()->m_notificationQueue.size(); }
    static std::string loopThreadName() { return ClientCore::instance()->m_loopThread->name(); }
    static bool loopThreadRunning() { return ClientCore::instance()->m_loopThread->isRunning(); }
    static TimerSetting apiStatusTimer() { return setting(*ClientCore::instance()->m_apiStatusTimer); }
    static TimerSetting updateCheckTimer() { return setting(*ClientCore::instance()->m_updateCheckTimer); }

private:
    static TimerSetting setting(const Poco::Timer& timer) {
        return TimerSetting{timer.getStartInterval(), timer.getPeriodicInterval()};
    }
};

namespace {

using ::testing::_;
using ::testing::Field;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::SaveArg;
using ::testing::StrictMock;
using Access = ClientCoreTestAccess;
using VantisTest::FakeTask;
using VantisTest::WaitFor;

const char* const GAME_ID = "1207658924";

Poco::SharedPtr<ProductInfo> makeProduct(const std::string& gameId, const std::string& localPath,
                                         EProductState state = EProductState::Installed) {
    Poco::SharedPtr<ProductInfo> product = new ProductInfo();
    product->setGameId(gameId);
    product->setLocalPath(localPath);
    product->setProductState(state, false);
    return product;
}

// Settings whose failed status checks are repeated only after a minute, so
// that no retry's notification comes between a test's own.
EngineSettings quietSettings() {
    EngineSettings settings = EngineSettings::OfThisUser();
    settings.statusRetryMs = StatusCheckSchedule::LONGEST_RETRY_MS;
    return settings;
}

class ClientCoreTest : public VantisTest::SandboxTest {
protected:
    // The start-up status check meets a closed port: the backend is offline.
    void SetUp() override { VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1"); }

    void TearDown() override {
        if (ClientCore::isStarted()) ClientCore::Shutdown();
    }

    // Starts the engine and waits until its start-up group (an offline status
    // check and an empty library) has reported and the directory-privileges
    // task after the library load has made the launched game's placeholder
    // playable offline, so that each test begins with a quiet queue.
    void startAndSettle(VantisTest::MockClientListener& target) {
        ClientCore::StartWithGameId(quietSettings(), &target, GAME_ID, "");
        bool settled = false;
        bool placeholderFixed = false;
        EXPECT_CALL(target, onAPIStatusChanged(_));
        EXPECT_CALL(target, onCoreInitialized(_)).WillOnce(Invoke([&] { settled = true; }));
        EXPECT_CALL(target, onProductStateChanged(GAME_ID, EProductState::Offline)).WillOnce(Invoke([&] {
            placeholderFixed = true;
        }));
        EXPECT_TRUE(drainUntil([&] { return settled && placeholderFixed; }));
        ::testing::Mock::VerifyAndClearExpectations(&target);
    }

    static ClientCore& core() { return *ClientCore::instance(); }

    // Drains until `condition` holds, as the shell's drain loop would.
    static bool drainUntil(const std::function<bool()>& condition) {
        return WaitFor([&] {
            core().serviceCalls();
            return condition();
        });
    }

    InitializationData initializeAgain() {
        InitializationData data;
        EXPECT_CALL(listener, onCoreInitialized(_)).WillOnce(SaveArg<0>(&data));
        Poco::EventArgs args;
        core().handleCoreInitialized(nullptr, args);
        core().serviceCalls();
        ::testing::Mock::VerifyAndClearExpectations(&listener);
        return data;
    }

    // Members outlive TearDown, which shuts the engine down.
    NiceMock<VantisTest::MockClientListener> listener;
    StrictMock<VantisTest::MockClientListener> strictListener;
};

TEST_F(ClientCoreTest, StartsItsThreadsAndTimersAndShutdownRemovesTheEngine) {
    EXPECT_FALSE(ClientCore::isStarted());
    startAndSettle(listener);
    ASSERT_TRUE(ClientCore::isStarted());
    EXPECT_EQ(GAME_ID, core().getSelectedGameId());
    EXPECT_FALSE(core().isAPIOnline());

    EXPECT_EQ("ClientCore Loop", Access::loopThreadName());
    EXPECT_TRUE(Access::loopThreadRunning());
    FakeTask::Ptr shortTask = new FakeTask("ShortProbe");
    FakeTask::Ptr installerTask = new FakeTask("InstallerProbe");
    ASSERT_TRUE(Access::shortSubSystem().pushUniqueTask(shortTask));
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(installerTask));
    ASSERT_TRUE(WaitFor([&] { return shortTask->finished && installerTask->finished; }));
    EXPECT_EQ("SubSystem short thread", shortTask->threadName());
    EXPECT_EQ("SubSystem installer thread", installerTask->threadName());

    // The start-up check met a closed port: the next one comes within a minute, not ten.
    EXPECT_EQ((Access::TimerSetting{600000, 60000}), Access::apiStatusTimer());
    EXPECT_EQ((Access::TimerSetting{3600000, 3600000}), Access::updateCheckTimer());

    ClientCore::Shutdown();
    EXPECT_FALSE(ClientCore::isStarted());
    EXPECT_EQ(nullptr, ClientCore::instance());
}

TEST_F(ClientCoreTest, AFailedStatusCheckIsRepeatedWithinSecondsAndASuccessRestoresTheNormalPeriod) {
    EngineSettings settings = EngineSettings::OfThisUser();
    settings.statusRetryMs = 50;
    std::atomic<int> checks{0};
    EXPECT_CALL(listener, onAPIStatusChanged(Field(&APIStatusResult::status, APIStatusResult::STATUS_OFFLINE)))
        .WillRepeatedly(Invoke([&](APIStatusResult) { ++checks; }));
    ClientCore::StartWithGameId(settings, &listener, GAME_ID, "");
    // The start-up check and two retries, long before the ten minutes of the timer.
    EXPECT_TRUE(drainUntil([&] { return checks >= 3; }));
    EXPECT_LE(100, Access::apiStatusTimer().periodMs) << "the delay grows with each failure";

    APIStatusResult online;
    online.status = APIStatusResult::STATUS_ONLINE;
    online.answered = true;
    online.interval = 3600;
    core().handleAPIStatusResult(nullptr, online);
    EXPECT_EQ(600000, Access::apiStatusTimer().periodMs);
}

TEST(ClientCoreLicenceTest, EachAnswerToTheOwnershipRequestHasItsKind) {
    struct Case {
        int32_t status;
        const char* body;
        ELicenceAnswer answer;
    };
    const Case cases[] = {
        {200, R"({"gameId": "1", "owned": true})", ELicenceAnswer::Owned},
        {200, "<html>maintenance</html>", ELicenceAnswer::ServerProblem},
        {403, "", ELicenceAnswer::NotOwned},
        {404, R"({"error": "not_owned"})", ELicenceAnswer::NotOwned},
        {401, "", ELicenceAnswer::SessionLost},
        {500, "", ELicenceAnswer::ServerProblem},
        {503, "", ELicenceAnswer::ServerProblem},
        {429, "", ELicenceAnswer::ServerProblem},
        {400, "", ELicenceAnswer::ServerProblem},
    };
    for (const Case& c : cases) {
        Http::HttpResponse response;
        response.statusCode = c.status;
        response.body = c.body;
        EXPECT_EQ(c.answer, ClientCore::licenceOfAnswer(response)) << c.status << " " << c.body;
    }
}

TEST_F(ClientCoreTest, DeferredCallsRunOnTheDrainingThreadInQueueOrder) {
    startAndSettle(listener);
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread asker([&] {
        core().runOnDrainThread([&] { order.push_back(1); });
        core().runOnDrainThread([&] {
            order.push_back(2);
            ranOn = std::this_thread::get_id();
        });
    });
    asker.join();
    EXPECT_TRUE(order.empty()) << "nothing runs on the thread that asks";
    core().serviceCalls();
    EXPECT_EQ((std::vector<int>{1, 2}), order);
    EXPECT_EQ(std::this_thread::get_id(), ranOn);
}

TEST_F(ClientCoreTest, StartupReportsAGameWithoutLocalPathOnlyWhenTheShellDrains) {
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    RecentMemoryBufferChannel::Instance().Clear();
    ClientCore::StartWithGameId(quietSettings(), &strictListener, GAME_ID, "");

    // The group has run, and after the library load the directory-privileges
    // task has made the placeholder playable offline; their results wait in the
    // queue: nothing reached the listener.
    ASSERT_TRUE(WaitFor([] { return Access::pendingNotifications() == 3; }));
    ::testing::Mock::VerifyAndClearExpectations(&strictListener);

    InitializationData data;
    APIStatusResult status;
    // The placeholder's change comes from the installer subsystem, in no fixed
    // order with the start-up group's results.
    ::testing::Sequence group;
    EXPECT_CALL(strictListener, onAPIStatusChanged(_)).InSequence(group).WillOnce(SaveArg<0>(&status));
    EXPECT_CALL(strictListener, onCoreInitialized(_)).InSequence(group).WillOnce(SaveArg<0>(&data));
    EXPECT_CALL(strictListener, onProductStateChanged(GAME_ID, EProductState::Offline));
    core().serviceCalls();
    EXPECT_EQ(APIStatusResult::STATUS_OFFLINE, status.status);
    EXPECT_EQ(3600, status.interval);
    EXPECT_EQ(InitializationData::RESULT_PRODUCT_UNUSABLE, data.result);
    EXPECT_EQ(GAME_ID, data.selectedGameId);
    EXPECT_EQ(APIStatusResult::STATUS_OFFLINE, data.apiStatus);
    EXPECT_TRUE(data.userName.empty());
    // The library load added the launched game as a placeholder without a local path.
    Poco::SharedPtr<ProductInfo> placeholder = core().findProduct(GAME_ID);
    ASSERT_FALSE(placeholder.isNull());
    EXPECT_EQ(EProductState::Offline, placeholder->getProductState());
    EXPECT_THAT(RecentMemoryBufferChannel::Instance().getContents(),
                ::testing::HasSubstr("Failed checking product local path; launch failed"));
    ClientCore::Shutdown();
}

TEST_F(ClientCoreTest, InitializationDependsOnTheLoadedProductAndItsLocalPath) {
    struct Case {
        const char* name;
        bool loadFailed;
        std::vector<Poco::SharedPtr<ProductInfo>> products;
        int32_t expectedResult;
    };
    // Applied in order: a failed load keeps the previous (empty) list.
    const Case cases[] = {
        {"failed load", true, {makeProduct(GAME_ID, "/games/a")}, InitializationData::RESULT_PRODUCT_UNUSABLE},
        {"only a prefix of the id", false, {makeProduct("120765892", "/games/a")},
         InitializationData::RESULT_PRODUCT_UNUSABLE},
        {"no local path", false, {makeProduct("1", "/games/b"), makeProduct(GAME_ID, "")},
         InitializationData::RESULT_PRODUCT_UNUSABLE},
        {"ready", false, {makeProduct("1", "/games/b"), makeProduct(GAME_ID, "/games/a")},
         InitializationData::RESULT_READY},
    };
    startAndSettle(listener);
    for (const Case& c : cases) {
        ProductsLoaded_Result loaded;
        loaded.failed = c.loadFailed;
        loaded.products = c.products;
        core().handleProductsLoadedFromIndex(nullptr, loaded);
        EXPECT_EQ(c.expectedResult, initializeAgain().result) << c.name;
    }
}

TEST_F(ClientCoreTest, ProductLookupsMatchTheExactGameId) {
    startAndSettle(listener);
    ProductsLoaded_Result loaded;
    loaded.products = {makeProduct("12", "/games/b", EProductState::Updating), makeProduct("1", "/games/a")};
    core().handleProductsLoadedFromIndex(nullptr, loaded);

    EXPECT_EQ(loaded.products[1], core().findProduct("1"));
    EXPECT_TRUE(core().findProduct("123").isNull());
    EXPECT_TRUE(core().findProduct("").isNull());

    Poco::SharedPtr<ProductPresentationData> snapshot = core().getProductPresentationData("12");
    ASSERT_FALSE(snapshot.isNull());
    EXPECT_EQ("12", snapshot->gameId);
    EXPECT_EQ(EProductState::Updating, snapshot->state);
    EXPECT_TRUE(core().getProductPresentationData("2").isNull());

    std::vector<Poco::SharedPtr<ProductInfo>> all = {makeProduct("stale", "")};
    core().getAllProducts(all);
    EXPECT_EQ(loaded.products, all);
}

TEST_F(ClientCoreTest, TalkIntervalPacesUpdateChecksNoMoreOftenThanEveryTenMinutes) {
    struct Case {
        int32_t status;
        int64_t interval;
        int64_t expectedInterval;
        long expectedPeriodMs;
    };
    // Applied in order on one engine; the timer starts at 3600 s.
    const Case cases[] = {
        {1, 3600, 3600, 3600000},   // equal to the period: left alone
        {2, 300, 600, 600000},      // raised to the floor
        {1, 600, 600, 600000},
        {1, 7200, 7200, 7200000},
        {2, 0, 600, 600000},
        {1, -5, 600, 600000},
        {1, 9223372036854775807LL, 31536000, 31536000000L},  // capped, never overflowing
    };
    startAndSettle(listener);
    for (const Case& c : cases) {
        APIStatusResult result;
        result.status = c.status;
        result.gamecardEndpoint = "cards";
        result.interval = c.interval;
        EXPECT_CALL(listener, onAPIStatusChanged(::testing::AllOf(Field(&APIStatusResult::status, c.status),
                                                                  Field(&APIStatusResult::gamecardEndpoint, "cards"),
                                                                  Field(&APIStatusResult::interval,
                                                                        c.expectedInterval))));
        core().handleAPIStatusResult(nullptr, result);
        EXPECT_EQ(c.expectedInterval, result.interval) << c.interval;
        EXPECT_EQ(c.expectedPeriodMs, Access::updateCheckTimer().periodMs) << c.interval;
        EXPECT_EQ(c.status == APIStatusResult::STATUS_ONLINE, core().isAPIOnline());
        core().serviceCalls();
        ::testing::Mock::VerifyAndClearExpectations(&listener);
    }
    EXPECT_EQ(APIStatusResult::STATUS_ONLINE, initializeAgain().apiStatus);
}

TEST_F(ClientCoreTest, OnlyASuccessfulSignInChangesTheUser) {
    startAndSettle(listener);
    SignInResult success;
    success.status = SignInResult::STATUS_SUCCESS;
    success.userName = "Zo\xC3\xAB";
    success.avatar = "https://avatars/z.png";
    SignInResult failure;
    failure.status = SignInResult::STATUS_FAILURE;
    failure.userName = "someone else";

    {
        ::testing::InSequence order;
        EXPECT_CALL(listener, onSignedIn(Field(&SignInResult::userName, "Zo\xC3\xAB")));
        EXPECT_CALL(listener, onSignInFailed(testing::_));
    }
    core().handleSignInResult(nullptr, success);
    core().handleSignInResult(nullptr, failure);
    core().serviceCalls();
    ::testing::Mock::VerifyAndClearExpectations(&listener);

    InitializationData data = initializeAgain();
    EXPECT_EQ(L"Zo\u00EB", data.userName);
    EXPECT_EQ(L"https://avatars/z.png", data.avatar);
}

TEST_F(ClientCoreTest, EndOfAuthenticationReachesTheRunningTasksAndTheListener) {
    startAndSettle(strictListener);
    FakeTask::Ptr install = new FakeTask("InstallProductTask", "1", true);
    FakeTask::Ptr signIn = new FakeTask("GetTokenAndUserDetailsTask", "", true);
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(install));
    ASSERT_TRUE(Access::shortSubSystem().pushUniqueTask(signIn));
    ASSERT_TRUE(WaitFor([&] { return install->started && signIn->started; }));

    // Asking the engine to sign out does nothing by itself.
    core().signOut();
    core().serviceCalls();

    {
        ::testing::InSequence order;
        EXPECT_CALL(strictListener, onSignedOut());
        EXPECT_CALL(strictListener, onAuthLost());
    }
    Poco::EventArgs args;
    core().handleSignOut(nullptr, args);
    core().handleAuthLost(nullptr, args);
    EXPECT_EQ(2, install->authLostCalls);
    EXPECT_EQ(2, signIn->authLostCalls);
    core().serviceCalls();
    install->letFinish();
    signIn->letFinish();
}

TEST_F(ClientCoreTest, NotificationsQueuedDuringDispatchWaitForTheNextDrain) {
    startAndSettle(strictListener);
    Poco::EventArgs args;
    EXPECT_CALL(strictListener, onSignedOut()).WillOnce(Invoke([&] { core().handleAuthLost(nullptr, args); }));
    core().handleSignOut(nullptr, args);
    core().serviceCalls();
    ::testing::Mock::VerifyAndClearExpectations(&strictListener);

    EXPECT_CALL(strictListener, onAuthLost());
    core().serviceCalls();
}

TEST_F(ClientCoreTest, ASlowListenerDoesNotHoldTheQueue) {
    startAndSettle(listener);
    Poco::Event listenerMayReturn;
    std::atomic<bool> inListener{false};
    EXPECT_CALL(listener, onSignedOut()).WillOnce(Invoke([&] {
        inListener = true;
        listenerMayReturn.wait();
    }));
    Poco::EventArgs args;
    core().handleSignOut(nullptr, args);
    std::thread drain([] { core().serviceCalls(); });
    ASSERT_TRUE(WaitFor([&] { return inListener.load(); }));

    std::atomic<bool> queued{false};
    std::thread producer([&] {
        Poco::EventArgs producerArgs;
        core().handleAuthLost(nullptr, producerArgs);
        queued = true;
    });
    const bool queuedWhileListenerBusy = WaitFor([&] { return queued.load(); });
    listenerMayReturn.set();
    producer.join();
    drain.join();
    EXPECT_TRUE(queuedWhileListenerBusy);

    EXPECT_CALL(listener, onAuthLost());
    core().serviceCalls();
}

TEST_F(ClientCoreTest, ShutdownResponseArrivesOnlyAfterTheRunningInstallReturns) {
    startAndSettle(strictListener);
    FakeTask::Ptr install = new FakeTask("InstallProductTask", "1", true, false);
    FakeTask::Ptr queuedInstall = new FakeTask("InstallProductTask", "2");
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(install));
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(queuedInstall));
    ASSERT_TRUE(WaitFor([&] { return install->started.load(); }));

    ClientCore::RequestShutdown();
    EXPECT_EQ(1, install->abortCalls);
    // The install is still in its work: no response can be queued yet.
    core().serviceCalls();
    EXPECT_EQ(0, Access::pendingNotifications());

    // The short subsystem keeps running while the engine shuts down.
    FakeTask::Ptr statusCheck = new FakeTask("CheckAPIStatusTask");
    ASSERT_TRUE(Access::shortSubSystem().pushUniqueTask(statusCheck));
    ASSERT_TRUE(WaitFor([&] { return statusCheck->finished.load(); }));

    bool installHadReturned = false;
    std::atomic<bool> responded{false};
    EXPECT_CALL(strictListener, onShutdownRequest()).WillOnce(Invoke([&] {
        installHadReturned = install->finished;
        responded = true;
    }));
    install->letFinish();
    ASSERT_TRUE(drainUntil([&] { return responded.load(); }));
    EXPECT_TRUE(installHadReturned);
    EXPECT_FALSE(queuedInstall->started);

    ClientCore::Shutdown();
    EXPECT_FALSE(ClientCore::isStarted());
}

TEST_F(ClientCoreTest, ShutdownRequestOnAnIdleInstallerIsAnsweredPromptly) {
    startAndSettle(strictListener);
    std::atomic<bool> responded{false};
    EXPECT_CALL(strictListener, onShutdownRequest()).WillOnce(Invoke([&] { responded = true; }));
    ClientCore::RequestShutdown();
    EXPECT_TRUE(drainUntil([&] { return responded.load(); }));
}


TEST_F(ClientCoreTest, AbortingAnInstallKeepsTheInstallerServingAndShutdownIsAnsweredEachTime) {
    startAndSettle(listener);
    FakeTask::Ptr install = new FakeTask("InstallProductTask", "1", true);
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(install));
    ASSERT_TRUE(WaitFor([&] { return install->started.load(); }));
    core().abortInstallProductAsync();
    EXPECT_EQ(1, install->abortCalls);

    FakeTask::Ptr updateCheck = new FakeTask("CheckForUpdatesToManifestsTask");
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(updateCheck));
    EXPECT_TRUE(WaitFor([&] { return updateCheck->finished.load(); }));

    std::atomic<int> responses{0};
    EXPECT_CALL(listener, onShutdownRequest()).Times(2).WillRepeatedly(Invoke([&] { ++responses; }));
    ClientCore::RequestShutdown();
    ASSERT_TRUE(drainUntil([&] { return responses == 1; }));
    // The installer has stopped for good: a repeated request is answered at once.
    ClientCore::RequestShutdown();
    EXPECT_EQ(1, Access::pendingNotifications());
    ASSERT_TRUE(drainUntil([&] { return responses == 2; }));
}

TEST_F(ClientCoreTest, UpdateCheckResultsResumeOrScheduleInstallsByStateAndCode) {
    startAndSettle(listener);
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    const auto product = [](const std::string& gameId, EProductState state, const tRevisionList& revisions,
                            const std::string& language) {
        Poco::SharedPtr<ProductInfo> made = makeProduct(gameId, "/games/" + gameId, state);
        made->setRevisionList(revisions);
        made->setLanguage(language);
        return made;
    };
    ProductsLoaded_Result loaded;
    loaded.products = {product("10", EProductState::Updating, {"10"}, "en"),
                       product("20", EProductState::UpdatingUnplayable, {"20"}, "fr"),
                       product("30", EProductState::Installed, {"30"}, "en"),
                       product("40", EProductState::Offline, {"40"}, "en"),
                       product("50", EProductState::Installed, {"50"}, "en"),
                       product("60", EProductState::OfflineUnplayable, {}, ""),
                       product("70", EProductState::Installing, {}, ""),
                       product("80", EProductState::Installing, {}, "")};
    loaded.products[0]->setTargetIdentification(new ProductIdentification("10", 7, {"10", "11"}, "de"));
    // First installs that failed before anything was selected, with and without a target.
    loaded.products[7]->setTargetIdentification(new ProductIdentification("80", 7, {}, "en"));
    core().handleProductsLoadedFromIndex(nullptr, loaded);
    // Scheduled installs wait behind this task and never run: the engine is
    // shut down first.
    FakeTask::Ptr blocker = new FakeTask("Blocker", "", true);
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(blocker));
    ASSERT_TRUE(WaitFor([&] { return blocker->started.load(); }));

    struct Case {
        EManifestUpdateCode code;
        const char* gameId;
        // The selection scheduled, as logged; "" when nothing may be.
        const char* scheduled;
    };
    const Case cases[] = {
        {EManifestUpdateCode::CheckFailed, "10", ""},
        {EManifestUpdateCode::UpToDate, "10", "gid '10' (language 'de' manifestTimestamp '0' revisions '10 11')"},
        {EManifestUpdateCode::UpToDate, "20", "gid '20' (language 'fr' manifestTimestamp '0' revisions '20')"},
        {EManifestUpdateCode::UpdateNeeded, "30", "gid '30' (language 'en' manifestTimestamp '0' revisions '30')"},
        {EManifestUpdateCode::UpToDate, "40", "gid '40' (language 'en' manifestTimestamp '0' revisions '40')"},
        {EManifestUpdateCode::UpToDate, "50", ""},
        // A launched game that was never installed: nothing to update.
        {EManifestUpdateCode::UpToDate, "60", ""},
        {EManifestUpdateCode::UpdateNeeded, "60", ""},
        {EManifestUpdateCode::UpToDate, "70", ""},
        {EManifestUpdateCode::UpdateNeeded, "80", ""},
        {EManifestUpdateCode::UpdateNeeded, "99", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gameId);
        RecentMemoryBufferChannel::Instance().Clear();
        core().proceedWithUpdate(c.code, c.gameId);
        const std::string log = RecentMemoryBufferChannel::Instance().getContents();
        EXPECT_EQ(std::string(c.scheduled).empty(), log.find("Install scheduled for") == std::string::npos);
        if (*c.scheduled != '\0') {
            EXPECT_THAT(log, ::testing::HasSubstr(std::string("Install scheduled for ") + c.scheduled));
        }
    }
    const std::string log = RecentMemoryBufferChannel::Instance().getContents();
    EXPECT_THAT(log, ::testing::HasSubstr("No update of game 99"));
    core().proceedWithUpdate(EManifestUpdateCode::UpToDate, "20");
    EXPECT_THAT(RecentMemoryBufferChannel::Instance().getContents(),
                ::testing::HasSubstr("because product state is UpdatingUnplayable; current: gid '20' (language 'fr' "
                                     "manifestTimestamp '0' revisions '20'), remote: -"));
}

TEST_F(ClientCoreTest, ExternallyInstalledGamesAreAddedToTheIndexOneEntryAtATime) {
    startAndSettle(listener);
    const std::string path = sandbox.path("games/other");
    Poco::File(path).createDirectories();
    const auto indexed = [] {
        std::vector<std::string> gameIds;
        StorageDBSerializer::Products index;
        StorageDBSerializer::DeserializeIndex(index);
        for (const Poco::SharedPtr<ProductInfo>& product : index) gameIds.push_back(product->getGameId());
        return gameIds;
    };

    EXPECT_FALSE(core().ProductInstalledExternally("77", sandbox.path("games/missing"), false));
    EXPECT_TRUE(core().ProductInstalledExternally("77", path, false));
    EXPECT_FALSE(core().ProductInstalledExternally("77", path, true)) << "already installed";
    EXPECT_EQ((std::vector<std::string>{GAME_ID, "77"}), indexed());

    EXPECT_TRUE(core().ProductUninstalledExternally("77"));
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath("77")).exists());
    EXPECT_EQ(std::vector<std::string>{GAME_ID}, indexed());

    for (bool force : {false, true}) {
        SCOPED_TRACE(force);
        // A format this client does not know: the read fails and the index is made anew.
        Poco::Data::Session index("SQLite", StorageDBSerializer::getIndexDBPath());
        index << "UPDATE DBInfo SET version = 99", Poco::Data::Keywords::now;
        EXPECT_EQ(force, core().ProductInstalledExternally("78", path, force));
    }
    EXPECT_EQ(std::vector<std::string>{"78"}, indexed());
}

TEST_F(ClientCoreTest, ReloadReplacesTheProductWithWhatTheDatabasesHoldUntilShutdown) {
    startAndSettle(listener);
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    const auto store = [](EProductState state) {
        Poco::SharedPtr<ProductInfo> product = makeProduct("55", "", state);
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(product.get()));
        ASSERT_TRUE(StorageDBSerializer::UpdateProductInIndex(product.get()));
    };
    store(EProductState::Installed);
    core().handleReloadProductInfo(nullptr, "55");
    Poco::SharedPtr<ProductInfo> first = core().findProduct("55");
    ASSERT_FALSE(first.isNull()) << "a product the engine did not hold is appended";
    EXPECT_THAT(RecentMemoryBufferChannel::Instance().getContents(),
                ::testing::HasSubstr(
                    "Product 55 not found in ClientCore products during handleReloadProductInfo; inserting"));
    EXPECT_EQ(EProductState::Installed, first->getProductState());

    store(EProductState::Updating);
    core().handleReloadProductInfo(nullptr, "55");
    EXPECT_EQ(EProductState::Updating, core().findProduct("55")->getProductState());
    EXPECT_EQ(EProductState::Installed, first->getProductState()) << "holders keep the older record";

    store(EProductState::Installed);
    ClientCore::RequestShutdown();
    core().handleReloadProductInfo(nullptr, "55");
    EXPECT_EQ(EProductState::Updating, core().findProduct("55")->getProductState());
}

TEST_F(ClientCoreTest, TheUpdateCheckTellsANeverInstalledGameWhatItOffers) {
    startAndSettle(listener);
    ProductsLoaded_Result loaded;
    loaded.products = {makeProduct("10", "/games/10", EProductState::OfflineUnplayable),
                       makeProduct("20", "/games/20", EProductState::Installed)};
    loaded.products[1]->getAvailableGameIDs() = {AvailableGameIDInfo("20", true)};
    core().handleProductsLoadedFromIndex(nullptr, loaded);
    // The check reports on the installer's thread: this test stands in for it
    // once the installer has finished with the products and waits.
    FakeTask::Ptr blocker = new FakeTask("Blocker", "", true);
    ASSERT_TRUE(Access::installerSubSystem().pushUniqueTask(blocker));
    ASSERT_TRUE(WaitFor([&] { return blocker->started.load(); }));
    EXPECT_CALL(listener, onManifestUpdateCheckResults(testing::_, testing::_)).Times(testing::AnyNumber());

    for (const char* gameId : {"10", "20"}) {
        ProductUpdateCheckResultStruct result;
        result.gameId = gameId;
        result.availableGameIds = {AvailableGameIDInfo(gameId, true), AvailableGameIDInfo("99", false)};
        result.availableLanguages.add_unique(LanguageInfo("en"));
        core().handleCheckForManifestUpdate(nullptr, result);
    }
    const Poco::SharedPtr<ProductPresentationData> fresh = core().getProductPresentationData("10");
    ASSERT_EQ(2u, fresh->availableGameIds.size());
    EXPECT_EQ("99", fresh->availableGameIds[1].gameId);
    ASSERT_EQ(1u, fresh->availableLanguages.size());
    // An installed game keeps what its install recorded.
    EXPECT_EQ(1u, core().getProductPresentationData("20")->availableGameIds.size());
}

}  // namespace
}  // namespace VantisClient
