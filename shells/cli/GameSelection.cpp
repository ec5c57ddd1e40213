#include "cli/GameSelection.h"

#include <algorithm>

#include <Poco/String.h>

#include "model/LanguageInfo.h"

namespace VantisClient {
namespace {

using Texts = std::vector<std::string>;

bool offersLanguage(const Texts& languages, const std::string& language) {
    return std::any_of(languages.begin(), languages.end(),
                       [&language](const std::string& offered) { return Poco::icompare(offered, language) == 0; });
}

std::string chooseLanguage(const CliRequest& request, const ProductPresentationData& product, const Texts& offered) {
    if (!request.language.empty()) return request.language;
    if (!product.language.empty() && offersLanguage(offered, product.language)) return product.language;
    for (const std::string& language : offered) {
        if (language != LanguageInfo::NeutralLanguageString) return language;
    }
    return std::string();
}

tRevisionList chooseRevisions(const CliRequest& request, const std::string& gameId, const Texts& offered) {
    tRevisionList revisions{gameId};
    const Texts& chosen = request.dlcs ? *request.dlcs : offered;
    for (const std::string& id : chosen) {
        if (!revisions.containsGID(id)) revisions.push_back(id);
    }
    return revisions;
}

}  // namespace

std::string GameSelection::NotOfferedText(EInstallResult failure, const std::string& gameId) {
    switch (failure) {
        case EInstallResult::UnknownGame: return "the backend does not know game " + gameId;
        case EInstallResult::NotAuthorized: return "the signed-in user does not own game " + gameId;
        default: return "the product manifest of game " + gameId + " could not be read";
    }
}

bool GameSelection::Choose(const CliRequest& request, const ProductPresentationData& product, const ShellMessage& offer,
                           GameSelection& selection, EInstallResult& failure, std::string& error) {
    const int64_t result = offer.integer("result", static_cast<int64_t>(EInstallResult::ServerError));
    if (result != static_cast<int64_t>(EInstallResult::Success)) {
        failure = static_cast<EInstallResult>(result);
        error = NotOfferedText(failure, product.gameId);
        return false;
    }
    const Texts offered = offer.texts("languages");
    selection.language = chooseLanguage(request, product, offered);
    if (selection.language.empty() || !offersLanguage(offered, selection.language)) {
        failure = EInstallResult::ServerError;
        error = "game " + product.gameId + " is not offered in language '" + selection.language + "'";
        return false;
    }
    selection.revisions = chooseRevisions(request, product.gameId, offer.texts("gameIds"));
    return true;
}

}  // namespace VantisClient
