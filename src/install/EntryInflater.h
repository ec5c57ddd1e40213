// The bytes of one zip entry's data, of known compressed length, as they are
// unpacked: raw deflate data inflated with zlib, or stored data as it is. It
// reads exactly the entry's compressed bytes from the archive stream, a piece
// at a time, so that a length the header claims is never allocated at once.
// Thread-safety: one inflater serves one entry on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>

#include <zlib.h>

namespace VantisClient {

class EntryInflater {
public:
    EntryInflater(std::istream& archive, uint64_t compressedSize, bool stored);
    ~EntryInflater();
    EntryInflater(const EntryInflater&) = delete;
    EntryInflater& operator=(const EntryInflater&) = delete;

    // Up to `capacity` more bytes of the entry into `buffer`; 0 at its end.
    // Throws Poco::Zip::ZipException when the data is damaged or cut short.
    size_t next(char* buffer, size_t capacity);

private:
    // More compressed bytes into the input buffer; false when none are left.
    bool refill();
    size_t nextStored(char* buffer, size_t capacity);
    size_t nextInflated(char* buffer, size_t capacity);

    static constexpr size_t INPUT_BYTES = 65536;

    std::istream& m_archive;
    uint64_t m_left;
    const bool m_stored;
    z_stream m_stream{};
    bool m_ended = false;
    char m_input[INPUT_BYTES];
};

}  // namespace VantisClient
