// What the info files in one installation directory say, merged: the game ids
// found, the base game's name, language and subtitle, every distinct play task,
// and the icon file.
// Thread-safety: a plain value.
#pragma once

#include <string>
#include <vector>

#include "model/PlayTaskStruct.h"
#include "model/tRevisionList.h"

namespace VantisClient {

struct MiniManifestContents {
    MiniManifestContents() = default;
    MiniManifestContents(const std::string& gameId, const std::string& installPath);

    std::string gameId;
    std::string installPath;
    tRevisionList installedGameIds;
    std::string language;
    std::string name;
    std::string subtitle;
    std::vector<PlayTaskStruct> playTasks;
    std::string iconPath;
};

}  // namespace VantisClient
