// One depot listed by a product manifest: the game ids and languages it serves
// and the name of its depot manifest.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/JSON/Object.h>

#include "model/LanguageList.h"

namespace VantisClient {

struct DepotData {
    // Reads one "depots" element and adds its languages ("Neutral" when it names
    // none) to `languages`. False when "manifest" or "gameIDs" is missing.
    bool deserializeAndAddAvailableLanguages(const Poco::JSON::Object::Ptr& entry, LanguageList& languages);
    // The depot's files are for `language`: it names it (in any letter case)
    // or the neutral language.
    bool servesLanguage(const std::string& language) const;

    std::vector<std::string> gameIDs;
    std::vector<std::string> languages;
    std::string manifest;
    // The bytes of its files, from "size"; 0 when the manifest does not say.
    uint64_t size = 0;
};

}  // namespace VantisClient
