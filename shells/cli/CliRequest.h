// What the user asked the headless shell to do, from its own options beside
// the client's: sign in as a user (the password from standard input if asked),
// install (in a language, with some of the extra content, at a limited rate),
// verify and repair, uninstall, play (also offline), sign out, or report on
// the game; and how it tells (text, JSON events, failures only). Also the exit
// statuses the shell reports.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/CmdlineOptions.h"

namespace VantisClient {

struct CliRequest {
    static constexpr int EXIT_SUCCESS_CODE = 0;
    // The engine stopped by itself (the launched game could not be used).
    static constexpr int EXIT_STOPPED = 1;
    // Plus the install result: 11 aborted ... 18 unknown game.
    static constexpr int EXIT_INSTALL_FAILED_BASE = 10;
    static constexpr int EXIT_SIGN_IN_FAILED = 20;
    static constexpr int EXIT_PLAY_FAILED = 21;
    // An install needs the backend, which could not be reached or whose
    // configuration stayed unusable for backendWaitSeconds.
    static constexpr int EXIT_BACKEND_UNUSABLE = 22;
    static constexpr int DEFAULT_BACKEND_WAIT_SECONDS = 60;
    // --verify: the game is not installed.
    static constexpr int EXIT_NOT_INSTALLED = 23;
    // --verify --no-repair found missing or damaged files.
    static constexpr int EXIT_FILES_DAMAGED = 24;
    // --uninstall refused: the game or an install of it runs.
    static constexpr int EXIT_GAME_BUSY = 25;
    static constexpr int EXIT_USAGE = 64;
    // Plus the signal that ended a run in which no install was running:
    // 130 for SIGINT (Ctrl-C), 143 for SIGTERM.
    static constexpr int EXIT_SIGNAL_BASE = 128;

    // The shell's options, to be parsed with the client's.
    static std::vector<CmdlineOptions::ExtraOption> Options();
    // False, with `error`, for options that do not fit together or values that
    // cannot be used.
    static bool Read(const CmdlineOptions& options, CliRequest& request, std::string& error);
    // The synopsis, for a usage error.
    static std::string Usage();

    std::string user;
    // The password is the first line of standard input, whatever the environment holds.
    bool passwordFromInput = false;
    bool install = false;
    bool play = false;
    // The play task's name; empty for the primary task.
    std::string playTask;
    std::string language;
    // Unset: all the extra content the game offers; set: exactly these ids.
    std::optional<std::vector<std::string>> dlcs;
    // How long an install waits for a usable backend before giving up.
    int backendWaitSeconds = DEFAULT_BACKEND_WAIT_SECONDS;
    // Bytes per second for this run's downloads (0: none), instead of the settings'.
    std::optional<uint32_t> downloadRateLimit;
    bool verify = false;
    // With verify: fetch the missing and damaged files again.
    bool repair = true;
    bool uninstall = false;
    bool signOut = false;
    // Play without signing in.
    bool offline = false;
    // Report what is installed and offered, then quit.
    bool info = false;
    // One JSON object per line for each event instead of text.
    bool json = false;
    // Failures only.
    bool quiet = false;
};

}  // namespace VantisClient
