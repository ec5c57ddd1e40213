#include "bridge/WebCacheLayout.h"

#include "common/ApplicationEnvironment.h"
#include "common/Utilities.h"

namespace VantisClient {

namespace {

const size_t MAX_GAME_ID_DIGITS = 20;

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("\\\0", 2)) == std::string::npos;
}

}  // namespace

const char* const WebCacheLayout::ENTRY_PAGE = "index.html";

bool WebCacheLayout::IsPlainGameId(const std::string& gameId) {
    if (gameId.empty() || gameId.size() > MAX_GAME_ID_DIGITS) return false;
    return gameId.find_first_not_of("0123456789") == std::string::npos;
}

bool WebCacheLayout::IsSafeRelativePath(const std::string& path) {
    size_t start = 0;
    while (true) {
        const size_t end = path.find('/', start);
        if (!isPlainName(path.substr(start, end - start))) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

std::string WebCacheLayout::GameDirectory(const std::string& gameId) {
    if (!IsPlainGameId(gameId)) return std::string();
    return Utilities::AppendPath(ApplicationEnvironment::GetWebcachePath(), gameId);
}

std::string WebCacheLayout::EntryPage(const std::string& gameId) {
    if (!IsPlainGameId(gameId)) return std::string();
    return Utilities::AppendPath(GameDirectory(gameId), ENTRY_PAGE);
}

std::string WebCacheLayout::BaseAddress(const std::string& gameCardEndpoint, const std::string& gameId) {
    return "http://" + gameCardEndpoint + "/" + gameId + "/";
}

}  // namespace VantisClient
