// One language a product can be installed in, named as the backend spells it
// ("en", "Neutral"). Names compare exactly, case included.
// Thread-safety: a plain value; NeutralLanguageString is constant.
#pragma once

#include <string>

namespace VantisClient {

class LanguageInfo {
public:
    // The backend's name for content that is the same in every language.
    static const std::string NeutralLanguageString;

    LanguageInfo() = default;
    explicit LanguageInfo(const std::string& name);

    void assignString(const std::string& name);
    LanguageInfo& operator=(const std::string& name);
    const std::string& asString() const;

    bool operator==(const LanguageInfo& other) const;
    bool operator==(const std::string& name) const;

private:
    std::string m_name;
};

}  // namespace VantisClient
