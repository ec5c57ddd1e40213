#include "cli/EventStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "common/Logger.h"

namespace VantisClient {

EventStream::EventStream() : m_fallback(std::cout) {
    std::cout.flush();
    const int events = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (events < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        Logger::LogWarning("The standard output could not be kept for the events alone");
        if (events >= 0) ::close(events);
        return;
    }
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(events, std::ios::out);
    m_stream = std::make_unique<std::ostream>(m_buffer.get());
}

}  // namespace VantisClient
