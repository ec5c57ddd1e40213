// Brings a product's installed-file records in line with its install directory
// before anything is downloaded: records of files that are gone are dropped,
// files on disk that the manifest names but nothing records are adopted, sizes
// are refreshed, and every file whose hash is not known is hashed, two at a
// time, on background workers. A file whose size changed is hashed again: its
// recorded hash no longer describes it. Files already hashed are not read again.
// Thread-safety: scan() and the result handling run on the install thread, the
// only one that touches the product's records (the workers get paths only);
// abort() may be called from any other thread, also while scan() runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/NotificationQueue.h>
#include <Poco/SharedPtr.h>

#include "common/AbortSignal.h"
#include "install/DirtyFilesSerializer.h"
#include "install/NotificationsManager.h"
#include "install/OperationFeedback.h"
#include "install/OperationsManager.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/InstalledFileInfo.h"
#include "model/ProductInfo.h"

namespace VantisClient {

class InstalledFilesScanner {
public:
    // More parallel reads of one disk only make each of them slower.
    static constexpr uint16_t MAX_HASHING_WORKERS = 2;
    // The longest the scan waits for a result before it looks at the abort
    // signal and the flush interval again; a result ends the wait at once.
    static constexpr long RESULT_WAIT_MS = 10;

    InstalledFilesScanner(const ProductInfo::Ptr& product, ProductFilesSynchronizerCallbackInterface& callback,
                          const AbortSignal::Ptr& abortSignal);
    InstalledFilesScanner(const InstalledFilesScanner&) = delete;
    InstalledFilesScanner& operator=(const InstalledFilesScanner&) = delete;

    // Returns when every queued hash has been answered or the pipeline is
    // aborted. With `hashEveryFile` (a verify), recorded hashes are not
    // trusted: a file damaged in place keeps its size and its record.
    void scan(bool hashEveryFile = false);
    // Drops the hashes not started yet and returns once the running ones have stopped.
    void abort();

private:
    void checkExistanceAndSizes();
    void refreshSize(InstalledFileInfo::Ptr file);
    void dropMissingFiles(const std::vector<InstalledFileInfo::Ptr>& missing);
    void addMissingFiles();
    void startHashing(bool hashEveryFile);
    void waitForHashes();
    void handleCalculateHash(const OperationFeedback* feedback);

    DirtyFilesSerializer m_serializer;
    ProductInfo::Ptr m_product;
    Poco::SharedPtr<Poco::NotificationQueue> m_resultQueue;
    OperationsManager m_operationsManager;
    NotificationsManager<InstalledFilesScanner> m_handlers;
    int32_t m_filesLeftToHash = 0;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
