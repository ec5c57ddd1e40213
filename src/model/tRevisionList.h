// The game ids selected for installation: a base game and its extra content.
// Thread-safety: a plain value.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

class tRevisionList : public std::vector<std::string> {
public:
    using std::vector<std::string>::vector;

    // Exact, case-sensitive comparison.
    bool containsGID(const std::string& gameId) const;
};

}  // namespace VantisClient
