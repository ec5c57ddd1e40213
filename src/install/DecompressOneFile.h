// Unpacks the zip stream of one compressed file part into the stream of the
// target file, which the caller has positioned at the part's offset. Every entry
// goes to that one stream in archive order; an entry whose name contains ".." is
// refused, and the output never grows beyond the limit given at construction,
// so that a part crafted to inflate without end cannot fill the disk. Each
// entry is checked against the CRC its header gives; what went wrong with an
// entry is kept for the caller, who would otherwise take a damaged part for a
// sound one.
// Thread-safety: one object serves one part on one thread and is not reused.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <utility>

#include <Poco/FIFOEvent.h>
#include <Poco/Path.h>
#include <Poco/Zip/ParseCallback.h>
#include <Poco/Zip/ZipLocalFileHeader.h>

namespace VantisClient {

class DecompressOneFile : public Poco::Zip::ParseCallback {
public:
    using ErrorEvent = Poco::FIFOEvent<std::pair<const Poco::Zip::ZipLocalFileHeader, const std::string>>;
    using OkEvent = Poco::FIFOEvent<std::pair<const Poco::Zip::ZipLocalFileHeader, const Poco::Path>>;

    // An entry name containing this is refused: it would climb out of its directory.
    static const char* const ILLEGAL_PATH;

    // `input` must be good: a broken stream is a caller's bug and fails an assertion.
    DecompressOneFile(std::istream& input, std::ostream& output, uint64_t outputLimit);
    ~DecompressOneFile() override;
    DecompressOneFile(const DecompressOneFile&) = delete;
    DecompressOneFile& operator=(const DecompressOneFile&) = delete;

    // Throws Poco::Exception when the archive itself is damaged.
    void decompress();
    bool handleZipEntry(std::istream& zipStream, const Poco::Zip::ZipLocalFileHeader& header) override;

    // The entries held more bytes than the limit; the output stops at the limit.
    bool exceededLimit() const { return m_exceededLimit; }
    uint64_t bytesWritten() const { return m_bytesWritten; }
    // Why an entry could not be unpacked whole; empty when none failed.
    const std::string& entryFailure() const { return m_entryFailure; }

    ErrorEvent EError;
    OkEvent EOk;

private:
    void onOk(const void* sender, std::pair<const Poco::Zip::ZipLocalFileHeader, const Poco::Path>& info);
    void copyEntry(std::istream& entry);
    void unpackEntry(std::istream& zipStream, const Poco::Zip::ZipLocalFileHeader& header);
    // Writes up to the limit; past it, throws.
    void emit(const char* data, size_t size);
    void notifyError(const Poco::Zip::ZipLocalFileHeader& header, const std::string& message);

    std::istream& m_input;
    std::ostream& m_output;
    std::map<std::string, Poco::Path> m_mapping;
    uint64_t m_outputLimit;
    uint64_t m_bytesWritten = 0;
    bool m_exceededLimit = false;
    std::string m_entryFailure;
};

}  // namespace VantisClient
