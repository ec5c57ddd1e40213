#include "bridge/TransferRate.h"

namespace VantisClient {
namespace {

const std::chrono::seconds WINDOW(5);

}  // namespace

void TransferRate::add(uint64_t bytesDone, Clock::time_point at) {
    if (!m_samples.empty() && (bytesDone < m_samples.back().second || at < m_samples.back().first)) reset();
    m_samples.emplace_back(at, bytesDone);
    // Keep one sample older than the window, so that the window is always spanned.
    while (m_samples.size() > 2 && at - m_samples[1].first >= WINDOW) m_samples.pop_front();
}

uint64_t TransferRate::bytesPerSecond() const {
    if (m_samples.size() < 2) return 0;
    const auto elapsed = std::chrono::duration<double>(m_samples.back().first - m_samples.front().first).count();
    if (elapsed <= 0) return 0;
    return static_cast<uint64_t>(static_cast<double>(m_samples.back().second - m_samples.front().second) / elapsed);
}

}  // namespace VantisClient
