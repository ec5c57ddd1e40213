// One game id a product offers (base game or extra content) with its display
// names. A standalone one can be installed without another.
// Thread-safety: a plain value.
#pragma once

#include <string>
#include <vector>

#include "model/LocString.h"

namespace VantisClient {

struct AvailableGameIDInfo {
    AvailableGameIDInfo() = default;
    AvailableGameIDInfo(const std::string& gameId_, bool standalone_) : gameId(gameId_), standalone(standalone_) {}

    std::string gameId;
    bool standalone = true;
    std::vector<std::string> dependencies;
    LocString names;
};

}  // namespace VantisClient
