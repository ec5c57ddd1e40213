#include "EngineFixture.h"

#include <filesystem>
#include <map>

#include <Poco/JSON/Array.h>
#include <Poco/StringTokenizer.h>

#include "CatalogueFixture.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "net/HostProvider.h"
#include "net/HttpManager.h"
#include "pack/PackDescription.h"
#include "pack/Packer.h"
#include "support/WaitFor.h"

namespace VantisTest {

using namespace VantisClient;
namespace fs = std::filesystem;

namespace {

// Everything below `root` by relative path: files by whether they may be run and
// their bytes, links by their target, empty directories as such.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (entry.is_symlink()) {
            tree[relative] = "-> " + fs::read_symlink(entry.path()).generic_string();
        } else if (entry.is_directory() && fs::is_empty(entry.path())) {
            tree[relative] = "(empty directory)";
        } else if (entry.is_regular_file()) {
            const bool runnable = (entry.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
            tree[relative] = (runnable ? "runnable " : "") + ReadFileBytes(entry.path().string());
        }
    }
    return tree;
}

bool IsAddedByTheStore(const std::string& relative) {
    return relative.rfind(".zorvgame-", 0) == 0 || relative.rfind("__redist/", 0) == 0;
}

}  // namespace

void EngineTest::SetUp() {
    BackendTest::SetUp();
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    startBackend();
    // The start-up status check meets a closed port: installs do not need it.
    API_STATUS_ENDPOINT_HOST = "127.0.0.1:1";
    preferences.reset(new UserPreferences);
    ClientCore::StartWithGameId(preferences.get(), &listener, SampleGame::BASE_ID, "");
    ASSERT_TRUE(drainUntil([this] { return listener.initialized; }));
    connect();
    resetServed();
}

void EngineTest::TearDown() {
    // The client leaves before the backend stops, so that none of its connections is still served then.
    if (ClientCore::isStarted()) ClientCore::Shutdown();
    BackendTest::TearDown();
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

void EngineTest::repack(int64_t timestamp) {
    Pack::PackDescription description;
    std::string error;
    ASSERT_TRUE(Pack::PackDescription::Parse(ReadFileBytes(sandbox.path("input/game.json")), description, error));
    description.timestamp = timestamp;
    Pack::PackSummary summary;
    ASSERT_TRUE(Pack::Packer(description, sandbox.path("input"), catalogue()).pack(summary, error)) << error;
}

uint64_t EngineTest::objectBytesServed() {
    uint64_t bytes = 0;
    Poco::JSON::Array::Ptr entries = control("GET", "served").json()->getArray("served");
    for (size_t i = 0; i < entries->size(); ++i) {
        Poco::JSON::Object::Ptr entry = entries->getObject(static_cast<unsigned>(i));
        const std::string path = entry->getValue<std::string>("path");
        const std::string range = entry->getValue<std::string>("range");
        if (path.find("/objects/") == std::string::npos || range.empty()) continue;
        // "bytes=<first>-<last>"
        Poco::StringTokenizer bounds(range.substr(range.find('=') + 1), "-");
        bytes += std::stoull(bounds[1]) - std::stoull(bounds[0]) + 1;
    }
    return bytes;
}

void EngineTest::resetServed() { ASSERT_EQ(200, control("DELETE", "served").status); }

void EngineTest::expectInstalledAsTheSource(const std::string& language, bool withDlc) {
    std::map<std::string, std::string> expected = Tree(sandbox.path("input/base/common"));
    for (const auto& entry : Tree(sandbox.path("input/base/" + language))) expected.insert(entry);
    if (withDlc) {
        for (const auto& entry : Tree(sandbox.path("input/dlc/common"))) expected.insert(entry);
    }
    std::map<std::string, std::string> installed = Tree(installDirectory());
    for (auto it = installed.begin(); it != installed.end();) {
        it = IsAddedByTheStore(it->first) ? installed.erase(it) : std::next(it);
    }
    ASSERT_EQ(expected.size(), installed.size());
    for (const auto& entry : expected) {
        SCOPED_TRACE(entry.first);
        auto found = installed.find(entry.first);
        ASSERT_NE(installed.end(), found);
        EXPECT_TRUE(entry.second == found->second) << "contents differ";
    }
}

}  // namespace VantisTest
