#include "cli/GameSelection.h"

#include <algorithm>

#include <Poco/String.h>

#include "install/EInstallResult.h"
#include "model/LanguageInfo.h"

namespace VantisClient {
namespace {

using Texts = std::vector<std::string>;

// The extra content the backend offers for a game: ids and names, without the base game.
struct ExtraContent {
    Texts ids;
    Texts names;
};

ExtraContent extraContentOf(const ShellMessage& offer, const std::string& gameId) {
    ExtraContent extra;
    for (const Poco::DynamicStruct& record : offer.records("content")) {
        const std::string id = record["gameId"].toString();
        if (id == gameId) continue;
        extra.ids.push_back(id);
        extra.names.push_back(record["name"].toString());
    }
    return extra;
}

// "1207658925 Sample DLC, 1207658926"; "none" when there is nothing.
std::string offeredText(const Texts& ids, const Texts& names) {
    std::string text;
    for (size_t index = 0; index < ids.size(); ++index) {
        if (!text.empty()) text += ", ";
        text += ids[index];
        if (index < names.size() && !names[index].empty()) text += " " + names[index];
    }
    return text.empty() ? "none" : text;
}

std::string joined(const Texts& texts) {
    return texts.empty() ? "none" : Poco::cat(std::string(", "), texts.begin(), texts.end());
}

// The offered spelling of `language`, matched in any case; empty when it is not offered.
std::string offeredLanguage(const Texts& languages, const std::string& language) {
    const auto offered = std::find_if(languages.begin(), languages.end(), [&language](const std::string& candidate) {
        return Poco::icompare(candidate, language) == 0;
    });
    return offered == languages.end() ? std::string() : *offered;
}

std::string defaultLanguage(const ProductPresentationData& product, const Texts& languages) {
    const std::string installed = offeredLanguage(languages, product.language);
    if (!product.language.empty() && !installed.empty()) return installed;
    for (const std::string& language : languages) {
        if (language != LanguageInfo::NeutralLanguageString) return language;
    }
    return std::string();
}

// Without --dlc: what is installed stays (so far as the game still offers
// it); a game that was never installed gets all of it.
Texts defaultExtraContent(const ProductPresentationData& product, const ExtraContent& offered) {
    if (product.revisions.empty()) return offered.ids;
    Texts kept;
    for (const std::string& id : offered.ids) {
        if (product.revisions.containsGID(id)) kept.push_back(id);
    }
    return kept;
}

Texts notOffered(const Texts& wanted, const ExtraContent& offered, const std::string& gameId) {
    Texts missing;
    for (const std::string& id : wanted) {
        const bool known = id == gameId || std::find(offered.ids.begin(), offered.ids.end(), id) != offered.ids.end();
        if (!known) missing.push_back(id);
    }
    return missing;
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
                           GameSelection& selection, int& exitStatus, std::string& error) {
    const std::string& gameId = product.gameId;
    const int64_t result = offer.integer("result", static_cast<int64_t>(EInstallResult::ServerError));
    if (result != static_cast<int64_t>(EInstallResult::Success)) {
        exitStatus = CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(result);
        error = NotOfferedText(static_cast<EInstallResult>(result), gameId);
        return false;
    }
    const Texts languages = offer.texts("languages");
    const ExtraContent extra = extraContentOf(offer, gameId);
    if (!request.language.empty()) {
        selection.language = offeredLanguage(languages, request.language);
        if (selection.language.empty()) {
            exitStatus = CliRequest::EXIT_USAGE;
            error = "game " + gameId + " offers no language " + request.language + "; it offers: " + joined(languages);
            return false;
        }
    } else {
        selection.language = defaultLanguage(product, languages);
        if (selection.language.empty()) {
            exitStatus = CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::ServerError);
            error = "game " + gameId + " offers no language to install";
            return false;
        }
    }
    if (request.dlcs) {
        const Texts missing = notOffered(*request.dlcs, extra, gameId);
        if (!missing.empty()) {
            exitStatus = CliRequest::EXIT_USAGE;
            error = "game " + gameId + " offers no extra content " + joined(missing) +
                    "; it offers: " + offeredText(extra.ids, extra.names);
            return false;
        }
    }
    selection.revisions = tRevisionList{gameId};
    for (const std::string& id : request.dlcs ? *request.dlcs : defaultExtraContent(product, extra)) {
        if (!selection.revisions.containsGID(id)) selection.revisions.push_back(id);
    }
    return true;
}

}  // namespace VantisClient
