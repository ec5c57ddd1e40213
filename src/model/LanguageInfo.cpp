#include "model/LanguageInfo.h"

namespace VantisClient {

const std::string LanguageInfo::NeutralLanguageString = "Neutral";

LanguageInfo::LanguageInfo(const std::string& name) : m_name(name) {}

void LanguageInfo::assignString(const std::string& name) { m_name = name; }

LanguageInfo& LanguageInfo::operator=(const std::string& name) {
    assignString(name);
    return *this;
}

const std::string& LanguageInfo::asString() const { return m_name; }

bool LanguageInfo::operator==(const LanguageInfo& other) const { return m_name == other.m_name; }

bool LanguageInfo::operator==(const std::string& name) const { return m_name == name; }

}  // namespace VantisClient
