#include "common/ProgressMeter.h"

#include <cmath>
#include <cstdio>

namespace VantisClient {
namespace {

const double BYTES_PER_MIB = 1048576.0;

std::string formatOneDecimal(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.1f %s", value, unit);
    return text;
}

}  // namespace

const std::chrono::seconds ProgressMeter::SPEED_WINDOW(5);

ProgressMeter::ProgressMeter(Clock clock) : m_clock(std::move(clock)) {}

void ProgressMeter::addSample(uint64_t bytesDone, uint64_t bytesTotal) {
    if (!m_samples.empty() && bytesDone < m_samples.back().bytesDone) reset();
    const auto now = m_clock();
    m_samples.push_back(Sample{now, bytesDone});
    m_bytesTotal = bytesTotal;
    dropSamplesBefore(now - SPEED_WINDOW);
}

void ProgressMeter::reset() {
    m_samples.clear();
    m_bytesTotal = 0;
}

void ProgressMeter::dropSamplesBefore(std::chrono::steady_clock::time_point start) {
    // Keep the last sample at or before the start as the base of the speed.
    while (m_samples.size() > 1 && m_samples[1].time <= start) m_samples.pop_front();
}

double ProgressMeter::bytesPerSecond() const {
    if (m_samples.size() < 2) return 0;
    const Sample& first = m_samples.front();
    const Sample& last = m_samples.back();
    const double seconds = std::chrono::duration<double>(last.time - first.time).count();
    if (seconds <= 0) return 0;
    return static_cast<double>(last.bytesDone - first.bytesDone) / seconds;
}

bool ProgressMeter::secondsLeft(uint64_t& seconds) const {
    const double speed = bytesPerSecond();
    if (speed <= 0) return false;
    const uint64_t done = m_samples.back().bytesDone;
    const uint64_t left = m_bytesTotal > done ? m_bytesTotal - done : 0;
    seconds = static_cast<uint64_t>(std::ceil(static_cast<double>(left) / speed));
    return true;
}

std::string ProgressMeter::FormatMiB(uint64_t bytes) {
    return formatOneDecimal(static_cast<double>(bytes) / BYTES_PER_MIB, "MiB");
}

std::string ProgressMeter::FormatSpeed(double bytesPerSecond) {
    return formatOneDecimal(bytesPerSecond / BYTES_PER_MIB, "MiB/s");
}

std::string ProgressMeter::FormatDuration(uint64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llu:%02u", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned>(seconds % 60));
    return text;
}

}  // namespace VantisClient
