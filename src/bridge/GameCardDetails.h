// What the game card shows beside the product and the view state, learnt by
// the controller from elsewhere: the signed-in account, the bytes the
// installed files take, and what an install would download.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace VantisClient {

struct GameCardDetails {
    // Bytes to download per game id, then per language, as the backend's
    // offer tells them; empty until the offer is known.
    using OfferedSizes = std::map<std::string, std::map<std::string, uint64_t>>;

    std::string accountName;
    uint64_t sizeOnDisk = 0;
    OfferedSizes offeredSizes;
};

}  // namespace VantisClient
