// What --install installs: a language and the game ids (the base game and its
// extra content), worked out from the user's options, what is installed and
// what the backend offers (the controller's ON_PRODUCT_OFFER message). A
// language or extra content the game does not offer is refused before
// anything starts, with what it does offer.
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
    // False, with the exit status the shell ends with and `error`, when the
    // backend offers nothing of the game (10 plus the install result that
    // says why), or not what the user asked for (a usage error).
    static bool Choose(const CliRequest& request, const ProductPresentationData& product, const ShellMessage& offer,
                       GameSelection& selection, int& exitStatus, std::string& error);

    // Why the backend offers nothing of the game, from the offer's result.
    static std::string NotOfferedText(EInstallResult failure, const std::string& gameId);

    // As the game offers it, whatever case the user wrote it in.
    std::string language;
    tRevisionList revisions;
};

}  // namespace VantisClient
