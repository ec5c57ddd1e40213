#include "core/CheckForUpdatesToManifestsTask.h"

#include "common/Logger.h"
#include "common/Utilities.h"
#include "core/ProductManifestReader.h"
#include "install/FileSystem.h"
#include "net/HttpTasks.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

const char* const CheckForUpdatesToManifestsTask::STR_ID = "CheckForUpdatesToManifestsTask";

CheckForUpdatesToManifestsTask::CheckForUpdatesToManifestsTask(std::vector<ProductInfo::Ptr> products)
    : m_products(std::move(products)), m_abortSignal(new AbortSignal) {}

const char* CheckForUpdatesToManifestsTask::GetStrId() const { return STR_ID; }

void CheckForUpdatesToManifestsTask::doWork() {
    ClientTask::doWork();
    for (ProductInfo::Ptr& product : m_products) {
        if (m_aborted) return;
        checkProduct(*product);
    }
}

void CheckForUpdatesToManifestsTask::checkProduct(ProductInfo& product) {
    RemoteProductDefinition remote(product.getGameId(), product.getRevisionList(), product.getLanguage(), false);
    if (!fetchRemoteDefinition(remote)) return;
    const bool outdated = needsUpdate(product, remote);
    if (m_aborted) return;
    product.setUpToDateState(outdated ? ProductInfo::UpdateNeeded : ProductInfo::UpToDate);
    ProductUpdateCheckResultStruct result;
    result.code = outdated ? EManifestUpdateCode::UpdateNeeded : EManifestUpdateCode::UpToDate;
    result.gameId = product.getGameId();
    result.availableLanguages = remote.getAvailableLanguages();
    result.availableGameIds = remote.getAvailableGameIDs();
    updateCheckResultEvent.notify(this, result);
}

bool CheckForUpdatesToManifestsTask::fetchRemoteDefinition(RemoteProductDefinition& remote) {
    bool notFound = false;
    const std::string contents = Http::Tasks::getManifestContents(remote.getGameId(), notFound, m_abortSignal);
    if (contents.empty()) return false;
    if (ProductManifestReader::Read(remote, contents)) return true;
    Logger::LogError("Unable to deserialize game manifest file for gid %s", remote.getGameId().c_str());
    return false;
}

bool CheckForUpdatesToManifestsTask::needsUpdate(ProductInfo& product, const RemoteProductDefinition& remote) {
    if (!remote.getDisableSync() && remote.getManifestTimestamp() != product.getManifestTimestamp()) return true;
    return !checkFileExistanceAndSizesOK(product);
}

bool CheckForUpdatesToManifestsTask::checkFileExistanceAndSizesOK(ProductInfo& product) {
    if (!hasProductDatabase(product)) return false;
    for (const auto& entry : product.getFiles().getInstalledFiles()) {
        if (m_aborted) return false;
        const std::string& relative = entry.second->getFileInfo().getPath();
        const std::string& full = entry.second->getFullPath();
        if (full.empty() || !Utilities::GetFileExists(full)) {
            Logger::LogWarning("File %s not found during checking for updates %s", relative.c_str(), full.c_str());
            return false;
        }
        uint64_t size = 0;
        const uint64_t expected = entry.second->getFileInfo().getSize();
        if (FileSystem::Default().getFileSize(full, size) && size != expected) {
            Logger::LogWarning("File %s has invalid size during checking for updates - has %llu but expected %llu",
                               relative.c_str(), static_cast<unsigned long long>(size),
                               static_cast<unsigned long long>(expected));
            return false;
        }
    }
    return true;
}

bool CheckForUpdatesToManifestsTask::hasProductDatabase(ProductInfo& product) {
    const uint32_t loaded = product.getLoadedData() & ~static_cast<uint32_t>(ProductInfo::IndexSection);
    if (loaded == ProductInfo::ProductDBSection) return true;
    if (StorageDBSerializer::DeserializeProduct(product.getGameId(), &product)) return true;
    // Nothing tells what is installed: a normal install finds out and repairs.
    Logger::LogWarning("Product %s database could not be read during checking for updates",
                       product.getGameId().c_str());
    return false;
}

void CheckForUpdatesToManifestsTask::abort() {
    // The delegates go first: the decision in progress is no longer delivered.
    updateCheckResultEvent.clear();
    m_aborted = true;
    m_abortSignal->raise();
}

void CheckForUpdatesToManifestsTask::onAuthLost() {}

}  // namespace VantisClient
