#include "cli/GameSelection.h"

#include <algorithm>

#include <Poco/String.h>

#include "core/ClientCore.h"
#include "core/ProductManifestReader.h"
#include "model/RemoteProductDefinition.h"
#include "net/HttpTasks.h"

namespace VantisClient {
namespace {

bool offersLanguage(const LanguageList& languages, const std::string& language) {
    return std::any_of(languages.begin(), languages.end(), [&language](const LanguageInfo& offered) {
        return Poco::icompare(offered.asString(), language) == 0;
    });
}

std::string chooseLanguage(const CliRequest& request, const ProductPresentationData& product,
                           const LanguageList& offered) {
    if (!request.language.empty()) return request.language;
    if (!product.language.empty() && offersLanguage(offered, product.language)) return product.language;
    for (const LanguageInfo& language : offered) {
        if (language.asString() != LanguageInfo::NeutralLanguageString) return language.asString();
    }
    return std::string();
}

tRevisionList chooseRevisions(const CliRequest& request, const RemoteProductDefinition& definition) {
    tRevisionList revisions{definition.getGameId()};
    if (request.dlcs) {
        for (const std::string& id : *request.dlcs) {
            if (!revisions.containsGID(id)) revisions.push_back(id);
        }
        return revisions;
    }
    for (const AvailableGameIDInfo& available : definition.getAvailableGameIDs()) {
        if (!revisions.containsGID(available.gameId)) revisions.push_back(available.gameId);
    }
    return revisions;
}

// The backend refuses the manifest of a game the user does not own as well:
// the licence check that an install makes first tells that from a failure.
EInstallResult whyUnreadable(const std::string& gameId, bool notFound) {
    if (notFound) return EInstallResult::UnknownGame;
    return ClientCore::checkUserOwnGame(gameId) ? EInstallResult::ServerError : EInstallResult::NotAuthorized;
}

std::string unreadableText(EInstallResult failure, const std::string& gameId) {
    switch (failure) {
        case EInstallResult::UnknownGame: return "the backend does not know game " + gameId;
        case EInstallResult::NotAuthorized: return "the signed-in user does not own game " + gameId;
        default: return "the product manifest of game " + gameId + " could not be read";
    }
}

}  // namespace

bool GameSelection::Choose(const CliRequest& request, const ProductPresentationData& product, GameSelection& selection,
                           EInstallResult& failure, std::string& error, const AbortSignal::Ptr& interrupted) {
    RemoteProductDefinition definition;
    definition.setGameId(product.gameId);
    bool notFound = false;
    const std::string contents = Http::Tasks::getManifestContents(product.gameId, notFound, interrupted);
    if (contents.empty() || !ProductManifestReader::Read(definition, contents)) {
        failure = whyUnreadable(product.gameId, notFound);
        error = unreadableText(failure, product.gameId);
        return false;
    }
    LanguageList offered = definition.getAvailableLanguages();
    selection.language = chooseLanguage(request, product, offered);
    if (selection.language.empty() || !offersLanguage(offered, selection.language)) {
        failure = EInstallResult::ServerError;
        error = "game " + product.gameId + " is not offered in language '" + selection.language + "'";
        return false;
    }
    selection.revisions = chooseRevisions(request, definition);
    return true;
}

}  // namespace VantisClient
