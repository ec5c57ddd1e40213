// One text in several localizations. The client only ever uses the neutral
// localization (code 0), so in practice a LocString yields the first text added.
// Thread-safety: a value; CurrentLocCode is process-wide and meant to be set once
// at start, before other threads read texts.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace VantisClient {

using ELocalizationCode = int32_t;

class LocString {
public:
    using Map = std::map<ELocalizationCode, std::string>;

    static ELocalizationCode CurrentLocCode;
    static const std::string StringNotLocalized;

    // The first text added also becomes the neutral fallback under code 0.
    void addString(ELocalizationCode code, const std::string& text);
    // The text for CurrentLocCode, else the neutral one, else "<not localized>".
    const std::string& getText() const;

    Map::const_iterator begin() const;
    Map::const_iterator end() const;

    static void SetLocalizationCode(ELocalizationCode code);
    static ELocalizationCode ParseLocalizationCode(const std::string& text);
    static std::string LocalizationCodeToString(ELocalizationCode code);

private:
    Map m_texts;
};

}  // namespace VantisClient
