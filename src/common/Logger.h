// The process-wide logging facade. After Start, every line goes at once to the
// console, the rotating log file, the memory buffer of recent lines and the
// remote syslog collector. Named channels stay silent unless "Config.json"
// lists them under "loggingChannels". Lines logged before Start go nowhere.
//
// Thread-safety: every Log* operation may be called from any thread; a logging
// failure never reaches the caller. Start runs once, before the engine's
// threads exist; the enabled-channel list is read afterwards without a lock.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include <Poco/Message.h>

#include "common/LoggerContext.h"
#include "common/Printf.h"

namespace VantisClient {

class Logger {
public:
    static const char* const LINE_PATTERN;

    // Only the first call has an effect.
    static void Start(const std::string& name, const std::string& logFilePath);

    static void LogInfo(const char* format, ...) VANTIS_PRINTF(1, 2);
    static void LogWarning(const char* format, ...) VANTIS_PRINTF(1, 2);
    static void LogError(const char* format, ...) VANTIS_PRINTF(1, 2);
    static void LogFatal(const char* format, ...) VANTIS_PRINTF(1, 2);

    static bool IsChannelEnabled(const std::string& channel);
    static void LogChannelInfo(const std::string& channel, const char* format, ...) VANTIS_PRINTF(2, 3);
    static void LogChannelWarning(const std::string& channel, const char* format, ...) VANTIS_PRINTF(2, 3);
    static void LogChannelError(const std::string& channel, const char* format, ...) VANTIS_PRINTF(2, 3);
    static void LogChannelFatal(const std::string& channel, const char* format, ...) VANTIS_PRINTF(2, 3);

    // The logger name: "Default" before Start.
    static std::string Name();

    // Where the syslog branch sends ("host:port"); takes effect at the next Start.
    static void SetRemoteLogHost(const std::string& hostAndPort);
    // Whether lines also go to the console (standard error); takes effect at
    // the next Start. A terminal shell keeps the console for its own output.
    static void SetConsoleOutput(bool enabled);

    // Closes every branch, flushing the log file. Lines logged afterwards go nowhere.
    static void Close();
    // After Close, opens the branches Start opened again (a process that
    // closed its log to become another program and could not).
    static void Reopen();
    // Back to the state before Start: no channels, no enabled named channels,
    // an empty memory buffer, the default log host. For tests.
    static void Reset();

private:
    static void write(const std::string& source, Poco::Message::Priority priority, const char* format,
                      va_list arguments) VANTIS_PRINTF(3, 0);
    static void writeChannel(const std::string& channel, Poco::Message::Priority priority, const char* format,
                             va_list arguments) VANTIS_PRINTF(3, 0);
    static void installChannels(const std::string& name, const std::string& logFilePath);
    static void readEnabledChannels();
    static void setLogFilePermissions(const std::string& logFilePath);

    struct State {
        std::string name = "Default";
        std::string logFilePath;
        bool started = false;
        std::vector<LoggerContext> m_contexts;
        std::string remoteLogHost;
        bool console = true;
    };
    static State sm_instance;
};

}  // namespace VantisClient
