#include "cli/CliHelp.h"

#include "cli/CliRequest.h"
#include "common/BuildInfo.h"
#include "common/Constants.h"

namespace VantisClient {
namespace {

const char* const OPTIONS = R"(
Installs, updates and plays one game of the store in a terminal, as the
desktop window does. Without --runWithoutUpdating the client first hands over
to the updater, which starts it again with the same options.

The game:
  --gameId=ID              the game's id (decimal digits)
  --path=DIR               the game's installation directory
  --runWithoutUpdating     run now instead of handing over to the updater
  (Instead of the two options, the directory and the id may follow as words.)

Signing in:
  --user=NAME              sign in as NAME through the login page when no
                           stored sign-in is valid; the password comes from
                           --password-stdin, else VANTIS_PASSWORD, else a
                           prompt on the terminal that does not echo
  --password-stdin         read the password from the first line of standard
                           input (for scripts and secret managers); it wins
                           over VANTIS_PASSWORD; on a terminal it is asked for;
                           an empty line is an error
  --sign-out               forget the stored sign-in of this account, then quit
  --offline                play an installed game without signing in; no
                           backend is needed

Installing:
  --install                install or update the game, then quit (with --play,
                           play it then)
  --language=CODE          the language to install, one the game offers (in any
                           case); default: the installed one, else the first
  --dlc=GID,...            the extra content to install, ids the game offers;
                           --dlc= installs none (and removes what is
                           installed); default: the installed extra content,
                           all of it for a first install
  --limit-rate=RATE        download at most RATE bytes per second in this run:
                           500K, 20M, 1.5G (K, M, G are 1024-based), 0 for no
                           limit; the settings are left as they are
  --backend-wait=SECONDS   how long an install waits for a usable backend
                           (default 60)
  --verify                 hash every installed file against the manifest,
                           report missing and damaged files by path and fetch
                           only those again
  --no-repair              with --verify: only report
  --uninstall              remove every file, directory and link the install
                           placed; files it did not place (saves) and the
                           directories that hold them stay, and the client says
                           which

Playing:
  --play[=TASK]            start the game's primary play task, or the one named
                           TASK, once the game is playable; the client ends
                           when the game does

Output:
  --info                   print the game's title, what is installed (version,
                           language, extra content by name and id, size on
                           disk, directory), what the backend offers and the
                           play tasks, then quit; without a backend, what is
                           installed
  --json                   one JSON object per line on standard output for each
                           event (state, progress, result, sign-in, game
                           started and ended), and no progress line
  --quiet                  print only errors
  --debugLaunch            also write the log to standard error, with the
                           developer's details

Start-up:
  --skipServiceRunningCheck  do not ask the client's service to fix the
                           permissions of its directories
  --waitForPreviousInstance  wait up to 15 s for a client still quitting
  --help, -h               this text
  --version                the version and the build

Passed between the programs of the client (accepted and forwarded to the
updater; the client itself does not act on them):
  --bundlePath=DIR  --installationPath=DIR  --clientPath=FILE  --channel=NAME
  --command=WORD  --fallbackRun  --forceUpdate  --cefLogging=SETTING
  --showDebugWindow  --deelevated

Environment:
  VANTIS_PASSWORD          the password for --user; taken out of the
                           environment at start, so no program the client
                           starts sees it
  VANTIS_HOME              where the client keeps its files (default
                           ${XDG_DATA_HOME:-~/.local/share}/Vantis)
  VANTIS_CONFIG_HOST       host:port of the backend's configuration
  VANTIS_ONLINE            0 or 1: whether the machine counts as online
  VANTIS_BUNDLE            the client's install prefix

Exit status:
  0    done (with --verify: the files are whole or were repaired)
  1    the client stopped: the game or its directory could not be used
  11   the install was stopped (Ctrl-C or SIGTERM); it resumes at the next run
  12   the install was postponed: the game is running
  13   the install failed: disk access problem
  14   the install failed: out of disk space
  15   the install failed: connection problem
  16   the install failed: not authorized (the account does not own the game)
  17   the install failed: server problem
  18   the install failed: the backend does not know the game
  20   the sign-in failed
  21   the game could not be started
  22   no usable backend within --backend-wait seconds
  23   the game is not installed (--verify)
  24   --verify --no-repair found missing or damaged files
  25   --uninstall refused: the game or an install of it runs
  64   usage error
  130  stopped by Ctrl-C (SIGINT) while no install ran, or by a second Ctrl-C
       while the client was quitting
  143  stopped by SIGTERM while no install ran
  246  the updater could not be started
  247  another client is running with the same VANTIS_HOME
  249  the game id is not a decimal id

Files:
)";

}  // namespace

std::string CliHelp::Text(const std::string& logFile, const std::string& supportRoot) {
    return CliRequest::Usage() + OPTIONS +
           "  the log                  " + logFile + "\n" +
           "  the settings             " + supportRoot + "/Config.json\n" +
           "  the stored sign-in       " + supportRoot + "/Tokens.json\n";
}

std::string CliHelp::Version() {
    return std::string("vantis-client ") + BuildInfo::Version() + "\nbuilt " + BuildInfo::BuildTime() + " for " +
           OPERATING_SYSTEM_STRING + ", compiler " + __VERSION__ + "\n";
}

}  // namespace VantisClient
