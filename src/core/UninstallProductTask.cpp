#include "core/UninstallProductTask.h"

#include "common/Logger.h"
#include "install/InstalledProductRemover.h"
#include "install/RunningGameDetector.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

const char* const UninstallProductTask::STR_ID = "UninstallProductTask";

UninstallProductTask::UninstallProductTask(const std::string& gameId) : m_gameId(gameId), m_abortSignal(new AbortSignal) {}

const char* UninstallProductTask::GetStrId() const { return STR_ID; }

std::string UninstallProductTask::GetGameId() const { return m_gameId; }

void UninstallProductTask::doWork() {
    ClientTask::doWork();
    ProductUninstallResultStruct result;
    result.gameId = m_gameId;
    const ProductInfo::Ptr product = readProduct();
    if (!product) {
        Logger::LogWarning("Uninstall of game %s: the library does not know the game", m_gameId.c_str());
        result.outcome = ProductUninstallResultStruct::Outcome::NotInstalled;
    } else if (!isGameRunning(*product, result)) {
        removeFiles(*product, result);
    }
    resultEvent.notify(this, result);
}

ProductInfo::Ptr UninstallProductTask::readProduct() const {
    ProductInfo::Ptr product = StorageDBSerializer::DeserializeIndexEntry(m_gameId);
    if (!product) return product;
    // Without its database only the index tells where the game is: nothing
    // of it is known to be the install's, so nothing of it is removed.
    if (!StorageDBSerializer::DeserializeProduct(m_gameId, product.get())) {
        Logger::LogWarning("Uninstall of game %s: its database could not be read; only its records go",
                           m_gameId.c_str());
        return StorageDBSerializer::DeserializeIndexEntry(m_gameId);
    }
    return product;
}

bool UninstallProductTask::isGameRunning(const ProductInfo& product, ProductUninstallResultStruct& result) const {
    RunningGameDetector::Use use;
    if (!RunningGameDetector({product.getLocalPath(), product.getSupportPath()}).findUse(use)) return false;
    Logger::LogError("Process %s uses %s: game %s is in session, so it is not uninstalled.", use.processId.c_str(),
                     use.file.c_str(), m_gameId.c_str());
    result.outcome = ProductUninstallResultStruct::Outcome::GameRunning;
    result.detail = "process " + use.processId + " uses " + use.file;
    return true;
}

void UninstallProductTask::removeFiles(const ProductInfo& product, ProductUninstallResultStruct& result) {
    Logger::LogInfo("Uninstalling game %s from %s", m_gameId.c_str(), product.getLocalPath().c_str());
    InstalledProductRemover::Outcome removal;
    const bool removed = InstalledProductRemover(product, m_abortSignal).remove(removal);
    result.keptFiles = removal.kept;
    result.failedPaths = removal.failed;
    if (removal.aborted) {
        result.outcome = ProductUninstallResultStruct::Outcome::Aborted;
    } else if (!removed) {
        result.outcome = ProductUninstallResultStruct::Outcome::Failed;
    } else {
        removeRecords(result);
    }
}

void UninstallProductTask::removeRecords(ProductUninstallResultStruct& result) const {
    if (!StorageDBSerializer::DeleteProductFromIndex(m_gameId)) {
        Logger::LogError("Uninstall of game %s: its index entry could not be removed", m_gameId.c_str());
        result.outcome = ProductUninstallResultStruct::Outcome::Failed;
        result.failedPaths.push_back("the library's index entry of the game");
        return;
    }
    if (!StorageDBSerializer::DeleteProductDB(m_gameId)) {
        Logger::LogWarning("Uninstall of game %s: its database could not be removed", m_gameId.c_str());
    }
    Logger::LogInfo("Game %s uninstalled; %d files the install did not place stay", m_gameId.c_str(),
                    static_cast<int>(result.keptFiles.size()));
    result.outcome = ProductUninstallResultStruct::Outcome::Removed;
}

void UninstallProductTask::abort() { m_abortSignal->raise(); }

void UninstallProductTask::onAuthLost() {}

}  // namespace VantisClient
