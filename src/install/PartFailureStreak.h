// Tells a part that fails the same way each time it is fetched from one that
// met a passing fault. Each failure of a part leaves a signature: what went
// wrong and a digest of the bytes received. The same signature several times in
// a row (a part that inflates beyond its size, an answer of the same wrong
// length, damaged bytes that come back identical) is the server's doing and
// will not go away by fetching again; a success or a different failure breaks
// the streak.
// Thread-safety: none; one owner thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace VantisClient {

class PartFailureStreak {
public:
    // A part that failed the same way this often in a row is not fetched again.
    static constexpr int DETERMINISTIC_FAILURES = 3;

    // The signature of a failure: its kind and a digest of the bytes received.
    static std::string Signature(const char* kind, const std::string& received);

    // Records a failure of a part; true when it is the same failure as the last
    // DETERMINISTIC_FAILURES - 1 ones of that part.
    bool recordFailure(const std::string& path, uint16_t index, const std::string& signature);
    // A failure that tells nothing of the server's data (a dropped connection,
    // a busy server) or a success ends the part's streak.
    void breakStreak(const std::string& path, uint16_t index);

private:
    struct Streak {
        std::string signature;
        int length = 0;
    };
    std::map<std::pair<std::string, uint16_t>, Streak> m_streaks;
};

}  // namespace VantisClient
