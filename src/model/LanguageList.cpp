#include "model/LanguageList.h"

#include <algorithm>

namespace VantisClient {

void LanguageList::add_unique(const LanguageInfo& info) {
    if (std::find(begin(), end(), info) == end()) push_back(info);
}

void LanguageList::CreateAvailableLanguagesList(LanguageList& list) {
    auto neutral = std::find(list.begin(), list.end(), LanguageInfo::NeutralLanguageString);
    if (neutral != list.end()) list.erase(neutral);
}

}  // namespace VantisClient
