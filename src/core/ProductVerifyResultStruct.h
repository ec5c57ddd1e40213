// What a verify found when it hashed every installed file of a game against
// its manifests, reported to the shell before any repair starts.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

struct ProductVerifyResultStruct {
    std::string gameId;
    // Paths relative to the game's directory (support files: to the game's
    // support directory), in byte order.
    std::vector<std::string> missingFiles;
    std::vector<std::string> damagedFiles;
    // True when the damaged and missing files are fetched again next; the
    // install result then tells how that went.
    bool repairing = false;

    bool intact() const { return missingFiles.empty() && damagedFiles.empty(); }
};

}  // namespace VantisClient
