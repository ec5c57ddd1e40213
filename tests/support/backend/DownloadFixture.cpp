#include "DownloadFixture.h"

#include <algorithm>

#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>

#include "CatalogueFixture.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/json/Serializer.h"
#include "install/DepotSelector.h"
#include "net/HttpManager.h"
#include "net/HttpTasks.h"
#include "support/WaitFor.h"

namespace VantisTest {

using namespace VantisClient;

bool RecordingCallback::serializeFileState(Poco::SharedPtr<DownloadingFileInfo> file) {
    std::vector<Poco::SharedPtr<DownloadingFileInfo>> files{file};
    return serializeFilesStates(files);
}

bool RecordingCallback::serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>& files) {
    std::vector<Written> batch;
    for (const Poco::SharedPtr<DownloadingFileInfo>& file : files) {
        batch.push_back({file->getFileInfo().getPath(), file->getState(), file->getParts().getMarkedPartsCount()});
    }
    batches.push_back(batch);
    return true;
}

void RecordingCallback::postNotification_Progress() {
    if (onProgress) onProgress();
}

void RecordingCallback::postNotification_StatusCode(EInstallStatusCode statusCode) {
    statusCodes.push_back(statusCode);
    if (onStatus) onStatus(statusCode);
}

void DownloadTest::SetUp() {
    BackendTest::SetUp();
    sandbox.writeFile("Config.json", R"({"loggingChannels": ["FilesNeededForUpdate", "InstallProductDebug"]})");
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    startBackend();
    HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
    HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
    ProblemReporter::Instance().setEndpoint("http://" + server->context().webAuthority() + "/problem.php");
    // Every report shows, not only the first of ten minutes.
    ProblemReporter::Instance().setComplainInterval(0);
    loop.reset(new DeliveryLoop);
    HttpManager::Instance()->signInWithPassword("player", "secret");
    ASSERT_TRUE(WaitFor([] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
    selectSampleGame();
    ASSERT_EQ(200, control("DELETE", "served").status);
    RecentMemoryBufferChannel::Instance().Clear();
}

void DownloadTest::TearDown() {
    loop.reset();
    // The client leaves before the backend stops, so that none of its connections is still served then.
    HttpManager::Shutdown();
    BackendTest::TearDown();
}

void DownloadTest::selectSampleGame() {
    const std::string gameId = SampleGame::BASE_ID;
    definition = new RemoteProductDefinition(gameId, {gameId}, "en", false);
    bool notFound = false;
    const std::string manifest = Http::Tasks::getManifestContents(gameId, notFound, abort);
    ASSERT_TRUE(Serializer::DeserializeFromBuffer(*definition, manifest, Serializer::JSON));
    DepotSelector::Depots depots;
    ASSERT_TRUE(DepotSelector(definition, abort).deserializeDepotsSelectively(depots));
    product = new ProductInfo;
    product->setGameId(gameId);
    product->setTargetIdentification(definition->getProductIdentification());
    product->setDownloadsPath(sandbox.path("Downloads/" + gameId));
    product->setLocalPath(sandbox.path("Library/Sample Game"));
    product->setSupportPath(sandbox.path("Support/" + gameId));
    for (const RemoteFileDefinition::Ptr& file : definition->getRemoteFiles()) {
        product->getFiles().addRemoteFileInfo(file);
    }
}

void DownloadTest::keepOnly(const std::vector<std::string>& paths) {
    ProductFiles::RemoteFiles& files = product->getFiles().getRemoteFiles();
    std::vector<std::string> others;
    for (const auto& entry : files) {
        if (std::find(paths.begin(), paths.end(), entry.first) == paths.end()) others.push_back(entry.first);
    }
    for (const std::string& path : others) files.erase(path);
    ASSERT_EQ(paths.size(), files.size());
}

RemoteFileDefinition::Ptr DownloadTest::remote(const std::string& path) const {
    const ProductFiles::RemoteFiles& files = product->getFiles().getRemoteFiles();
    auto found = files.find(path);
    return found == files.end() ? nullptr : found->second;
}

void DownloadTest::editRemote(const std::string& path, const Edit& edit) {
    product->getFiles().addRemoteFileInfo(edit(*remote(path)));
}

std::unique_ptr<ProductFilesDownloader> DownloadTest::makeDownloader() {
    return std::unique_ptr<ProductFilesDownloader>(new ProductFilesDownloader(product, callback, abort, settings));
}

bool DownloadTest::download(ProductFilesDownloader& downloader) {
    downloader.scanDownloadedFiles();
    downloader.chooseFilesNeededForUpdate();
    return downloader.allocateDiskSpace() && downloader.downloadNeededFiles();
}

std::string DownloadTest::downloadsPath() const { return product->getDownloadsPath(); }

std::string DownloadTest::sourceBytes(const std::string& path) const {
    return ReadFileBytes(sandbox.path("input/base/common/" + path));
}

void DownloadTest::addFault(const std::string& rule) { ASSERT_EQ(200, control("POST", "faults", rule).status); }

std::vector<Served> DownloadTest::served() {
    std::vector<Served> all;
    Poco::JSON::Array::Ptr entries = control("GET", "served").json()->getArray("served");
    for (size_t i = 0; i < entries->size(); ++i) {
        Poco::JSON::Object::Ptr entry = entries->getObject(static_cast<unsigned>(i));
        all.push_back({entry->getValue<std::string>("path"), entry->getValue<std::string>("range"),
                       entry->getValue<int>("status")});
    }
    return all;
}

std::string DownloadTest::binaryOf(const std::string& path) const {
    const std::string& url = remote(path)->getLocation().url;
    return url.substr(url.rfind('/') + 1);
}

std::vector<Served> DownloadTest::contentRequests(const std::string& path) {
    const std::string binary = "/" + binaryOf(path);
    std::vector<Served> requests;
    for (const Served& request : served()) {
        if (request.path.rfind("/content/", 0) == 0 && request.path.find(binary) != std::string::npos) {
            requests.push_back(request);
        }
    }
    return requests;
}

size_t DownloadTest::linkRequests(const std::string& path) {
    const std::string binary = "/" + binaryOf(path);
    size_t count = 0;
    for (const Served& request : served()) {
        const bool link = request.path.rfind("/games/", 0) == 0 || request.path.rfind("/redists/", 0) == 0;
        if (link && request.path.size() >= binary.size() &&
            request.path.compare(request.path.size() - binary.size(), binary.size(), binary) == 0) {
            ++count;
        }
    }
    return count;
}

std::vector<std::string> DownloadTest::reportsOnceArrived(size_t count) {
    const auto stored = [this] { return server->context().reports.reports(); };
    WaitFor([&] { return stored().size() >= count && !ProblemReporter::Instance().isSending(); }, 30000);
    std::vector<std::string> messages;
    for (const Backend::ProblemReport& report : stored()) messages.push_back(report.message);
    return messages;
}

std::string RecentLog() { return RecentMemoryBufferChannel::Instance().getContents(); }

bool Logged(const std::string& line) { return RecentLog().find(line) != std::string::npos; }

}  // namespace VantisTest
