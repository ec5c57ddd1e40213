// vantis-backend: the local store backend. Serves a catalogue made by
// vantis-pack until it receives SIGINT or SIGTERM.
#include <csignal>
#include <iostream>
#include <string>

#include "backend/BackendOptions.h"
#include "backend/BackendServer.h"

namespace {

int waitForSignal() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    int received = 0;
    sigwait(&signals, &received);
    return received;
}

}  // namespace

int main(int argc, char** argv) {
    // Blocked before any thread starts, so that only sigwait receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    VantisClient::Backend::BackendOptions options;
    std::string error;
    if (!VantisClient::Backend::BackendOptions::Parse(argc, argv, options, error)) {
        std::cerr << "vantis-backend: " << error << "\n" << VantisClient::Backend::BackendOptions::USAGE;
        return 2;
    }
    if (options.help) {
        std::cout << VantisClient::Backend::BackendOptions::USAGE;
        return 0;
    }
    VantisClient::Backend::BackendServer server(options);
    if (!server.start(error)) {
        std::cerr << "vantis-backend: " << error << "\n";
        return 1;
    }
    std::cout << "vantis-backend api https://127.0.0.1:" << server.apiPort() << " web http://127.0.0.1:"
              << server.webPort() << " control-token " << server.controlToken() << std::endl;
    waitForSignal();
    server.stop();
    return 0;
}
