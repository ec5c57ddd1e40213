// Poco's process-wide handler for exceptions that escape a library thread or
// timer: logs the fatal error and ends the process with a failure status.
#pragma once

#include <exception>
#include <string>

#include <Poco/ErrorHandler.h>
#include <Poco/Exception.h>

namespace VantisClient {

class VantisErrorHandler : public Poco::ErrorHandler {
public:
    // The exit status after a fatal error.
    static const int FATAL_EXIT_STATUS = 1;

    // Installs the handler for the whole process.
    static void Start();

    void exception(const Poco::Exception& exc) override;
    void exception(const std::exception& exc) override;
    void exception() override;

    [[noreturn]] static void panic(const std::string& text);
};

}  // namespace VantisClient
