#include "EngineFixture.h"

#include "CatalogueFixture.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "net/HostProvider.h"
#include "net/HttpManager.h"
#include "support/WaitFor.h"

namespace VantisTest {

using namespace VantisClient;

void EngineTest::SetUp() {
    GameBackendTest::SetUp();
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    startBackend();
    // The start-up status check meets a closed port: installs do not need it.
    VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &listener, SampleGame::BASE_ID, "");
    ASSERT_TRUE(drainUntil([this] { return listener.initialized; }));
    connect();
    resetServed();
}

void EngineTest::TearDown() {
    // The client leaves before the backend stops, so that none of its connections is still served then.
    if (ClientCore::isStarted()) ClientCore::Shutdown();
    GameBackendTest::TearDown();
}

void EngineTest::connect(const std::string& user, const std::string& password) {
    HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
    HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
    ProblemReporter::Instance().setEndpoint("http://" + server->context().webAuthority() + "/problem.php");
    HttpManager::Instance()->signInWithPassword(user, password);
    ASSERT_TRUE(WaitFor([] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
}

bool EngineTest::drainUntil(const std::function<bool()>& condition, int timeoutMs) {
    return WaitFor(
        [&] {
            core().serviceCalls();
            return condition();
        },
        timeoutMs);
}

EInstallResult EngineTest::install(const tRevisionList& revisions, const std::string& language) {
    EXPECT_TRUE(schedule([&] { return core().installProductAsync(SampleGame::BASE_ID, revisions, language); }));
    return nextResult();
}

bool EngineTest::schedule(const std::function<bool()>& request) {
    // A task that has reported its result may still be returning.
    return WaitFor(request);
}

EInstallResult EngineTest::nextResult() {
    const size_t before = listener.results.size();
    listener.statuses.clear();
    EXPECT_TRUE(drainUntil([&] { return listener.results.size() > before; }));
    return listener.results.size() > before ? listener.results.back() : EInstallResult::Success;
}

EManifestUpdateCode EngineTest::checkForUpdates() {
    listener.updateChecks.clear();
    core().checkForUpdatesToManifests();
    EXPECT_TRUE(drainUntil([&] { return !listener.updateChecks.empty(); }));
    if (listener.updateChecks.empty()) return EManifestUpdateCode::CheckFailed;
    EXPECT_EQ(SampleGame::BASE_ID, listener.updateChecks.front().second);
    return listener.updateChecks.front().first;
}

}  // namespace VantisTest
