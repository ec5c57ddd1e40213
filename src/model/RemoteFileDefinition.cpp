#include "model/RemoteFileDefinition.h"

namespace VantisClient {

RemoteFileDefinition::RemoteFileDefinition(const FileInformation& information, const RemoteFileLocation& location,
                                           uint32_t partSize, const std::vector<uint32_t>& parts)
    : FileInformation(information),
      m_location(location),
      m_partSize(partSize),
      m_parts(parts),
      m_isZip(location.url.find(".zip") != std::string::npos) {}

uint64_t RemoteFileDefinition::getNeededPartsCount() const {
    if (!m_parts.empty()) return m_parts.size();
    return getSize() / DEFAULT_PART_SIZE + (getSize() % DEFAULT_PART_SIZE != 0 ? 1 : 0);
}

}  // namespace VantisClient
