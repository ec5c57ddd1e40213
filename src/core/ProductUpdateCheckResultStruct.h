// The update check's verdict on one product, reported to the engine.
#pragma once

#include <string>
#include <vector>

#include "core/EManifestUpdateCode.h"
#include "model/AvailableGameIDInfo.h"
#include "model/LanguageList.h"

namespace VantisClient {

struct ProductUpdateCheckResultStruct {
    EManifestUpdateCode code = EManifestUpdateCode::UpToDate;
    std::string gameId;
    // What the backend's product manifest offers: the languages and game ids a
    // card can choose from, also for a game that was never installed.
    LanguageList availableLanguages;
    std::vector<AvailableGameIDInfo> availableGameIds;
};

}  // namespace VantisClient
