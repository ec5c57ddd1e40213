#include <memory>
#include <string>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "bridge/GameViewResolver.h"
#include "net/HttpManager.h"
#include "platform/INetworkReachability.h"
#include "platform/Platform.h"
#include "support/DeliveryLoop.h"

using VantisClient::GameViewResolver;

namespace {

class FixedReachability : public VantisClient::INetworkReachability {
public:
    explicit FixedReachability(bool online) : m_online(online) {}
    bool isInternetReachable() override { return m_online; }

private:
    bool m_online;
};

class GameViewResolverTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        startBackend();
        VantisClient::HttpManager::Instance();
    }

    std::string pageOf(const std::string& gameId) const {
        return "http://127.0.0.1:" + std::to_string(server->webPort()) + "/gameview/dist/" + gameId + "/index.html";
    }

    VantisTest::DeliveryLoop loop;
};

enum class Cache { None, EntryPage, DirectoryInItsPlace };

}  // namespace

TEST_F(GameViewResolverTest, TheRemotePageWhenItAnswersElseTheCacheElseTheFallback) {
    const std::string gameId = VantisTest::SampleGame::BASE_ID;
    const std::string offered = pageOf(gameId);
    const std::string unknown = pageOf("1");
    const std::string unreachable = "http://127.0.0.1:1/gameview/dist/" + gameId + "/index.html";
    struct Case {
        bool online;
        std::string page;
        Cache cache;
        int action;
    } cases[] = {
        {true, offered, Cache::EntryPage, GameViewResolver::REMOTE_PAGE},
        {true, offered, Cache::None, GameViewResolver::REMOTE_PAGE},
        {true, unknown, Cache::EntryPage, GameViewResolver::WEB_CACHE},
        {true, unknown, Cache::None, GameViewResolver::FALLBACK_PAGE},
        {true, unknown, Cache::DirectoryInItsPlace, GameViewResolver::FALLBACK_PAGE},
        {true, unreachable, Cache::EntryPage, GameViewResolver::WEB_CACHE},
        {true, "not an address %zz", Cache::None, GameViewResolver::FALLBACK_PAGE},
        {false, offered, Cache::None, GameViewResolver::FALLBACK_PAGE},
        {false, offered, Cache::EntryPage, GameViewResolver::WEB_CACHE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.online ? "online, " : "offline, ") + c.page);
        VantisClient::Platform::SetNetworkReachability(std::make_shared<FixedReachability>(c.online));
        Poco::File webcache(sandbox.path("WebCache"));
        if (webcache.exists()) webcache.remove(true);
        if (c.cache == Cache::EntryPage) sandbox.writeFile("WebCache/" + gameId + "/index.html", "<html></html>");
        if (c.cache == Cache::DirectoryInItsPlace) Poco::File(sandbox.path("WebCache/" + gameId + "/index.html")).createDirectories();
        EXPECT_EQ(c.action, GameViewResolver::GetGameViewAction(gameId, c.page));
    }
}
