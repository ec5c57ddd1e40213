#include "cli/CliRequest.h"

#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>

#include "common/TransferRate.h"

namespace VantisClient {
namespace {

const char* const USER = "user";
const char* const INSTALL = "install";
const char* const PLAY = "play";
const char* const LANGUAGE = "language";
const char* const DLC = "dlc";
const char* const BACKEND_WAIT = "backend-wait";
const char* const PASSWORD_STDIN = "password-stdin";
const char* const LIMIT_RATE = "limit-rate";
const char* const VERIFY = "verify";
const char* const NO_REPAIR = "no-repair";
const char* const UNINSTALL = "uninstall";
const char* const SIGN_OUT = "sign-out";
const char* const OFFLINE = "offline";
const char* const INFO = "info";
const char* const JSON = "json";
const char* const QUIET = "quiet";
const unsigned MAX_BACKEND_WAIT_SECONDS = 24 * 3600;

// The first pair of options given together that do not fit, with why; empty when none.
std::string conflictOf(const CmdlineOptions& options) {
    const auto given = [&options](const char* name) { return options.extraOption(name).has_value(); };
    const struct {
        const char* first;
        const char* second;
        const char* why;
    } conflicts[] = {
        {VERIFY, INSTALL, "--verify repairs the installed game; --install changes it"},
        {UNINSTALL, INSTALL, "--uninstall removes the game that --install would install"},
        {UNINSTALL, VERIFY, "--uninstall removes the game that --verify would check"},
        {UNINSTALL, PLAY, "--uninstall removes the game that --play would start"},
        {OFFLINE, INSTALL, "--install needs the backend, which --offline does without"},
        {OFFLINE, VERIFY, "--verify needs the backend, which --offline does without"},
        {OFFLINE, UNINSTALL, "--uninstall works without signing in already"},
        {OFFLINE, USER, "--offline plays without signing in, --user signs in"},
        {SIGN_OUT, USER, "--sign-out forgets the sign-in that --user makes"},
        {SIGN_OUT, INSTALL, "--sign-out only forgets the stored sign-in"},
        {SIGN_OUT, VERIFY, "--sign-out only forgets the stored sign-in"},
        {SIGN_OUT, UNINSTALL, "--sign-out only forgets the stored sign-in"},
        {SIGN_OUT, PLAY, "--sign-out only forgets the stored sign-in"},
        {SIGN_OUT, OFFLINE, "--sign-out only forgets the stored sign-in"},
    };
    for (const auto& conflict : conflicts) {
        if (given(conflict.first) && given(conflict.second)) {
            return std::string("--") + conflict.first + " and --" + conflict.second + " do not go together: " +
                   conflict.why;
        }
    }
    if (given(NO_REPAIR) && !given(VERIFY)) return "--no-repair goes with --verify";
    return std::string();
}

bool isDecimalId(const std::string& text) {
    if (text.empty() || text.size() > 20) return false;
    return text.find_first_not_of("0123456789") == std::string::npos;
}

// "--bogus: unknown option; --gameId=2: given more than once"
std::string rejectionsText(const std::vector<CmdlineOptions::Rejection>& rejections) {
    std::string text;
    for (const CmdlineOptions::Rejection& rejection : rejections) {
        if (!text.empty()) text += "; ";
        text += rejection.argument + ": " + rejection.reason;
    }
    return text;
}

}  // namespace

std::vector<CmdlineOptions::ExtraOption> CliRequest::Options() {
    using Kind = CmdlineOptions::EOptionKind;
    return {{USER, Kind::Value}, {INSTALL, Kind::Flag}, {PLAY, Kind::OptionalValue}, {LANGUAGE, Kind::Value},
            {DLC, Kind::Value}, {BACKEND_WAIT, Kind::Value}, {PASSWORD_STDIN, Kind::Flag}, {LIMIT_RATE, Kind::Value},
            {VERIFY, Kind::Flag}, {NO_REPAIR, Kind::Flag}, {UNINSTALL, Kind::Flag}, {SIGN_OUT, Kind::Flag},
            {OFFLINE, Kind::Flag}, {INFO, Kind::Flag}, {JSON, Kind::Flag}, {QUIET, Kind::Flag}};
}

bool CliRequest::Read(const CmdlineOptions& options, CliRequest& request, std::string& error) {
    if (!options.rejections().empty()) {
        error = rejectionsText(options.rejections());
        return false;
    }
    error = conflictOf(options);
    if (!error.empty()) return false;
    request.user = options.extraOption(USER).value_or("");
    request.passwordFromInput = options.extraOption(PASSWORD_STDIN).has_value();
    request.verify = options.extraOption(VERIFY).has_value();
    request.repair = !options.extraOption(NO_REPAIR).has_value();
    request.uninstall = options.extraOption(UNINSTALL).has_value();
    request.signOut = options.extraOption(SIGN_OUT).has_value();
    request.offline = options.extraOption(OFFLINE).has_value();
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
    if (const std::optional<std::string> rate = options.extraOption(LIMIT_RATE)) {
        uint32_t bytesPerSecond = 0;
        if (!TransferRate::Parse(*rate, bytesPerSecond, error)) {
            error = "--limit-rate: " + error;
            return false;
        }
        request.downloadRateLimit = bytesPerSecond;
    }
    if (request.passwordFromInput && request.user.empty()) {
        error = "--password-stdin reads the password for --user=NAME";
        return false;
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
    return "usage: vantis-client [--runWithoutUpdating] --gameId=ID --path=DIR [options]\n"
           "       vantis-client --help | --version\n";
}

}  // namespace VantisClient
