#include "install/EntryInflater.h"

#include <algorithm>
#include <string>

#include <Poco/Zip/ZipException.h>

namespace VantisClient {

EntryInflater::EntryInflater(std::istream& archive, uint64_t compressedSize, bool stored)
    : m_archive(archive), m_left(compressedSize), m_stored(stored) {
    if (!m_stored && inflateInit2(&m_stream, -MAX_WBITS) != Z_OK) {
        throw Poco::Zip::ZipException("The inflater cannot start");
    }
}

EntryInflater::~EntryInflater() {
    if (!m_stored) inflateEnd(&m_stream);
}

size_t EntryInflater::next(char* buffer, size_t capacity) {
    if (m_ended) return 0;
    return m_stored ? nextStored(buffer, capacity) : nextInflated(buffer, capacity);
}

bool EntryInflater::refill() {
    if (m_left == 0) return false;
    const auto wanted = static_cast<std::streamsize>(std::min<uint64_t>(m_left, INPUT_BYTES));
    m_archive.read(m_input, wanted);
    if (m_archive.gcount() != wanted) throw Poco::Zip::ZipException("The entry's data is cut short");
    m_left -= static_cast<uint64_t>(wanted);
    m_stream.next_in = reinterpret_cast<Bytef*>(m_input);
    m_stream.avail_in = static_cast<uInt>(wanted);
    return true;
}

size_t EntryInflater::nextStored(char* buffer, size_t capacity) {
    const auto wanted = static_cast<std::streamsize>(std::min<uint64_t>(m_left, capacity));
    if (wanted == 0) {
        m_ended = true;
        return 0;
    }
    m_archive.read(buffer, wanted);
    if (m_archive.gcount() != wanted) throw Poco::Zip::ZipException("The entry's data is cut short");
    m_left -= static_cast<uint64_t>(wanted);
    return static_cast<size_t>(wanted);
}

size_t EntryInflater::nextInflated(char* buffer, size_t capacity) {
    m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
    m_stream.avail_out = static_cast<uInt>(capacity);
    while (m_stream.avail_out == capacity) {
        if (m_stream.avail_in == 0 && !refill()) {
            throw Poco::Zip::ZipException("The entry's deflate data ends before its stream does");
        }
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            m_ended = true;
            // What the header counts beyond the deflate stream belongs to the entry: skipped.
            m_archive.ignore(static_cast<std::streamsize>(m_left));
            m_left = 0;
            break;
        }
        if (status != Z_OK) {
            throw Poco::Zip::ZipException(std::string("Damaged deflate data: ") +
                                          (m_stream.msg != nullptr ? m_stream.msg : "no detail"));
        }
    }
    return capacity - m_stream.avail_out;
}

}  // namespace VantisClient
