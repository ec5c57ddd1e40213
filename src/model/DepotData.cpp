#include "model/DepotData.h"

#include <algorithm>

#include <Poco/JSON/Array.h>

#include "common/StringUtils.h"

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
    size = entry->optValue<Poco::UInt64>("size", 0);
    if (!entry->has("gameIDs")) return false;
    for (const std::string& gameId : stringElements(entry->getArray("gameIDs"))) gameIDs.push_back(gameId);
    return true;
}

bool DepotData::servesLanguage(const std::string& language) const {
    return std::any_of(languages.begin(), languages.end(), [&language](const std::string& served) {
        return StringUtils::StringsMatchCaseInsensitive(served, language) || served == LanguageInfo::NeutralLanguageString;
    });
}

}  // namespace VantisClient
