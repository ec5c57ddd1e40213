// Decides where the game card comes from each time it is to be shown: the
// backend's page when the machine is online and the page answers, else the
// game's web cache when it holds an entry page, else the fallback page shipped
// with the application.
// Thread-safety: stateless. GetGameViewAction and checkWebPage block the
// calling thread for the page check (a blocking request: never call them on
// the thread that delivers HTTP answers).
#pragma once

#include <string>

namespace VantisClient {

class GameViewResolver {
public:
    enum GameViewAction { FALLBACK_PAGE = 0, WEB_CACHE = 1, REMOTE_PAGE = 2 };

    static int GetGameViewAction(const std::string& gameId, const std::string& remotePage);
    static bool checkIfOnline();
    // The page answered with status 200.
    static bool checkWebPage(const std::string& address);
    // The game's cached entry page is there (and is not a directory).
    static bool checkWebCache(const std::string& gameId);
};

}  // namespace VantisClient
