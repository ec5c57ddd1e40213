#include "install/MismatchSettlement.h"

#include <vector>

#include "common/Logger.h"
#include "install/FilePartLayout.h"
#include "install/WrittenPartDigest.h"
#include "model/RemoteFileDefinition.h"

namespace VantisClient {

MismatchSettlement::Verdict MismatchSettlement::afterMismatch(DownloadingFileInfo& file) {
    PartSettlement& settlement = settlementOf(file);
    if (settlement.allSettled()) settlement.recordWholeFileFailure();
    if (settlement.getWholeFileFailures() >= MAX_WHOLE_FILE_FAILURES ||
        file.getHashMismatchCount() > MAX_HASH_MISMATCHES) {
        return Verdict::GiveUp;
    }
    const std::vector<uint16_t> unsettled = settlement.unsettledParts();
    if (!unsettled.empty()) {
        for (uint16_t index = 0; index < settlement.getPartCount(); ++index) {
            if (settlement.isSettled(index)) file.getParts().markPart(index);
        }
        Logger::LogInfo("File %s: %d of %d parts are fetched again; the others agree with an earlier fetch",
                        file.getFileInfo().getPath().c_str(), static_cast<int>(unsettled.size()),
                        static_cast<int>(settlement.getPartCount()));
    }
    return Verdict::FetchAgain;
}

void MismatchSettlement::partWritten(const DownloadingFileInfo& file, uint16_t index) {
    auto settling = m_settlements.find(file.getFileInfo().getPath());
    if (settling != m_settlements.end()) recordFetch(file, index, settling->second);
}

void MismatchSettlement::verified(const std::string& path) { m_settlements.erase(path); }

PartSettlement& MismatchSettlement::settlementOf(const DownloadingFileInfo& file) {
    const std::string& path = file.getFileInfo().getPath();
    auto found = m_settlements.find(path);
    if (found != m_settlements.end()) return found->second;
    const uint16_t count = static_cast<uint16_t>(file.getPartSizes().size());
    PartSettlement& settlement = m_settlements.emplace(path, PartSettlement(count)).first->second;
    for (uint16_t index = 0; index < count; ++index) recordFetch(file, index, settlement);
    return settlement;
}

void MismatchSettlement::recordFetch(const DownloadingFileInfo& file, uint16_t index, PartSettlement& settlement) {
    const RemoteFileDefinition& remote = *file.getRemoteDefinition();
    FilePartLayout::Part layout;
    std::string digest;
    if (FilePartLayout::describePart(remote.getSize(), file.getPartSizes(), remote.isZip(), index, layout) &&
        WrittenPartDigest::Compute(file.getFullPath(), layout.destinationOffset, layout.expectedSize, digest)) {
        settlement.recordFetch(index, digest);
    }
}

}  // namespace VantisClient
