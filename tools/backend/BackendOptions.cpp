#include "backend/BackendOptions.h"

#include <functional>
#include <map>

#include <Poco/NumberParser.h>

namespace VantisClient {
namespace Backend {

const char* const BackendOptions::DEFAULT_CLIENT_ID = VANTIS_CLIENT_ID;
const char* const BackendOptions::DEFAULT_CLIENT_SECRET = VANTIS_CLIENT_SECRET;

const char* const BackendOptions::USAGE =
    "usage: vantis-backend --catalogue DIR --certificate PEM --key PEM [options]\n"
    "  --api-port N            HTTPS port on 127.0.0.1 (0: ephemeral; default 18443)\n"
    "  --web-port N            HTTP port on 127.0.0.1 (0: ephemeral; default 18080)\n"
    "  --accounts FILE         accounts (default: <catalogue>/accounts.json)\n"
    "  --gamecards DIR         game card page and assets\n"
    "  --reports DIR           append received problem reports to DIR/reports.jsonl\n"
    "  --faults FILE           fault rules to apply from the start\n"
    "  --client-id ID --client-secret SECRET\n"
    "  --token-lifetime S      access token lifetime in seconds (default 3600)\n"
    "  --link-lifetime S       content link lifetime in seconds (default 600)\n"
    "  --status TEXT --channel TEXT --talk-interval S --complain-interval S\n"
    "  --head-timeout S        seconds a connection has for its request head (default 5)\n"
    "  --idle-timeout S        seconds a kept-alive connection may stay idle (default 15)\n"
    "  --max-connections N     connections served at once on each listener (default 256)\n"
    "  --help                  this text\n"
    "On start it prints its ports and the control token that every control request\n"
    "must carry; README.md lists the routes, the accounts file and the control endpoints.\n";

bool BackendOptions::Parse(int argc, const char* const* argv, BackendOptions& options, std::string& error) {
    auto integer = [&](int& target) {
        return [&target](const std::string& value) { return Poco::NumberParser::tryParse(value, target) && target >= 0; };
    };
    auto seconds = [&](int& target) {
        return [&target](const std::string& value) {
            int parsed = 0;
            if (!Poco::NumberParser::tryParse(value, parsed) || parsed <= 0 || parsed > 3600) return false;
            target = parsed * 1000;
            return true;
        };
    };
    auto text = [](std::string& target) {
        return [&target](const std::string& value) {
            target = value;
            return true;
        };
    };
    const std::map<std::string, std::function<bool(const std::string&)>> setters = {
        {"--api-port", integer(options.apiPort)},
        {"--web-port", integer(options.webPort)},
        {"--catalogue", text(options.catalogue)},
        {"--accounts", text(options.accounts)},
        {"--certificate", text(options.certificate)},
        {"--key", text(options.privateKey)},
        {"--gamecards", text(options.gamecardDirectory)},
        {"--reports", text(options.reportsDirectory)},
        {"--faults", text(options.faultsFile)},
        {"--client-id", text(options.clientId)},
        {"--client-secret", text(options.clientSecret)},
        {"--token-lifetime", integer(options.tokenLifetime)},
        {"--link-lifetime", integer(options.linkLifetime)},
        {"--status", text(options.status)},
        {"--channel", text(options.channel)},
        {"--talk-interval", integer(options.talkInterval)},
        {"--complain-interval", integer(options.complainInterval)},
        {"--head-timeout", seconds(options.headTimeoutMs)},
        {"--idle-timeout", seconds(options.idleTimeoutMs)},
        {"--max-connections", integer(options.maxConnections)},
    };
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            options.help = true;
            return true;
        }
        auto setter = setters.find(argv[i]);
        if (setter == setters.end()) {
            error = std::string("unknown option ") + argv[i];
            return false;
        }
        if (i + 1 >= argc || !setter->second(argv[i + 1])) {
            error = std::string("bad or missing value for ") + argv[i];
            return false;
        }
        ++i;
    }
    if (options.apiPort > 65535 || options.webPort > 65535) {
        error = "ports run from 0 to 65535";
        return false;
    }
    if (options.maxConnections < 1 || options.maxConnections > 4096) {
        error = "--max-connections runs from 1 to 4096";
        return false;
    }
    if (options.catalogue.empty() || options.certificate.empty() || options.privateKey.empty()) {
        error = "--catalogue, --certificate and --key are required";
        return false;
    }
    if (options.accounts.empty()) options.accounts = options.catalogue + "/accounts.json";
    return true;
}

}  // namespace Backend
}  // namespace VantisClient
