#include <string>

#include <Poco/Delegate.h>
#include <Poco/File.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "core/ClientCore.h"
#include "core/FixDirectoryPrivilegesTask.h"
#include "core/MockClientListener.h"
#include "storage/StorageDBSerializer.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"
#include "net/HostProvider.h"

using namespace VantisClient;

namespace {

using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;

const char* const GAME_ID = "1207658924";
const char* const OTHER_GAME_ID = "42";

class FixDirectoryPrivilegesTaskTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        // The start-up group's status check finds nobody there: offline.
        VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        RecentMemoryBufferChannel::Instance().Clear();
    }
    void TearDown() override {
        if (ClientCore::isStarted()) ClientCore::Shutdown();
    }

    ProductInfo::Ptr product(const std::string& gameId, EProductState state) {
        ProductInfo::Ptr made = new ProductInfo;
        made->setGameId(gameId);
        made->setLocalPath(sandbox.path("Games/" + gameId));
        made->setProductState(state, false);
        Poco::File(made->getLocalPath()).createDirectories();
        return made;
    }
    static EProductState indexedState(const std::string& gameId) {
        StorageDBSerializer::Products indexed;
        EXPECT_TRUE(StorageDBSerializer::DeserializeIndex(indexed));
        for (const ProductInfo::Ptr& entry : indexed) {
            if (entry->getGameId() == gameId) return entry->getProductState();
        }
        return EProductState::None;
    }

    const EngineSettings settings = EngineSettings::OfThisUser();
    NiceMock<VantisTest::MockClientListener> listener{GAME_ID, sandbox.path("Games/" + std::string(GAME_ID))};
};

TEST_F(FixDirectoryPrivilegesTaskTest, LibraryLoadMakesOnlyUnplayableGamesPlayableOffline) {
    StorageDBSerializer::Start(settings.storagePath);
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex(
        {product(GAME_ID, EProductState::OfflineUnplayable), product(OTHER_GAME_ID, EProductState::Installed)}));

    bool initialized = false;
    bool changed = false;
    EXPECT_CALL(listener, onCoreInitialized(_)).WillOnce(Invoke([&] { initialized = true; }));
    EXPECT_CALL(listener, onProductStateChanged(GAME_ID, EProductState::Offline)).WillOnce(Invoke([&] {
        changed = true;
    }));
    EXPECT_CALL(listener, onProductStateChanged(OTHER_GAME_ID, _)).Times(0);
    ClientCore::StartWithGameId(settings, &listener, GAME_ID, "");
    ASSERT_TRUE(VantisTest::WaitFor([&] {
        ClientCore::instance()->serviceCalls();
        return initialized && changed;
    }));

    EXPECT_EQ(EProductState::Offline, ClientCore::instance()->findProduct(GAME_ID)->getProductState());
    EXPECT_EQ(EProductState::Installed, ClientCore::instance()->findProduct(OTHER_GAME_ID)->getProductState());
    EXPECT_EQ(EProductState::Offline, indexedState(GAME_ID));
    EXPECT_EQ(EProductState::Installed, indexedState(OTHER_GAME_ID));
    const std::string lines = RecentMemoryBufferChannel::Instance().getContents();
    EXPECT_NE(std::string::npos, lines.find("Starting ClientTask: FixDirectoryPrivilegesTask"));
}

TEST_F(FixDirectoryPrivilegesTaskTest, RunWithoutAnEngineChangesNothing) {
    struct Counter {
        int events = 0;
        void onChange(const void*, ProductStateChangedStruct&) { ++events; }
    } counter;
    FixDirectoryPrivilegesTask::Ptr task = new FixDirectoryPrivilegesTask();
    task->productStateChangedEvent += Poco::delegate(&counter, &Counter::onChange);
    task->doWork();
    task->productStateChangedEvent -= Poco::delegate(&counter, &Counter::onChange);
    EXPECT_EQ(0, counter.events);
    EXPECT_STREQ("FixDirectoryPrivilegesTask", task->GetStrId());
}

}  // namespace
