#include "install/PartFailureStreak.h"

#include <Poco/Checksum.h>

namespace VantisClient {

std::string PartFailureStreak::Signature(const char* kind, const std::string& received) {
    // A checksum serves: it only has to tell two answers apart, and it is only
    // taken of answers that already failed.
    Poco::Checksum crc(Poco::Checksum::TYPE_CRC32);
    crc.update(received);
    return std::string(kind) + " " + std::to_string(received.size()) + " bytes crc " + std::to_string(crc.checksum());
}

bool PartFailureStreak::recordFailure(const std::string& path, uint16_t index, const std::string& signature) {
    Streak& streak = m_streaks[std::make_pair(path, index)];
    if (streak.signature == signature) {
        ++streak.length;
    } else {
        streak.signature = signature;
        streak.length = 1;
    }
    return streak.length >= DETERMINISTIC_FAILURES;
}

void PartFailureStreak::breakStreak(const std::string& path, uint16_t index) {
    m_streaks.erase(std::make_pair(path, index));
}

}  // namespace VantisClient
