#include "core/InstallProductTask.h"

#include <algorithm>
#include <exception>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/ScopeTimer.h"
#include "common/ScopedLock.h"
#include "common/Utilities.h"
#include "core/ClientCore.h"
#include "core/ProductManifestReader.h"
#include "core/SupportInstallerRunner.h"
#include "install/DepotSelector.h"
#include "model/MiniManifestLoader.h"
#include "storage/ProductStorageSession.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {
const char* const InstallProductTask::STR_ID = "InstallProductTask";

InstallProductTask::InstallProductTask(const RemoteProductDefinition& definition, const EngineSettings& settings,
                                       Mode mode)
    : m_gameId(definition.getGameId()),
      m_settings(settings),
      m_mode(mode),
      m_abortSignal(new AbortSignal),
      m_remoteDefinition(new RemoteProductDefinition(definition)) {}

const char* InstallProductTask::GetStrId() const { return STR_ID; }

std::string InstallProductTask::GetGameId() const { return m_gameId; }

void InstallProductTask::doWork() {
    ClientTask::doWork();
    // The pipeline writes file states by the thousand: the product's databases
    // stay open for the whole run instead of being opened for each write.
    ProductStorageSession storage(m_gameId);
    install();
}

void InstallProductTask::install() {
    m_product = deserializeOrCreateProductInfo();
    m_initialState = m_product->getProductState();
    Logger::LogInfo("Initializing InstallProductTask for gid %s...", m_gameId.c_str());
    postNotification_StatusCode(EInstallStatusCode::Initializing);
    const ELicenceAnswer licence = ownsEverySelectedGame();
    if (licence != ELicenceAnswer::Owned) {
        Logger::LogWarning("Checking user licences for gid %s failed - %s", m_gameId.c_str(),
                           DescribeLicenceAnswer(licence));
        taskFinished(InstallResultOfLicence(licence));
        return;
    }
    if (!fillRemoteProductInfoFromManifest()) return;
    prepareCurrentProductInfo();
    Logger::LogInfo("InstallProductTask initialized for remote product %s; current product: %s",
                    m_remoteDefinition->getDebugIdentificationString().c_str(),
                    m_product->getDebugIdentificationString().c_str());
    postNotification_StatusCode(EInstallStatusCode::Initializing);
    if (!deserializeDepots() || !launchProductFilesSynchronizer()) return;
    // An abort from here on keeps the product as it is, so that the next run
    // runs the installers and finalizes it; recorded Installed, it never would.
    if (finishIfAborted()) return;
    postNotification_StatusCode(EInstallStatusCode::InstallingComponents);
    Logger::LogInfo("InstallProductTask for gid %s installing redistributables", m_gameId.c_str());
    Logger::LogInfo("InstallProductTask for gid %s installing support components", m_gameId.c_str());
    // A failing installer does not fail the install: the game's files are in place.
    SupportInstallerRunner(*m_product, m_abortSignal).run(m_remoteDefinition->getSupportCommands());
    if (finishIfAborted()) return;
    finalizeInstallation();
    postNotification_StatusCode(EInstallStatusCode::Complete);
    Logger::LogInfo("InstallProductTask for gid %s install complete", m_gameId.c_str());
    taskFinished(EInstallResult::Success);
}

ELicenceAnswer InstallProductTask::ownsEverySelectedGame() const {
    Logger::LogInfo("Checking user licences for gid %s...", m_gameId.c_str());
    for (const std::string& gameId : m_remoteDefinition->getRevisionList()) {
        const ELicenceAnswer answer = ClientCore::checkUserOwnGame(gameId);
        if (answer != ELicenceAnswer::Owned) return answer;
    }
    return ELicenceAnswer::Owned;
}

ProductInfo::Ptr InstallProductTask::deserializeOrCreateProductInfo() {
    ProductInfo::Ptr product = StorageDBSerializer::DeserializeIndexEntry(m_gameId);
    if (!product) return createProductInfo();
    if (!StorageDBSerializer::DeserializeProduct(m_gameId, product.get())) {
        // The index still knows where the game is and what was being installed:
        // the scan adopts the files on disk instead of a second copy being
        // installed beside them. The failed read may have left part of its work.
        Logger::LogWarning("Product %s database could not be read; its installed files will be scanned again",
                           m_gameId.c_str());
        product = StorageDBSerializer::DeserializeIndexEntry(m_gameId);
        if (!product) return createProductInfo();
    }
    loadInfoFiles(*product);
    return product;
}

ProductInfo::Ptr InstallProductTask::createProductInfo() {
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId(m_gameId);
    product->setProductState(EProductState::Installing, true);
    postNotification_StateChanged(product->constructProductPresentationData());
    return product;
}

std::string InstallProductTask::loadInfoFiles(ProductInfo& product) {
    MiniManifestLoader loader(product.getGameId(), product.getLocalPath());
    product.setMiniManifestContents(loader.loadAndMergeMiniManifests());
    return loader.getErrorBuffer();
}

bool InstallProductTask::fillRemoteProductInfoFromManifest() {
    Logger::LogInfo("Deserializing game manifest...");
    using Status = ProductManifestReader::Status;
    switch (ProductManifestReader::Fetch(*m_remoteDefinition, m_abortSignal)) {
        case Status::Read: return true;
        case Status::UnknownGame: taskFinished(EInstallResult::UnknownGame); return false;
        case Status::RefusedLink: taskFinished(EInstallResult::ServerError); return false;
        case Status::NotFetched: taskFinished(EInstallResult::ConnectionError); return false;
        case Status::Unreadable: break;
    }
    Logger::LogError("Failed to deserialize manifest for product: %s.", m_gameId.c_str());
    taskFinished(EInstallResult::ServerError);
    return false;
}

void InstallProductTask::prepareCurrentProductInfo() {
    // A verify claims the product only once it knows that files must be fetched.
    if (m_mode == Mode::Install) claimProduct();
    m_product->setProductDir(m_remoteDefinition->getProductDir());
    m_product->setAvailableLanguages(m_remoteDefinition->getAvailableLanguages());
    updateProductInfoPaths();
}

void InstallProductTask::claimProduct() {
    settleProductState();
    m_product->setTargetIdentification(m_remoteDefinition->getProductIdentification());
}

void InstallProductTask::settleProductState() {
    const EProductState before = m_product->getProductState();
    switch (before) {
        case EProductState::Updating:
        case EProductState::UpdatingUnplayable:
            Logger::LogInfo("Product %s state is '%s'", m_gameId.c_str(), GetProductStateName(before));
            break;
        case EProductState::Installed:
        case EProductState::Offline:
        case EProductState::OfflineUnplayable: m_product->setProductState(EProductState::Updating, true); break;
        default: m_product->setProductState(EProductState::Installing, true); break;
    }
    if (m_product->getProductState() != before) {
        postNotification_StateChanged(m_product->constructProductPresentationData());
    }
}

void InstallProductTask::updateProductInfoPaths() {
    if (m_product->getDownloadsPath().empty()) {
        m_product->setDownloadsPath(Utilities::AppendPath(m_settings.downloadsPath, m_gameId));
    }
    if (m_product->getSupportPath().empty()) {
        m_product->setSupportPath(Utilities::AppendPath(m_settings.supportPath, m_gameId));
    }
    if (m_product->getLocalPath().empty()) {
        m_product->setLocalPath(Utilities::AppendPath(m_settings.libraryPath, m_product->getProductDir()));
    }
}

bool InstallProductTask::deserializeDepots() {
    Logger::LogInfo("InstallProductTask for gid %s starting to load depot definitions", m_gameId.c_str());
    if (selectDepots()) return true;
    Logger::LogError("Could not deserialize depots for game %s", m_gameId.c_str());
    taskFinished(EInstallResult::ServerError);
    return false;
}

bool InstallProductTask::selectDepots() {
    try {
        DepotSelector::Depots depots;
        return DepotSelector(m_remoteDefinition, m_abortSignal).deserializeDepotsSelectively(depots);
    } catch (const std::exception& error) {
        Logger::LogError("A depot manifest of product %s holds a malformed value: %s", m_gameId.c_str(),
                         error.what());
        return false;
    }
}

bool InstallProductTask::launchProductFilesSynchronizer() {
    postNotification_StatusCode(EInstallStatusCode::Preparing);
    {
        ScopedLock lock(m_mutex);
        m_synchronizer = new ProductFilesSynchronizer(m_product, *this, m_abortSignal, m_settings);
    }
    m_synchronizer->integrateProductWithRemoteDefinition(*m_remoteDefinition);
    if (finishIfAborted()) return false;
    serializeProductInfoToIndex();
    m_synchronizer->scanInstalledFiles(m_mode != Mode::Install);
    if (finishIfAborted()) return false;
    if (m_mode != Mode::Install && !reportVerification()) return false;
    Logger::LogInfo("InstallProductTask for gid %s starting download", m_gameId.c_str());
    ProductFilesSynchronizer::Result result = m_synchronizer->download();
    if (result.isSpecified()) {
        taskFinished(result.value());
        return false;
    }
    postNotification_StatusCode(EInstallStatusCode::UpdatingFiles);
    Logger::LogInfo("InstallProductTask for gid %s performing update of game files", m_gameId.c_str());
    result = m_synchronizer->performUpdate();
    if (result.isSpecified()) {
        Logger::LogError("Update failed for game %s", m_gameId.c_str());
        taskFinished(result.value());
        return false;
    }
    return true;
}

bool InstallProductTask::reportVerification() {
    ProductVerifyResultStruct report;
    report.gameId = m_gameId;
    ProductFiles& files = m_product->getFiles();
    for (const auto& entry : files.getRemoteFiles()) {
        const auto installed = files.getInstalledFiles().find(entry.first);
        if (installed == files.getInstalledFiles().end()) {
            report.missingFiles.push_back(entry.first);
            continue;
        }
        InstalledFileInfo::Ptr file = installed->second;
        FileInformation& found = file->getFileInfo();
        // A file that could not be read kept its old record: fetched again like a damaged one.
        if (file->getState() != InstalledFileInfo::Hashed) found.setHash("");
        if (!found.matchesFully(*entry.second)) report.damagedFiles.push_back(entry.first);
    }
    std::sort(report.missingFiles.begin(), report.missingFiles.end());
    std::sort(report.damagedFiles.begin(), report.damagedFiles.end());
    report.repairing = m_mode == Mode::VerifyAndRepair && !report.intact();
    Logger::LogInfo("Verified game %s: %d files missing, %d damaged%s", m_gameId.c_str(),
                    static_cast<int>(report.missingFiles.size()), static_cast<int>(report.damagedFiles.size()),
                    report.repairing ? "; fetching them again" : "");
    verifyEvent.notify(this, report);
    if (!report.repairing) return false;
    claimProduct();
    serializeProductInfoToIndex();
    return true;
}

bool InstallProductTask::finishIfAborted() {
    if (!m_abortSignal->isRaised()) return false;
    m_synchronizer->abort();
    taskFinished(EInstallResult::Aborted);
    return true;
}

void InstallProductTask::finalizeInstallation() {
    const std::string problems = loadInfoFiles(*m_product);
    if (!problems.empty()) {
        ProblemReporter::Instance().miniManifestFailedParsing(m_gameId, m_product->getGameName(), problems);
    }
    m_product->applyRemoteDefinition(*m_remoteDefinition);
    m_product->setProductState(EProductState::Installed, true);
    Logger::LogInfo("InstallProductTask for gid %s serializing product definition to DB", m_gameId.c_str());
    serializeProductInfo();
}

EInstallResult InstallProductTask::recordResult(EInstallResult result) {
    ScopedLock lock(m_mutex);
    if (!m_result.isSpecified()) m_result = result;
    return m_result.value();
}

Poco::Optional<EInstallResult> InstallProductTask::result() const {
    ScopedLock lock(m_mutex);
    return m_result;
}

void InstallProductTask::taskFinished(EInstallResult result) {
    const EInstallResult stored = recordResult(result);
    // Only a game that was installed goes back to being installed: an
    // interrupted install or update keeps its state and target to be resumed.
    if (result == EInstallResult::NotAuthorized && m_initialState == EProductState::Installed) {
        m_product->setProductState(EProductState::Installed, true);
    }
    if (m_product->getProductState() == EProductState::Installed && m_product->getTargetIdentification()) {
        m_product->setTargetIdentification(Poco::SharedPtr<ProductIdentification>());
    }
    if (stored == EInstallResult::Aborted) {
        serializeProductInfoToIndex();
    } else {
        serializeProductInfo();
    }
    ProductInstallResultStruct finished;
    finished.product = m_product->constructProductPresentationData();
    finished.result = stored;
    resultEvent.notify(this, finished);
}

void InstallProductTask::abort() {
    m_abortSignal->raise();
    Poco::SharedPtr<ProductFilesSynchronizer> synchronizer;
    {
        ScopedLock lock(m_mutex);
        if (!m_result.isSpecified()) m_result = EInstallResult::Aborted;
        synchronizer = m_synchronizer;
    }
    if (synchronizer) synchronizer->abort();
}

void InstallProductTask::onAuthLost() {
    recordResult(EInstallResult::NotAuthorized);
    abort();
}

// Callback operations

bool InstallProductTask::serializeProductInfo() {
    ScopeTimer timer("Serializing ProductInfo");
    Logger::LogInfo("Serializing product %s to DB", m_gameId.c_str());
    if (!StorageDBSerializer::SerializeProduct(m_product.get())) {
        Logger::LogError("Failed to serialize product %s to DB", m_gameId.c_str());
        return false;
    }
    return serializeProductInfoToIndex();
}

bool InstallProductTask::serializeProductInfoToIndex() {
    if (!m_product) return false;
    Logger::LogInfo("Serializing product %s to index", m_gameId.c_str());
    if (StorageDBSerializer::UpdateProductInIndex(m_product.get())) return true;
    Logger::LogError("Failed to serialize product %s to index", m_gameId.c_str());
    return false;
}

bool InstallProductTask::serializeFileState(Poco::SharedPtr<InstalledFileInfo> file) {
    return StorageDBSerializer::UpdateFileInProduct(m_gameId, file);
}

bool InstallProductTask::serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>& files) {
    return StorageDBSerializer::UpdateFilesInProduct(m_gameId, files);
}

bool InstallProductTask::serializeFileState(Poco::SharedPtr<DownloadingFileInfo> file) {
    return StorageDBSerializer::UpdateFileInProduct(m_gameId, file);
}

bool InstallProductTask::serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>& files) {
    return StorageDBSerializer::UpdateFilesInProduct(m_gameId, files);
}

void InstallProductTask::postNotification_Progress() {
    // Asked after every written part and hashed file: a walk over all files
    // each time would cost more than the parts' own bookkeeping, and nobody
    // sees a progress bar move faster than this.
    if (m_lastProgress.elapsed() < PROGRESS_INTERVAL_US) return;
    publishProgress();
}

void InstallProductTask::publishProgress() {
    m_lastProgress.update();
    ProductInstallProgressStruct progress;
    progress.status = m_status;
    if (m_product) {
        m_product->getSyncProgress(progress.progress, progress.byteCount);
        progress.product = m_product->constructProductPresentationData();
    }
    // From the move into place on, the download's file states no longer tell the progress.
    if (m_status >= EInstallStatusCode::UpdatingFiles) progress.progress = 1.0f;
    progressEvent.notify(this, progress);
    Logger::LogInfo("Install progress: %3.2f%%, status %d", static_cast<double>(progress.progress) * 100.0,
                    static_cast<int>(m_status));
}

void InstallProductTask::postNotification_StatusCode(EInstallStatusCode statusCode) {
    m_status = statusCode;
    publishProgress();
}

void InstallProductTask::postNotification_StateChanged(const ProductPresentationData::Ptr& data) {
    ProductStateChangedStruct change;
    change.product = data;
    stateChangedEvent.notify(this, change);
}

}  // namespace VantisClient
