// The update check's verdict on one product, reported to the engine.
#pragma once

#include <string>

#include "core/EManifestUpdateCode.h"

namespace VantisClient {

struct ProductUpdateCheckResultStruct {
    EManifestUpdateCode code = EManifestUpdateCode::UpToDate;
    std::string gameId;
};

}  // namespace VantisClient
