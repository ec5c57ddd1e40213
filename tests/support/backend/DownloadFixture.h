// What the synchronizer does before it downloads, so that tests can drive the
// downloader alone: a recording stand-in for the install task's callback, and a
// fixture that signs in to the real backend, selects the sample game's depots
// into a product whose paths lie in the sandbox, and reads what the backend
// served.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BackendFixture.h"
#include "common/AbortSignal.h"
#include "common/EngineSettings.h"
#include "install/ProductFilesDownloader.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"
#include "support/DeliveryLoop.h"

namespace VantisTest {

// Keeps what the pipeline wrote and posted. Called on the install thread only.
class RecordingCallback : public VantisClient::ProductFilesSynchronizerCallbackInterface {
public:
    // A downloading record as it was written.
    struct Written {
        std::string path;
        VantisClient::DownloadingFileInfo::DownloadingFileState state;
        uint16_t writtenParts;
    };

    bool serializeProductInfo() override { return true; }
    bool serializeProductInfoToIndex() override { return true; }
    bool serializeFileState(Poco::SharedPtr<VantisClient::InstalledFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<VantisClient::InstalledFileInfo>>&) override {
        return true;
    }
    bool serializeFileState(Poco::SharedPtr<VantisClient::DownloadingFileInfo> file) override;
    bool serializeFilesStates(std::vector<Poco::SharedPtr<VantisClient::DownloadingFileInfo>>& files) override;
    void postNotification_Progress() override;
    void postNotification_StatusCode(VantisClient::EInstallStatusCode statusCode) override;

    std::vector<std::vector<Written>> batches;
    std::vector<VantisClient::EInstallStatusCode> statusCodes;
    // Runs after each progress post.
    std::function<void()> onProgress;
    // Runs after each status post.
    std::function<void(VantisClient::EInstallStatusCode)> onStatus;
};

// A request as the backend's record of served requests shows it.
struct Served {
    std::string path;
    std::string range;
    int status;
};

class DownloadTest : public BackendTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Keeps only these remote files of the selection, so a test fetches what it looks at.
    void keepOnly(const std::vector<std::string>& paths);
    VantisClient::RemoteFileDefinition::Ptr remote(const std::string& path) const;
    // Replaces the remote definition of `path` by `edit`'s copy of it.
    using Edit = std::function<VantisClient::RemoteFileDefinition::Ptr(const VantisClient::RemoteFileDefinition&)>;
    void editRemote(const std::string& path, const Edit& edit);

    std::unique_ptr<VantisClient::ProductFilesDownloader> makeDownloader();
    // The four steps in the synchronizer's order; true when all succeeded.
    bool download(VantisClient::ProductFilesDownloader& downloader);

    std::string downloadsPath() const;
    // The game's source bytes of a file of the base game's common depot.
    std::string sourceBytes(const std::string& path) const;
    void addFault(const std::string& rule);
    std::vector<Served> served();
    // The content requests served for `path`'s binary, and the link requests made for it.
    std::vector<Served> contentRequests(const std::string& path);
    size_t linkRequests(const std::string& path);
    // The reports the collector holds once `count` of them have arrived (the
    // reporter does not wait for the collector), or after a bounded wait.
    std::vector<std::string> reportsOnceArrived(size_t count);

    // The sample game's selection, for the base game in English.
    Poco::SharedPtr<VantisClient::RemoteProductDefinition> definition;
    VantisClient::ProductInfo::Ptr product;
    RecordingCallback callback;
    VantisClient::AbortSignal::Ptr abort = new VantisClient::AbortSignal;
    // What makeDownloader() hands its downloader.
    VantisClient::EngineSettings settings;
    std::unique_ptr<DeliveryLoop> loop;

private:
    void selectSampleGame();
    // The file key of `path`'s manifest URL: the last component.
    std::string binaryOf(const std::string& path) const;
};

std::string RecentLog();
bool Logged(const std::string& line);

}  // namespace VantisTest
