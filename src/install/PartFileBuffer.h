// The output of one part into its file: at the part's offset, never
// truncating (the file's other parts stay as they are), in large pwrite calls
// (a part of 1 to 6 MiB leaves in a few system calls, not one per 4 KiB).
// Serves as the stream buffer of an std::ostream for the inflater.
// Thread-safety: one owner.
#pragma once

#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

namespace VantisClient {

class PartFileBuffer : public std::streambuf {
public:
    static constexpr size_t BUFFER_SIZE = 1024 * 1024;

    PartFileBuffer();
    ~PartFileBuffer() override;
    PartFileBuffer(const PartFileBuffer&) = delete;
    PartFileBuffer& operator=(const PartFileBuffer&) = delete;

    // Opens (or creates) `path` for writing from `offset`; false, with `error`
    // set to the system's reason, when it cannot.
    bool open(const std::string& path, uint64_t offset, std::string& error);
    // Writes out what is buffered and closes the file; true when every byte
    // written since open reached it.
    bool close();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    int m_descriptor = -1;
    uint64_t m_offset = 0;
    bool m_failed = false;
    std::vector<char> m_buffer;
};

}  // namespace VantisClient
