// Where the web cache keeps a game's card and which names may be used there.
// The game id names a directory and the web view's addresses name files below
// it; both come from outside (the command line, the page), so only a plain
// decimal id and relative paths made of plain names are accepted.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class WebCacheLayout {
public:
    static const char* const ENTRY_PAGE;

    // 1 to 20 decimal digits, nothing else.
    static bool IsPlainGameId(const std::string& gameId);
    // Names joined by "/", none of them empty, "." or "..", and no backslash or
    // zero byte anywhere: nothing another reader of the path could take for a
    // different place.
    static bool IsSafeRelativePath(const std::string& path);
    // The web-cache directory joined with the game id; empty for an id that is
    // not plain.
    static std::string GameDirectory(const std::string& gameId);
    // The game's cached entry page; empty for an id that is not plain.
    static std::string EntryPage(const std::string& gameId);
    // The address every resource of the game's card lies below:
    // "http://" + endpoint + "/" + game id + "/".
    static std::string BaseAddress(const std::string& gameCardEndpoint, const std::string& gameId);
};

}  // namespace VantisClient
