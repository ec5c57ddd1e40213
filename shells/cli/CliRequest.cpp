#include "cli/CliRequest.h"

#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>

namespace VantisClient {
namespace {

const char* const USER = "user";
const char* const INSTALL = "install";
const char* const PLAY = "play";
const char* const LANGUAGE = "language";
const char* const DLC = "dlc";
const char* const BACKEND_WAIT = "backend-wait";
const char* const INFO = "info";
const char* const JSON = "json";
const char* const QUIET = "quiet";
const unsigned MAX_BACKEND_WAIT_SECONDS = 24 * 3600;

bool isDecimalId(const std::string& text) {
    if (text.empty() || text.size() > 20) return false;
    return text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::vector<CmdlineOptions::ExtraOption> CliRequest::Options() {
    using Kind = CmdlineOptions::EOptionKind;
    return {{USER, Kind::Value}, {INSTALL, Kind::Flag}, {PLAY, Kind::OptionalValue}, {LANGUAGE, Kind::Value},
            {DLC, Kind::Value}, {BACKEND_WAIT, Kind::Value}, {INFO, Kind::Flag},   {JSON, Kind::Flag},
            {QUIET, Kind::Flag}};
}

bool CliRequest::Read(const CmdlineOptions& options, CliRequest& request, std::string& error) {
    if (!options.parseErrors().empty()) {
        error = options.parseErrors();
        return false;
    }
    request.user = options.extraOption(USER).value_or("");
    request.install = options.extraOption(INSTALL).has_value();
    request.play = options.extraOption(PLAY).has_value();
    request.playTask = options.extraOption(PLAY).value_or("");
    request.language = options.extraOption(LANGUAGE).value_or("");
    if (const std::optional<std::string> dlcs = options.extraOption(DLC)) {
        request.dlcs = std::vector<std::string>();
        const Poco::StringTokenizer ids(*dlcs, ",", Poco::StringTokenizer::TOK_TRIM | Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        for (const std::string& id : ids) {
            if (!isDecimalId(id)) {
                error = "--dlc takes decimal game ids separated by commas, not '" + id + "'";
                return false;
            }
            request.dlcs->push_back(id);
        }
    }
    if (const std::optional<std::string> wait = options.extraOption(BACKEND_WAIT)) {
        unsigned seconds = 0;
        if (!isDecimalId(*wait) || !Poco::NumberParser::tryParseUnsigned(*wait, seconds) || seconds < 1 ||
            seconds > MAX_BACKEND_WAIT_SECONDS) {
            error = "--backend-wait takes seconds from 1 to " + std::to_string(MAX_BACKEND_WAIT_SECONDS) + ", not '" +
                    *wait + "'";
            return false;
        }
        request.backendWaitSeconds = static_cast<int>(seconds);
    }
    if ((!request.language.empty() || request.dlcs) && !request.install) {
        error = "--language and --dlc choose what --install installs";
        return false;
    }
    request.info = options.extraOption(INFO).has_value();
    request.json = options.extraOption(JSON).has_value();
    request.quiet = options.extraOption(QUIET).has_value();
    if (request.info && (request.install || request.play)) {
        error = "--info reports and quits: it goes with neither --install nor --play";
        return false;
    }
    if (request.json && request.quiet) {
        error = "--json and --quiet choose two different outputs";
        return false;
    }
    return true;
}

std::string CliRequest::Usage() {
    return "usage: vantis-client --runWithoutUpdating --gameId=ID --path=DIR [--user=NAME] [--install "
           "[--language=CODE] [--dlc=GID,...]] [--play[=TASK] | --info] [--json | --quiet] [--skipServiceRunningCheck]\n"
           "  --user=NAME      sign in through the login page (password from VANTIS_PASSWORD or asked)\n"
           "  --install        install or update the game, then quit\n"
           "  --language=CODE  the language to install (default: the installed or first offered one)\n"
           "  --dlc=GID,...    the extra content to install (default: all; --dlc= for none)\n"
           "  --play[=TASK]    start the game's primary (or named) play task once it is playable\n"
           "  --backend-wait=SECONDS  how long an install waits for a usable backend (default 60)\n"
           "  --info           show what is installed and what the backend offers, then quit\n"
           "  --json           one JSON object per line on stdout for each event, no text there\n"
           "  --quiet          print errors only\n"
           "exit status: 0 done, 10 + the install result when an install failed, 20 sign-in failed,\n"
           "             21 the game could not be started, 22 no usable backend, 64 usage\n";
}

}  // namespace VantisClient
