// One file entry of a depot manifest: what the file must become (its
// FileInformation), where its data lives, and how that data is cut into parts.
// Thread-safety: immutable after construction; shared freely.
#pragma once

#include <cstdint>
#include <vector>

#include <Poco/SharedPtr.h>

#include "model/FileInformation.h"
#include "model/RemoteFileLocation.h"

namespace VantisClient {

class RemoteFileDefinition : public FileInformation {
public:
    using Ptr = Poco::SharedPtr<RemoteFileDefinition>;

    // Parts a file is cut into when its entry lists none; also the place in the
    // file of each part of a plain file but the last.
    static const uint32_t DEFAULT_PART_SIZE = 1048576;
    // Part counts are 16-bit throughout the download state.
    static const uint64_t MAX_PARTS_COUNT = 65535;

    RemoteFileDefinition(const FileInformation& information, const RemoteFileLocation& location, uint32_t partSize,
                         const std::vector<uint32_t>& parts = {});

    const RemoteFileLocation& getLocation() const { return m_location; }
    const FileInformation& getFileInfo() const { return *this; }
    uint32_t getPartSize() const { return m_partSize; }
    // Sizes of the file's parts in the remote resource, in order; empty when the
    // manifest gives none and the file is cut into DEFAULT_PART_SIZE parts.
    const std::vector<uint32_t>& getParts() const { return m_parts; }
    // The resource is a zip archive (its url contains ".zip", case-sensitive).
    bool isZip() const { return m_isZip; }

    // How many parts the download of this file takes.
    uint64_t getNeededPartsCount() const;

private:
    RemoteFileLocation m_location;
    uint32_t m_partSize;
    std::vector<uint32_t> m_parts;
    bool m_isZip;
};

}  // namespace VantisClient
