// Collects the file records whose state changed and writes them in batches, one
// call per record kind: at once when a phase ends (flush), and otherwise at most
// every ten seconds while a phase runs (process). A record queued again before
// the next flush is written once, with its latest state.
// Thread-safety: used by the install thread only.
#pragma once

#include <string>
#include <vector>

#include <Poco/HashSet.h>
#include <Poco/Timestamp.h>

#include "common/AbortSignal.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"

namespace VantisClient {

class DirtyFilesSerializer {
public:
    static constexpr Poco::Timestamp::TimeDiff FLUSH_INTERVAL_US = 10000000;

    DirtyFilesSerializer(ProductFilesSynchronizerCallbackInterface& callback, const AbortSignal::Ptr& abortSignal);

    void queue(const InstalledFileInfo::Ptr& file);
    void queue(const DownloadingFileInfo::Ptr& file);
    // Flushes when the last flush is more than ten seconds ago.
    void process();
    // Writes both queues unless the pipeline is aborted, then empties them.
    void flush();

    const Poco::Timestamp& getLastFlushTime() const { return m_lastFlush; }

private:
    template <class Record>
    void flushQueue(Poco::HashSet<std::string>& keys, std::vector<Poco::SharedPtr<Record>>& records);

    Poco::HashSet<std::string> m_installedKeys{64};
    std::vector<InstalledFileInfo::Ptr> m_installedQueue;
    Poco::HashSet<std::string> m_downloadingKeys{64};
    std::vector<DownloadingFileInfo::Ptr> m_downloadingQueue;
    Poco::Timestamp m_lastFlush;
    ProductFilesSynchronizerCallbackInterface& m_callback;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
