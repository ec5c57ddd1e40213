#include "common/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <Poco/AutoPtr.h>
#include <Poco/ConsoleChannel.h>
#include <Poco/FileChannel.h>
#include <Poco/FormattingChannel.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Logger.h>
#include <Poco/Net/RemoteSyslogChannel.h>
#include <Poco/PatternFormatter.h>
#include <Poco/SplitterChannel.h>

#include "common/ApplicationEnvironment.h"
#include "common/BuildInfo.h"
#include "common/Constants.h"
#include "common/FailSafeChannel.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/StringUtils.h"
#include "common/Utilities.h"

namespace VantisClient {

const char* const Logger::LINE_PATTERN = "%Y-%m-%d %H:%M:%S [%s][%p]: %t";

Logger::State Logger::sm_instance;

namespace {

const char* const DEFAULT_NAME = "Default";

Poco::AutoPtr<Poco::FormattingChannel> formatted(const Poco::Channel::Ptr& target) {
    Poco::AutoPtr<Poco::PatternFormatter> formatter(new Poco::PatternFormatter(Logger::LINE_PATTERN));
    formatter->setProperty("times", "local");
    return new Poco::FormattingChannel(formatter, target);
}

std::string defaultRemoteLogHost() { return std::string(LOG_HOST) + ":514"; }

void createLogFile(const std::string& logFilePath) {
    // Made 0600 before the file branch opens it, so that not one line is ever
    // readable by others; a failure shows in setLogFilePermissions.
    int descriptor = ::open(logFilePath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor >= 0) ::close(descriptor);
}

}  // namespace

void Logger::Start(const std::string& name, const std::string& logFilePath) {
    if (sm_instance.started) return;
    sm_instance.started = true;
    sm_instance.name = name;
    sm_instance.logFilePath = logFilePath;
    Utilities::CreateDirectoryForFile(logFilePath);
    createLogFile(logFilePath);
    installChannels(name, logFilePath);
    LogInfo("Log started. Application version: %s (%s).", BuildInfo::Version(), BuildInfo::BuildTime());
    setLogFilePermissions(logFilePath);
    readEnabledChannels();
}

void Logger::installChannels(const std::string& name, const std::string& logFilePath) {
    Poco::AutoPtr<Poco::ConsoleChannel> console(new Poco::ConsoleChannel);
    Poco::AutoPtr<Poco::FileChannel> file(new Poco::FileChannel(logFilePath));
    file->setProperty("flush", "false");
    Poco::AutoPtr<Poco::Net::RemoteSyslogChannel> syslog(new Poco::Net::RemoteSyslogChannel);
    syslog->setProperty("loghost", sm_instance.remoteLogHost.empty() ? defaultRemoteLogHost()
                                                                     : sm_instance.remoteLogHost);
    syslog->setProperty("name", name);
    file->setProperty("rotation", "5 M");
    file->setProperty("purgeAge", "1 weeks");

    Poco::AutoPtr<Poco::SplitterChannel> splitter(new Poco::SplitterChannel);
    Poco::AutoPtr<Poco::FormattingChannel> fileBranch = formatted(file);
    fileBranch->setProperty("flush", "false");
    if (sm_instance.console) splitter->addChannel(formatted(console));
    splitter->addChannel(new FailSafeChannel(fileBranch));
    // The tree shares the buffer; the buffer's own reference keeps it alive after the tree.
    splitter->addChannel(formatted(Poco::Channel::Ptr(&RecentMemoryBufferChannel::Instance(), true)));
    // Last, so that an unreachable log host never keeps a line from the others.
    splitter->addChannel(syslog);
    // The root first, so that loggers made later inherit the tree; then every
    // logger that already exists (named ones made before a Reset) takes it too.
    Poco::Logger::root().setChannel(splitter);
    Poco::Logger::setChannel("", splitter);
}

void Logger::setLogFilePermissions(const std::string& logFilePath) {
    // The log holds addresses, product names and account details: the owner only,
    // also for a file that an older version left readable by everybody.
    if (::chmod(logFilePath.c_str(), 0600) != 0) {
        LogWarning("Unable to set permissions for file %s", logFilePath.c_str());
    }
}

void Logger::readEnabledChannels() {
    std::string configPath = Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(),
                                                   "Config.json");
    std::ifstream file(configPath);
    if (!file) return;
    try {
        std::stringstream text;
        text << file.rdbuf();
        Poco::JSON::Parser parser;
        Poco::Dynamic::Var document = parser.parse(text.str());
        Poco::JSON::Object::Ptr object = document.extract<Poco::JSON::Object::Ptr>();
        Poco::JSON::Array::Ptr channels = object->getArray("loggingChannels");
        if (channels.isNull()) return;
        for (size_t i = 0; i < channels->size(); ++i) {
            sm_instance.m_contexts.emplace_back(channels->getElement<std::string>(static_cast<unsigned>(i)));
        }
    } catch (...) {
        // A malformed configuration simply enables no channel.
    }
}

bool Logger::IsChannelEnabled(const std::string& channel) {
    const std::vector<LoggerContext>& contexts = sm_instance.m_contexts;
    return std::find(contexts.begin(), contexts.end(), channel) != contexts.end();
}

std::string Logger::Name() { return sm_instance.name; }

void Logger::SetRemoteLogHost(const std::string& hostAndPort) { sm_instance.remoteLogHost = hostAndPort; }

void Logger::SetConsoleOutput(bool enabled) { sm_instance.console = enabled; }

void Logger::write(const std::string& source, Poco::Message::Priority priority, const char* format,
                   va_list arguments) {
    try {
        std::string text = StringUtils::FormatArguments(format, arguments);
        Poco::Logger& logger = Poco::Logger::get(source);
        // Poco's logger checks its level and whether it has a channel at all.
        logger.log(Poco::Message(source, text, priority));
    } catch (...) {
        // Logging never fails its caller.
    }
}

void Logger::writeChannel(const std::string& channel, Poco::Message::Priority priority, const char* format,
                          va_list arguments) {
    if (!IsChannelEnabled(channel)) return;
    write(channel, priority, format, arguments);
}

#define VANTIS_LOG_VARIADIC(call)        \
    va_list arguments;                   \
    va_start(arguments, format);         \
    call;                                \
    va_end(arguments)

void Logger::LogInfo(const char* format, ...) {
    VANTIS_LOG_VARIADIC(write(sm_instance.name, Poco::Message::PRIO_INFORMATION, format, arguments));
}
void Logger::LogWarning(const char* format, ...) {
    VANTIS_LOG_VARIADIC(write(sm_instance.name, Poco::Message::PRIO_WARNING, format, arguments));
}
void Logger::LogError(const char* format, ...) {
    VANTIS_LOG_VARIADIC(write(sm_instance.name, Poco::Message::PRIO_ERROR, format, arguments));
}
void Logger::LogFatal(const char* format, ...) {
    VANTIS_LOG_VARIADIC(write(sm_instance.name, Poco::Message::PRIO_FATAL, format, arguments));
}
void Logger::LogChannelInfo(const std::string& channel, const char* format, ...) {
    VANTIS_LOG_VARIADIC(writeChannel(channel, Poco::Message::PRIO_INFORMATION, format, arguments));
}
void Logger::LogChannelWarning(const std::string& channel, const char* format, ...) {
    VANTIS_LOG_VARIADIC(writeChannel(channel, Poco::Message::PRIO_WARNING, format, arguments));
}
void Logger::LogChannelError(const std::string& channel, const char* format, ...) {
    VANTIS_LOG_VARIADIC(writeChannel(channel, Poco::Message::PRIO_ERROR, format, arguments));
}
void Logger::LogChannelFatal(const std::string& channel, const char* format, ...) {
    VANTIS_LOG_VARIADIC(writeChannel(channel, Poco::Message::PRIO_FATAL, format, arguments));
}

#undef VANTIS_LOG_VARIADIC

void Logger::Close() {
    try {
        Poco::Logger::setChannel("", nullptr);
    } catch (...) {
        // Closing is best effort, as logging is.
    }
}

void Logger::Reopen() {
    if (sm_instance.started) installChannels(sm_instance.name, sm_instance.logFilePath);
}

void Logger::Reset() {
    Close();
    sm_instance.name = DEFAULT_NAME;
    sm_instance.logFilePath.clear();
    sm_instance.started = false;
    sm_instance.m_contexts.clear();
    sm_instance.remoteLogHost.clear();
    sm_instance.console = true;
    RecentMemoryBufferChannel::Instance().Clear();
}

}  // namespace VantisClient
