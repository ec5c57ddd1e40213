// vantis-service: this platform's service of the client. Runs as the user who
// starts it, while the trigger file exists, and serves that user's client on
// 127.0.0.1 (see ServiceProgram).
#include <csignal>
#include <iostream>
#include <string>

#include "common/StopSignals.h"
#include "service/ServiceLog.h"
#include "service/ServiceOptions.h"
#include "service/ServiceProgram.h"

int main(int argc, char** argv) {
    // Before any thread exists, so that only the control loop receives them.
    VantisClient::StopSignals::Block();
    std::signal(SIGPIPE, SIG_IGN);

    VantisClient::Service::ServiceOptions options;
    std::string error;
    if (!VantisClient::Service::ServiceOptions::Parse(argc, argv, options, error)) {
        std::cerr << "vantis-service: " << error << "\n" << VantisClient::Service::ServiceOptions::USAGE;
        return 2;
    }
    VantisClient::Service::ServiceLog::Start();
    return VantisClient::Service::ServiceProgram(options).run();
}
