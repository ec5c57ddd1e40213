// The standard output taken for the shell's JSON events alone: the events go
// to a copy of it, and descriptor 1 itself then points at the standard error,
// so that nothing else written there (a started game, a log line on the
// console) can break the stream a program reads line by line. The copy is
// close-on-exec: no started program holds it.
// Thread-safety: the stream belongs to one thread at a time.
#pragma once

#include <ext/stdio_filebuf.h>

#include <memory>
#include <ostream>

namespace VantisClient {

class EventStream {
public:
    EventStream();
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // The standard output itself when it could not be taken.
    std::ostream& stream() { return m_stream ? *m_stream : m_fallback; }

private:
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
    std::unique_ptr<std::ostream> m_stream;
    std::ostream& m_fallback;
};

}  // namespace VantisClient
