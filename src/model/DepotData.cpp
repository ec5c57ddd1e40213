#include "model/DepotData.h"

#include <Poco/JSON/Array.h>

namespace VantisClient {

namespace {

std::vector<std::string> stringElements(const Poco::JSON::Array::Ptr& array) {
    std::vector<std::string> elements;
    for (size_t i = 0; i < array->size(); ++i) {
        elements.push_back(array->getElement<std::string>(static_cast<unsigned>(i)));
    }
    return elements;
}

}  // namespace

bool DepotData::deserializeAndAddAvailableLanguages(const Poco::JSON::Object::Ptr& entry, LanguageList& available) {
    if (!entry->has("manifest")) return false;
    manifest = entry->getValue<std::string>("manifest");
    std::vector<std::string> depotLanguages{LanguageInfo::NeutralLanguageString};
    if (entry->has("languages")) depotLanguages = stringElements(entry->getArray("languages"));
    for (const std::string& language : depotLanguages) {
        languages.push_back(language);
        available.add_unique(LanguageInfo(language));
    }
    if (!entry->has("gameIDs")) return false;
    for (const std::string& gameId : stringElements(entry->getArray("gameIDs"))) gameIDs.push_back(gameId);
    return true;
}

}  // namespace VantisClient
