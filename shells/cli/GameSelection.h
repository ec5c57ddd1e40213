// What --install installs: a language and the game ids (the base game and its
// extra content), worked out from the user's options, what is installed and
// what the backend offers (the controller's ON_PRODUCT_OFFER message).
// Thread-safety: a plain value.
#pragma once

#include <string>

#include "bridge/ShellMessage.h"
#include "cli/CliRequest.h"
#include "install/EInstallResult.h"
#include "model/ProductPresentationData.h"
#include "model/tRevisionList.h"

namespace VantisClient {

struct GameSelection {
    // False, with `failure` (the install result the shell reports) and `error`,
    // when the backend does not offer the game or the language.
    static bool Choose(const CliRequest& request, const ProductPresentationData& product, const ShellMessage& offer,
                       GameSelection& selection, EInstallResult& failure, std::string& error);

    // Why the backend offers nothing of the game, from the offer's result.
    static std::string NotOfferedText(EInstallResult failure, const std::string& gameId);

    std::string language;
    tRevisionList revisions;
};

}  // namespace VantisClient
