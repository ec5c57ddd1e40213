#include "bridge/LanguageNames.h"

#include <map>

namespace VantisClient {

std::string LanguageDisplayName(const std::string& code) {
    static const std::map<std::string, std::string> names = {
        {"ar", "Arabic"},     {"br", "Portuguese (Brazil)"}, {"cn", "Chinese (Simplified)"},
        {"cs", "Czech"},      {"da", "Danish"},              {"de", "German"},
        {"en", "English"},    {"es", "Spanish"},             {"fi", "Finnish"},
        {"fr", "French"},     {"hu", "Hungarian"},           {"it", "Italian"},
        {"ja", "Japanese"},   {"jp", "Japanese"},            {"ko", "Korean"},
        {"nl", "Dutch"},      {"no", "Norwegian"},           {"pl", "Polish"},
        {"pt", "Portuguese"}, {"ru", "Russian"},             {"sv", "Swedish"},
        {"tr", "Turkish"},    {"uk", "Ukrainian"},           {"zh", "Chinese"},
        {"Neutral", "All languages"},
    };
    const auto found = names.find(code);
    return found != names.end() ? found->second : code;
}

}  // namespace VantisClient
