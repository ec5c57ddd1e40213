#include "service/ServiceOptions.h"

#include <Poco/NumberParser.h>

#include "service/ServiceLinkConstants.h"

namespace VantisClient {
namespace Service {

const char* const ServiceOptions::USAGE =
    "usage: vantis-service [--trigger FILE] [--port N] [--allow-root]\n"
    "  --trigger FILE   run while FILE exists; restart the listener when it is touched\n"
    "                   (default /tmp/vantisservice.txt)\n"
    "  --port N         TCP port on 127.0.0.1 (0: ephemeral; default 9977)\n"
    "  --allow-root     run even as root (containers and tests; never on a desktop)\n";

ServiceOptions::ServiceOptions() : triggerPath(SERVICE_TRIGGER_FILE_PATH), port(SERVICE_PORT) {}

bool ServiceOptions::Parse(int argc, const char* const* argv, ServiceOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--allow-root") {
            options.allowRoot = true;
            continue;
        }
        if (option != "--trigger" && option != "--port") {
            error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            error = "missing value for " + option;
            return false;
        }
        const std::string value = argv[++i];
        unsigned port = 0;
        if (option == "--trigger") {
            options.triggerPath = value;
        } else if (Poco::NumberParser::tryParseUnsigned(value, port) && port <= 65535) {
            options.port = static_cast<uint16_t>(port);
        } else {
            error = "bad port " + value;
            return false;
        }
    }
    if (options.triggerPath[0] != '/') {
        error = "the trigger file needs an absolute path";
        return false;
    }
    return true;
}

}  // namespace Service
}  // namespace VantisClient
