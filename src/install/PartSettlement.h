// Which parts of a file whose MD5 differed from its manifest's are to be
// fetched again. A plain part carries no checksum of its own, so the only way
// to tell a damaged part from a sound one is to fetch it again: each fetch of a
// part leaves a digest of what it wrote, and a part is settled once its latest
// fetch agrees with an earlier one (what the file holds is then what the server
// sends). Only unsettled parts are fetched again. When every part is settled
// and the MD5 still differs, the parts agree on something the manifest does
// not: that counts as a failure of the whole file, and after a few of those the
// file is given up.
// Thread-safety: none; one owner thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VantisClient {

class PartSettlement {
public:
    explicit PartSettlement(uint16_t partCount);

    uint16_t getPartCount() const { return static_cast<uint16_t>(m_fetches.size()); }
    // The digest of what the latest fetch of part `index` wrote.
    void recordFetch(uint16_t index, const std::string& digest);
    bool isSettled(uint16_t index) const;
    bool allSettled() const;
    // The parts whose latest fetch agrees with no earlier one.
    std::vector<uint16_t> unsettledParts() const;
    // Every part settled and still the file's MD5 differs.
    void recordWholeFileFailure() { ++m_wholeFileFailures; }
    int getWholeFileFailures() const { return m_wholeFileFailures; }

private:
    // Per part, the digests of its fetches, oldest first.
    std::vector<std::vector<std::string>> m_fetches;
    int m_wholeFileFailures = 0;
};

}  // namespace VantisClient
