#include "model/LocString.h"

#include "model/LanguageInfo.h"

namespace VantisClient {

namespace {
const ELocalizationCode NEUTRAL_CODE = 0;
}

ELocalizationCode LocString::CurrentLocCode = NEUTRAL_CODE;
const std::string LocString::StringNotLocalized = "<not localized>";

void LocString::addString(ELocalizationCode code, const std::string& text) {
    if (m_texts.empty()) m_texts[NEUTRAL_CODE] = text;
    m_texts[code] = text;
}

const std::string& LocString::getText() const {
    auto current = m_texts.find(CurrentLocCode);
    if (current != m_texts.end()) return current->second;
    auto neutral = m_texts.find(NEUTRAL_CODE);
    if (neutral != m_texts.end()) return neutral->second;
    return StringNotLocalized;
}

LocString::Map::const_iterator LocString::begin() const { return m_texts.begin(); }

LocString::Map::const_iterator LocString::end() const { return m_texts.end(); }

void LocString::SetLocalizationCode(ELocalizationCode code) { CurrentLocCode = code; }

ELocalizationCode LocString::ParseLocalizationCode(const std::string&) { return NEUTRAL_CODE; }

std::string LocString::LocalizationCodeToString(ELocalizationCode) { return LanguageInfo::NeutralLanguageString; }

}  // namespace VantisClient
