#include "service/ServiceLog.h"

#include <cstdarg>
#include <iostream>

#include <Poco/AutoPtr.h>
#include <Poco/ConsoleChannel.h>
#include <Poco/FormattingChannel.h>
#include <Poco/Logger.h>
#include <Poco/PatternFormatter.h>

#include "common/Logger.h"
#include "common/StringUtils.h"

namespace VantisClient {
namespace Service {
namespace {

const char* const SOURCE = "VantisService";

}  // namespace

void ServiceLog::Start() {
    Poco::AutoPtr<Poco::PatternFormatter> formatter(new Poco::PatternFormatter(Logger::LINE_PATTERN));
    formatter->setProperty("times", "local");
    Poco::AutoPtr<Poco::FormattingChannel> console(
        new Poco::FormattingChannel(formatter, new Poco::ConsoleChannel(std::cerr)));
    Poco::Logger::root().setChannel(console);
    Poco::Logger::root().setLevel(Poco::Message::PRIO_WARNING);
    Poco::Logger::get(SOURCE).setLevel(Poco::Message::PRIO_INFORMATION);
}

void ServiceLog::Line(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = StringUtils::FormatArguments(format, arguments);
    va_end(arguments);
    try {
        Poco::Logger::get(SOURCE).information(text);
    } catch (...) {
        // A log line never fails the service.
    }
}

}  // namespace Service
}  // namespace VantisClient
