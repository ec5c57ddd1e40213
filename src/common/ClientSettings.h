// The choices a person makes in the desktop client's Settings: the download
// limit, how many parts of a download are requested at once and the folder
// new games are installed into. They live in "Config.json" beside the
// client's other local settings (members DOWNLOAD_LIMIT_KEY,
// UserPreferences::PARTS_IN_FLIGHT_KEY and LIBRARY_KEY); a choice that was
// never made is absent there and leaves the engine's own value alone. Each
// install reads them when it starts, so a change applies to the next install
// and never to one half-way through.
// Thread-safety: stateless functions and a plain value; the file is read and
// written whole (JsonFile).
#pragma once

#include <optional>
#include <string>

#include "common/EngineSettings.h"

namespace VantisClient {

struct ClientSettings {
    static const char* const DOWNLOAD_LIMIT_KEY;
    static const char* const LIBRARY_KEY;
    static constexpr int32_t MIN_PARTS_IN_FLIGHT = 1;
    static constexpr int32_t MAX_PARTS_IN_FLIGHT = 16;

    // Bytes per second; 0 means no limit.
    std::optional<uint32_t> downloadLimit;
    std::optional<int32_t> partsInFlight;
    std::optional<std::string> libraryPath;

    // What "Config.json" in the application-support root holds; members that
    // are missing or of the wrong kind are left unset.
    static ClientSettings Stored();
    // The settings from what a person typed: a rate as the headless client's
    // --limit-rate takes it (empty for no limit), a whole number of parts and
    // an absolute folder. False with a message that names the field otherwise.
    static bool FromInput(const std::string& rate, const std::string& parts, const std::string& folder,
                          ClientSettings& settings, std::string& error);
    // Writes the members that are set, keeping the file's others. False (logged) on failure.
    bool store() const;
    // `base` with these choices in place; a limit set for this run only stays.
    EngineSettings appliedTo(EngineSettings base) const;
};

}  // namespace VantisClient
