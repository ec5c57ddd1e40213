#include "model/MiniManifestContents.h"

namespace VantisClient {

MiniManifestContents::MiniManifestContents(const std::string& gameId_, const std::string& installPath_)
    : gameId(gameId_), installPath(installPath_) {}

}  // namespace VantisClient
