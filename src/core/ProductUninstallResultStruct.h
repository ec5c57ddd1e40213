// How the removal of an installed game ended, reported to the shell.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

struct ProductUninstallResultStruct {
    enum class Outcome {
        // Everything the install placed is gone, and so are the game's records.
        Removed,
        // Refused before anything was removed: a program of the game runs.
        GameRunning,
        // Refused before anything was removed: an install of the game is queued or runs.
        InstallRunning,
        // The engine knows no such game.
        NotInstalled,
        // Something the install placed could not be removed (see failedPaths);
        // the records stay, so that another uninstall can finish the work.
        Failed,
        // Stopped before it was done; the records stay.
        Aborted,
    };

    std::string gameId;
    Outcome outcome = Outcome::Failed;
    // Files and links in the game's directory that the install did not place
    // and that therefore stay, relative to it, in byte order.
    std::vector<std::string> keptFiles;
    // What could not be removed, with the reason.
    std::vector<std::string> failedPaths;
    // For GameRunning: the process and the file it uses.
    std::string detail;
};

}  // namespace VantisClient
