// One depot listed by a product manifest: the game ids and languages it serves
// and the name of its depot manifest.
// Thread-safety: a plain value.
#pragma once

#include <string>
#include <vector>

#include <Poco/JSON/Object.h>

#include "model/LanguageList.h"

namespace VantisClient {

struct DepotData {
    // Reads one "depots" element and adds its languages ("Neutral" when it names
    // none) to `languages`. False when "manifest" or "gameIDs" is missing.
    bool deserializeAndAddAvailableLanguages(const Poco::JSON::Object::Ptr& entry, LanguageList& languages);

    std::vector<std::string> gameIDs;
    std::vector<std::string> languages;
    std::string manifest;
};

}  // namespace VantisClient
