#include "install/PartSettlement.h"

#include <algorithm>

namespace VantisClient {

PartSettlement::PartSettlement(uint16_t partCount) : m_fetches(partCount) {}

void PartSettlement::recordFetch(uint16_t index, const std::string& digest) {
    if (index < m_fetches.size()) m_fetches[index].push_back(digest);
}

bool PartSettlement::isSettled(uint16_t index) const {
    if (index >= m_fetches.size() || m_fetches[index].size() < 2) return false;
    const std::vector<std::string>& fetches = m_fetches[index];
    // The latest fetch is what the file holds: it must be the one that agrees.
    return std::find(fetches.begin(), fetches.end() - 1, fetches.back()) != fetches.end() - 1;
}

bool PartSettlement::allSettled() const { return unsettledParts().empty(); }

std::vector<uint16_t> PartSettlement::unsettledParts() const {
    std::vector<uint16_t> unsettled;
    for (uint16_t index = 0; index < m_fetches.size(); ++index) {
        if (!isSettled(index)) unsettled.push_back(index);
    }
    return unsettled;
}

}  // namespace VantisClient
