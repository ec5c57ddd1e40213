// What --install installs: a language and the game ids (the base game and its
// extra content), worked out from the user's options, what is installed and
// what the backend's product manifest offers.
// Thread-safety: a plain value; Choose blocks on the backend and needs a
// signed-in user.
#pragma once

#include <string>

#include "cli/CliRequest.h"
#include "common/AbortSignal.h"
#include "install/EInstallResult.h"
#include "model/ProductPresentationData.h"
#include "model/tRevisionList.h"

namespace VantisClient {

struct GameSelection {
    // False, with `failure` (the install result the shell reports) and `error`,
    // when the backend does not offer the game or the language, or cannot be
    // read; also when `interrupted` is raised while the backend is asked.
    static bool Choose(const CliRequest& request, const ProductPresentationData& product, GameSelection& selection,
                       EInstallResult& failure, std::string& error, const AbortSignal::Ptr& interrupted);

    std::string language;
    tRevisionList revisions;
};

}  // namespace VantisClient
