// The download state of one file: what it must become, where it is being
// written, which parts are written or in flight, and how often parts and the
// whole file failed. Kept in the product database so an interrupted install can
// resume. The transitions do not check the current state: the pipeline decides.
// Thread-safety: a plain record; guard it like the ProductInfo that holds it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

#include "model/FileInformation.h"
#include "model/FileParts.h"
#include "model/RemoteFileDefinition.h"

namespace VantisClient {

class DownloadingFileInfo {
public:
    using Ptr = Poco::SharedPtr<DownloadingFileInfo>;

    enum DownloadingFileState : int32_t {
        Queued = 2001,
        Downloading = 2002,
        Hashing = 2003,
        Verified = 2004,
        Failed = 2005,
    };

    // The full path is `basePath` joined with the definition's path. A definition
    // whose part count exceeds 16 bits throws Poco::RangeException.
    DownloadingFileInfo(const RemoteFileDefinition::Ptr& remoteDefinition, const std::string& basePath,
                        DownloadingFileState state);
    // A record read back from storage, without a definition until one is attached.
    DownloadingFileInfo(FileType type, const std::string& path, DownloadingFileState state,
                        const std::string& fullPath);

    const RemoteFileDefinition::Ptr& getRemoteDefinition() const { return m_remoteDefinition; }
    // Takes the definition's size and sizes both bitmaps from it. The parts
    // already written are kept when the record's layout is the definition's
    // (same size, and same part sizes where the record knows them, as storage
    // keeps only the size and the bitmap's words); otherwise every bit is
    // cleared. Parts in flight are always cleared: nothing is in flight yet.
    void setRemoteDefinition(const RemoteFileDefinition::Ptr& remoteDefinition);

    FileInformation& getFileInfo() { return m_fileInfo; }
    const FileInformation& getFileInfo() const { return m_fileInfo; }
    const std::string& getFullPath() const { return m_fullPath; }
    DownloadingFileState getState() const { return m_state; }
    // Written parts.
    FileParts& getParts() { return m_parts; }
    const FileParts& getParts() const { return m_parts; }
    // Parts being fetched.
    FileParts& getDownloadingParts() { return m_downloadingParts; }
    const FileParts& getDownloadingParts() const { return m_downloadingParts; }
    const std::vector<uint32_t>& getPartSizes() const { return m_partSizes; }
    int32_t getHashMismatchCount() const { return m_hashMismatchCount; }

    void downloadStarted();
    void hashingStarted();
    void hashingCompleteOK(const std::string& hash);
    // Back to queued: the data did not match and is fetched again from scratch.
    void hashingMismatch();
    void downloadingFailedPermanently();
    void fileDeleted();

    void partDownloadFailed(int32_t partIndex);
    int32_t getDownloadErrorCount(int32_t partIndex) const;

    // "type: 990 hash:  size: 1048576 state: 2001"
    std::string getDebugInfoString() const;

private:
    void setupParts();
    // The sizes of the parts `definition` cuts its file into; empty for an empty file.
    std::vector<uint32_t> partSizesOf(const RemoteFileDefinition& definition) const;
    void applyPartSizes(const std::vector<uint32_t>& sizes);
    bool hasLayout(const std::vector<uint32_t>& sizes, uint64_t size) const;
    void restoreDoneParts(const FileParts& done);
    void clearParts();
    void checkPartsCount(uint64_t count) const;

    RemoteFileDefinition::Ptr m_remoteDefinition;
    FileInformation m_fileInfo;
    DownloadingFileState m_state;
    std::string m_fullPath;
    FileParts m_parts;
    FileParts m_downloadingParts;
    int32_t m_hashMismatchCount = 0;
    std::map<int32_t, int32_t> m_downloadErrorCounts;
    std::vector<uint32_t> m_partSizes;
};

}  // namespace VantisClient
