// What the backend offers for one game, or why it offers nothing: the answer
// of the engine's offer check, reported to the shell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/EInstallResult.h"
#include "model/AvailableGameIDInfo.h"
#include "model/DepotData.h"
#include "model/LanguageList.h"

namespace VantisClient {

struct ProductOfferStruct {
    std::string gameId;
    // Success when the product manifest was read; otherwise what an install of
    // the game would end with: UnknownGame, NotAuthorized (the user does not
    // own it) or ServerError (the manifest could not be fetched or read).
    EInstallResult result = EInstallResult::ServerError;
    // The languages and the game ids (the base game's extra content) the
    // product manifest offers.
    LanguageList languages;
    std::vector<AvailableGameIDInfo> gameIds;
    // The depots that make the game up, with their sizes.
    std::vector<DepotData> depots;

    // The bytes an install downloads for `offeredGameId` in `language`: the depots
    // of the game id in that language or the neutral one.
    uint64_t bytesOf(const std::string& offeredGameId, const std::string& language) const;
};

}  // namespace VantisClient
