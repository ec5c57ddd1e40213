// What --install installs, worked out from the options, what is installed and
// the backend's offer; and the refusals, with what the game does offer.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/GameSelection.h"

namespace VantisClient {
namespace {

using Texts = std::vector<std::string>;

const char* const GAME = "1207658924";
const char* const DLC = "1207658925";
const char* const OTHER_DLC = "1207658926";

ShellMessage offer(int64_t result = 0) {
    ShellMessage message(ShellMessage::ON_PRODUCT_OFFER);
    message.values["result"] = result;
    message.values["languages"] = Poco::Dynamic::Array{"en", "de"};
    message.values["gameIds"] = Poco::Dynamic::Array{GAME, DLC, OTHER_DLC};
    Poco::Dynamic::Array content;
    for (const auto& [id, name] : {std::pair<const char*, const char*>{GAME, "Sample Game"}, {DLC, "Sample DLC"},
                                   {OTHER_DLC, ""}}) {
        Poco::DynamicStruct record;
        record["gameId"] = id;
        record["name"] = name;
        content.push_back(record);
    }
    message.values["content"] = content;
    return message;
}

// Installed with `revisions` in `language`; never installed when both are empty.
ProductPresentationData product(const tRevisionList& revisions, const std::string& language) {
    return ProductPresentationData(ProductIdentification(GAME, 0, revisions, language), MiniManifestContents(),
                                   EProductState::None, LanguageList(), {});
}

CliRequest install(const std::string& language, std::optional<Texts> dlcs) {
    CliRequest request;
    request.install = true;
    request.language = language;
    request.dlcs = std::move(dlcs);
    return request;
}

}  // namespace

TEST(GameSelection, TheLanguageAsOfferedAndTheExtraContentKeptOrChosen) {
    const ProductPresentationData fresh = product({}, "");
    const ProductPresentationData withoutDlc = product({GAME}, "de");
    const ProductPresentationData withOneDlc = product({GAME, OTHER_DLC}, "de");
    const struct {
        const char* what;
        const ProductPresentationData& installed;
        CliRequest request;
        std::string language;
        tRevisionList revisions;
    } cases[] = {
        {"a first install takes everything", fresh, install("", std::nullopt), "en", {GAME, DLC, OTHER_DLC}},
        {"an update keeps no extra content", withoutDlc, install("", std::nullopt), "de", {GAME}},
        {"an update keeps the extra content installed", withOneDlc, install("", std::nullopt), "de",
         {GAME, OTHER_DLC}},
        {"chosen extra content", withOneDlc, install("", Texts{DLC}), "de", {GAME, DLC}},
        {"none chosen", withOneDlc, install("", Texts{}), "de", {GAME}},
        {"the base game among the ids", fresh, install("", Texts{GAME, DLC}), "en", {GAME, DLC}},
        {"a language in another case is stored as offered", withoutDlc, install("EN", std::nullopt), "en", {GAME}},
    };
    for (const auto& c : cases) {
        GameSelection selection;
        int status = -1;
        std::string error;
        ASSERT_TRUE(GameSelection::Choose(c.request, c.installed, offer(), selection, status, error))
            << c.what << ": " << error;
        EXPECT_EQ(c.language, selection.language) << c.what;
        EXPECT_EQ(c.revisions, selection.revisions) << c.what;
    }
}

TEST(GameSelection, WhatTheGameDoesNotOfferIsRefusedWithWhatItOffers) {
    const struct {
        const char* what;
        CliRequest request;
        int64_t result;
        int status;
        std::string error;
    } cases[] = {
        {"extra content", install("", Texts{"999"}), 0, CliRequest::EXIT_USAGE,
         "game 1207658924 offers no extra content 999; it offers: 1207658925 Sample DLC, 1207658926"},
        {"several", install("", Texts{"999", DLC, "998"}), 0, CliRequest::EXIT_USAGE,
         "game 1207658924 offers no extra content 999, 998; it offers: 1207658925 Sample DLC, 1207658926"},
        {"a language", install("xx", std::nullopt), 0, CliRequest::EXIT_USAGE,
         "game 1207658924 offers no language xx; it offers: en, de"},
        {"an unknown game", install("", std::nullopt), 8, 18, "the backend does not know game 1207658924"},
        {"a game not owned", install("", std::nullopt), 6, 16, "the signed-in user does not own game 1207658924"},
    };
    for (const auto& c : cases) {
        GameSelection selection;
        int status = -1;
        std::string error;
        EXPECT_FALSE(GameSelection::Choose(c.request, product({}, ""), offer(c.result), selection, status, error))
            << c.what;
        EXPECT_EQ(c.status, status) << c.what;
        EXPECT_EQ(c.error, error) << c.what;
    }
}

}  // namespace VantisClient
