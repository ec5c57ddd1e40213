#include "cli/CliRequest.h"

#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>

#include "cli/TransferRate.h"

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
const unsigned MAX_BACKEND_WAIT_SECONDS = 24 * 3600;

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
            {DLC, Kind::Value}, {BACKEND_WAIT, Kind::Value}, {PASSWORD_STDIN, Kind::Flag}, {LIMIT_RATE, Kind::Value}};
}

bool CliRequest::Read(const CmdlineOptions& options, CliRequest& request, std::string& error) {
    if (!options.rejections().empty()) {
        error = rejectionsText(options.rejections());
        return false;
    }
    request.user = options.extraOption(USER).value_or("");
    request.passwordFromInput = options.extraOption(PASSWORD_STDIN).has_value();
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
    return true;
}

std::string CliRequest::Usage() {
    return "usage: vantis-client [--runWithoutUpdating] --gameId=ID --path=DIR [options]\n"
           "       vantis-client --help | --version\n";
}

}  // namespace VantisClient
