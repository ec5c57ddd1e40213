#include "core/ProductOfferStruct.h"

#include <algorithm>

namespace VantisClient {

uint64_t ProductOfferStruct::bytesOf(const std::string& offeredGameId, const std::string& language) const {
    uint64_t bytes = 0;
    for (const DepotData& depot : depots) {
        const bool ofGame = std::find(depot.gameIDs.begin(), depot.gameIDs.end(), offeredGameId) != depot.gameIDs.end();
        if (ofGame && depot.servesLanguage(language)) bytes += depot.size;
    }
    return bytes;
}

}  // namespace VantisClient
