// The application's default settings: the keys of the shipped defaults file
// that the user's "Config.json" does not set yet are added to it, so a user
// sees and can change every setting in one place; values the user set stay.
// Thread-safety: stateless; called once at start.
#pragma once

#include <string>

namespace VantisClient {

class DefaultSettings {
public:
    // Settings that must not outlive a development session.
    static const char* const REMOVED_SETTING;

    // False, with a warning, when the defaults cannot be read or the settings
    // cannot be written; the user's file is then left as it was.
    static bool Register(const std::string& defaultsPath, const std::string& configPath);
};

}  // namespace VantisClient
