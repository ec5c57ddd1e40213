#include "install/PartFileBuffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace VantisClient {

PartFileBuffer::PartFileBuffer() : m_buffer(BUFFER_SIZE) {}

PartFileBuffer::~PartFileBuffer() { close(); }

bool PartFileBuffer::open(const std::string& path, uint64_t offset, std::string& error) {
    close();
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        error = "Offset out of range: " + std::to_string(offset);
        return false;
    }
    m_descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (m_descriptor < 0) {
        error = "Cannot open file: " + path + ": " + std::strerror(errno);
        return false;
    }
    m_offset = offset;
    m_failed = false;
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return true;
}

bool PartFileBuffer::close() {
    if (m_descriptor < 0) return false;
    const bool written = writeBuffered() && !m_failed;
    const bool closed = ::close(m_descriptor) == 0;
    m_descriptor = -1;
    setp(nullptr, nullptr);
    return written && closed;
}

PartFileBuffer::int_type PartFileBuffer::overflow(int_type c) {
    if (!writeBuffered()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int PartFileBuffer::sync() { return writeBuffered() ? 0 : -1; }

bool PartFileBuffer::writeBuffered() {
    if (m_descriptor < 0 || m_failed) return false;
    const char* data = pbase();
    size_t length = static_cast<size_t>(pptr() - pbase());
    while (length > 0) {
        const ssize_t written = ::pwrite(m_descriptor, data, length, static_cast<off_t>(m_offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            m_failed = true;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
        m_offset += static_cast<uint64_t>(written);
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return true;
}

}  // namespace VantisClient
