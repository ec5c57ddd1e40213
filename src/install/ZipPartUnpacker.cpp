#include "install/ZipPartUnpacker.h"

#include <ostream>
#include <streambuf>
#include <memory>

#include <Poco/Exception.h>
#include <Poco/MemoryStream.h>

#include "common/Logger.h"
#include "install/DecompressOneFile.h"

namespace VantisClient {
namespace {

// One piece per writing thread, kept for the thread's life: a fresh megabyte
// for every part would cost a mapping and its page faults each time.
char* threadPiece() {
    thread_local std::unique_ptr<char[]> piece(new char[ZipPartUnpacker::WRITE_PIECE_BYTES]);
    return piece.get();
}

// Gathers the inflated bytes and hands them on in large pieces: to the file at
// the next offset, then to the digest.
class PieceWriter : public std::streambuf {
public:
    PieceWriter(FileSystem& fileSystem, const std::string& path, uint64_t offset, Md5Digest* digest)
        : m_fileSystem(fileSystem), m_path(path), m_offset(offset), m_digest(digest),
          m_piece(threadPiece()) {
        resetPiece();
    }

    // False once a piece did not reach the file.
    bool flush() { return sync() == 0; }

protected:
    int_type overflow(int_type next) override {
        if (sync() != 0) return traits_type::eof();
        if (traits_type::eq_int_type(next, traits_type::eof())) return traits_type::not_eof(next);
        *pptr() = traits_type::to_char_type(next);
        pbump(1);
        return next;
    }

    int sync() override {
        if (m_failed) return -1;
        const auto length = static_cast<uint32_t>(pptr() - pbase());
        if (length == 0) return 0;
        if (!m_fileSystem.writeToFile(m_path, m_offset, pbase(), length)) {
            m_failed = true;
            return -1;
        }
        if (m_digest != nullptr) m_digest->update(pbase(), length);
        m_offset += length;
        resetPiece();
        return 0;
    }

private:
    void resetPiece() { setp(m_piece, m_piece + ZipPartUnpacker::WRITE_PIECE_BYTES); }

    FileSystem& m_fileSystem;
    const std::string& m_path;
    uint64_t m_offset;
    Md5Digest* m_digest;
    char* const m_piece;
    bool m_failed = false;
};

void logUnpackFailure(const std::string& path, const std::string& failure) {
    Logger::LogError("Could not uncompress buffer to file file '%s'. %s", path.c_str(), failure.c_str());
}

}  // namespace

FileSystem::UnpackResult ZipPartUnpacker::Unpack(FileSystem& fileSystem, const std::string& compressed,
                                                 const std::string& path, uint64_t offset, uint32_t expectedSize,
                                                 Md5Digest* digest) {
    Poco::MemoryInputStream input(compressed.data(), compressed.size());
    PieceWriter writer(fileSystem, path, offset, digest);
    std::ostream output(&writer);
    DecompressOneFile decompressor(input, output, expectedSize);
    std::string damage;
    try {
        decompressor.decompress();
    } catch (const Poco::Exception& e) {
        damage = e.displayText();
    }
    // Whatever the data, a part the disk did not take is the disk's failure.
    if (!writer.flush()) {
        logUnpackFailure(path, "The data did not reach the file.");
        return FileSystem::UnpackResult::WriteFailed;
    }
    if (damage.empty()) damage = decompressor.entryFailure();
    if (damage.empty() && decompressor.bytesWritten() != expectedSize) {
        damage = "The part inflates to " + std::to_string(decompressor.bytesWritten()) + " bytes instead of " +
                 std::to_string(expectedSize) + ".";
    }
    if (decompressor.exceededLimit()) damage = "The part inflates to more than " + std::to_string(expectedSize) + " bytes.";
    if (damage.empty()) return FileSystem::UnpackResult::Written;
    logUnpackFailure(path, damage);
    return FileSystem::UnpackResult::DamagedData;
}

}  // namespace VantisClient
