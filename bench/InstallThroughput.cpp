// Measures the install phase the way an install task runs it: signs in,
// selects the game's depots, then times the synchronizer merging the remote
// definition, scanning, downloading (parts in flight as "partsInFlight" in
// Config.json of VANTIS_HOME says) and moving the files into place. Answers
// are delivered on a loop thread woken by each completion, as in the engine.
// Prints wall seconds, CPU seconds (user+sys) and the peak RSS, after checking
// that the install directory holds exactly the manifest's files and bytes.
// Run by bench/install-throughput, next to curl fetching the same ranges.
//   vantis-bench-install <api-authority> <web-authority> <game-id> <user> <password> <install-root>
// The install root must not exist yet.
#include <sys/resource.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include <Poco/DirectoryIterator.h>
#include <Poco/Event.h>
#include <Poco/File.h>

#include "common/ApplicationEnvironment.h"
#include "common/EngineSettings.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/Utilities.h"
#include "common/json/Serializer.h"
#include "install/DepotSelector.h"
#include "install/ProductFilesSynchronizer.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"
#include "net/HttpManager.h"
#include "net/HttpTasks.h"

#include "DiscardingCallback.h"

using namespace VantisClient;

namespace {

const long LOOP_PAUSE_MS = 50;

// Delivers the HTTP manager's answers while it lives, as the engine's loop does.
class DeliveryLoop {
public:
    DeliveryLoop() : m_thread([this] { run(); }) {
        HttpManager::Instance()->setCompletionHook([this] { m_woken.set(); });
    }
    ~DeliveryLoop() {
        HttpManager::Instance()->setCompletionHook(nullptr);
        m_stop = true;
        m_woken.set();
        m_thread.join();
    }

private:
    void run() {
        while (!m_stop) {
            m_woken.tryWait(LOOP_PAUSE_MS);
            HttpManager::ProcessDataThread();
        }
    }

    Poco::Event m_woken;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

bool signIn(const std::string& user, const std::string& password) {
    HttpManager* manager = HttpManager::Instance();
    manager->signInWithPassword(user, password);
    for (int i = 0; i < 200 && manager->getSignInState() == HttpManager::SIGNING_IN; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(LOOP_PAUSE_MS));
    }
    return manager->getSignInState() == HttpManager::SIGNED_IN;
}

// The definition with the game's depots selected, for the base game in English.
Poco::SharedPtr<RemoteProductDefinition> selectDepots(const std::string& gameId, const AbortSignal::Ptr& abort) {
    Poco::SharedPtr<RemoteProductDefinition> definition = new RemoteProductDefinition(gameId, {gameId}, "en", false);
    bool notFound = false;
    const std::string manifest = Http::Tasks::getManifestContents(gameId, notFound, abort);
    DepotSelector::Depots depots;
    if (manifest.empty() || !Serializer::DeserializeFromBuffer(*definition, manifest, Serializer::JSON) ||
        !DepotSelector(definition, abort).deserializeDepotsSelectively(depots)) {
        return nullptr;
    }
    return definition;
}

struct Usage {
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

Usage usageNow() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

struct Tally {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

// Regular files below `path`; links and directories are not counted.
void tallyTree(const Poco::File& directory, Tally& tally) {
    for (Poco::DirectoryIterator it(directory), end; it != end; ++it) {
        if (it->isLink()) continue;
        if (it->isDirectory()) {
            tallyTree(*it, tally);
        } else if (it->isFile()) {
            ++tally.files;
            tally.bytes += it->getSize();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: %s <api-authority> <web-authority> <game-id> <user> <password> <install-root>\n",
                     argv[0]);
        return 2;
    }
    const std::string apiAuthority = argv[1];
    const std::string gameId = argv[3];
    const std::string root = argv[6];
    if (Poco::File(root).exists()) {
        std::fprintf(stderr, "%s exists; every run installs into a fresh directory\n", root.c_str());
        return 2;
    }
    Logger::Start("VantisClient", Utilities::AppendPath(ApplicationEnvironment::GetLogsPath(), "VantisClient.log"));
    ProblemReporter::Instance().setEndpoint("http://" + std::string(argv[2]) + "/problem.php");
    HttpManager::Instance()->getHostProvider()->setHost("auth", apiAuthority);
    HttpManager::Instance()->getHostProvider()->setHost("products", apiAuthority);

    int status = 1;
    {
        DeliveryLoop loop;
        AbortSignal::Ptr abort = new AbortSignal;
        Poco::SharedPtr<RemoteProductDefinition> definition;
        if (!signIn(argv[4], argv[5])) {
            std::fprintf(stderr, "could not sign in as %s\n", argv[4]);
        } else if ((definition = selectDepots(gameId, abort)).isNull()) {
            std::fprintf(stderr, "could not select the depots of game %s\n", gameId.c_str());
        } else {
            ProductInfo::Ptr product = new ProductInfo;
            product->setGameId(gameId);
            product->setTargetIdentification(definition->getProductIdentification());
            product->setDownloadsPath(root + "/Downloads/" + gameId);
            product->setLocalPath(root + "/Game");
            product->setSupportPath(root + "/Support/" + gameId);
            DiscardingCallback callback;

            const Usage before = usageNow();
            ProductFilesSynchronizer synchronizer(product, callback, abort, EngineSettings::OfThisUser());
            synchronizer.integrateProductWithRemoteDefinition(*definition);
            synchronizer.scanInstalledFiles();
            ProductFilesSynchronizer::Result result = synchronizer.download();
            if (!result.isSpecified()) result = synchronizer.performUpdate();
            const Usage after = usageNow();

            Tally expected;
            for (const RemoteFileDefinition::Ptr& file : definition->getRemoteFiles()) {
                ++expected.files;
                expected.bytes += file->getSize();
            }
            Tally found;
            tallyTree(Poco::File(root), found);
            const double seconds = after.wall - before.wall;
            std::printf("files %llu bytes %llu seconds %.3f cpu %.3f peakMiB %.1f MiBps %.1f\n",
                        static_cast<unsigned long long>(found.files), static_cast<unsigned long long>(found.bytes),
                        seconds, after.cpu - before.cpu, after.peakMiB, found.bytes / 1048576.0 / seconds);
            if (result.isSpecified()) {
                std::fprintf(stderr, "the install failed with result %d\n", static_cast<int>(result.value()));
            } else if (found.files != expected.files || found.bytes != expected.bytes) {
                std::fprintf(stderr, "installed %llu files, %llu bytes; the manifest lists %llu files, %llu bytes\n",
                             static_cast<unsigned long long>(found.files),
                             static_cast<unsigned long long>(found.bytes),
                             static_cast<unsigned long long>(expected.files),
                             static_cast<unsigned long long>(expected.bytes));
            } else {
                status = 0;
            }
        }
    }
    HttpManager::Shutdown();
    return status;
}
