#include "common/VantisErrorHandler.h"

#include <cstdlib>

#include <Poco/Net/SSLManager.h>

#include "common/Logger.h"

namespace VantisClient {

void VantisErrorHandler::Start() {
    static VantisErrorHandler handler;
    Poco::ErrorHandler::set(&handler);
}

void VantisErrorHandler::exception(const Poco::Exception& exc) { panic(exc.displayText()); }

void VantisErrorHandler::exception(const std::exception& exc) { panic(exc.what()); }

void VantisErrorHandler::exception() { panic("unknown exception"); }

void VantisErrorHandler::panic(const std::string& text) {
    try {
        Poco::Net::SSLManager::instance().shutdown();
    } catch (...) {
        // Ending the process matters more than a clean TLS shutdown.
    }
    Logger::LogFatal("Vantis Client encountered a fatal error: %s", text.c_str());
    // The log file is not flushed per line: close it so the fatal line survives.
    Logger::Close();
    // Other threads are still running; static destructors must not race them.
    std::_Exit(FATAL_EXIT_STATUS);
}

}  // namespace VantisClient
