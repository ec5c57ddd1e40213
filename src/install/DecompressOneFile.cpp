#include "install/DecompressOneFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include <Poco/Bugcheck.h>
#include <Poco/Delegate.h>
#include <Poco/Exception.h>
#include <Poco/Zip/ZipArchiveInfo.h>
#include <Poco/Zip/ZipException.h>
#include <Poco/Zip/ZipFileInfo.h>
#include <Poco/Zip/ZipStream.h>

#include "install/EntryInflater.h"

namespace VantisClient {

const char* const DecompressOneFile::ILLEGAL_PATH = "..";

namespace {

const std::streamsize COPY_BUFFER_SIZE = 65536;

bool isRecord(const char* signature, const char* header) {
    return std::memcmp(signature, header, Poco::Zip::ZipCommon::HEADER_SIZE) == 0;
}

}  // namespace

DecompressOneFile::DecompressOneFile(std::istream& input, std::ostream& output, uint64_t outputLimit)
    : m_input(input), m_output(output), m_outputLimit(outputLimit) {
    if (!m_input.good()) Poco::Bugcheck::assertion("_in.good()", "utils/DecompressOneFile", 19);
    EOk += Poco::delegate(this, &DecompressOneFile::onOk);
}

DecompressOneFile::~DecompressOneFile() { EOk -= Poco::delegate(this, &DecompressOneFile::onOk); }

// The archive's records in order, as a zip reader walks them; only the ones a
// part can hold are read. A ZIP64 record (never in a part) is refused before the
// zip library reads it: it would size a buffer from the record's own length.
void DecompressOneFile::decompress() {
    if (!m_mapping.empty()) Poco::Bugcheck::assertion("_mapping.empty()", "utils/DecompressOneFile", 33);
    char signature[Poco::Zip::ZipCommon::HEADER_SIZE];
    while (m_input.read(signature, sizeof signature)) {
        if (isRecord(signature, Poco::Zip::ZipLocalFileHeader::HEADER)) {
            Poco::Zip::ZipLocalFileHeader entry(m_input, true, *this);
        } else if (isRecord(signature, Poco::Zip::ZipFileInfo::HEADER)) {
            Poco::Zip::ZipFileInfo directoryEntry(m_input, true);
        } else if (isRecord(signature, Poco::Zip::ZipArchiveInfo::HEADER)) {
            Poco::Zip::ZipArchiveInfo end(m_input, true);
        } else {
            throw Poco::Zip::ZipException("Unexpected record in a zip part");
        }
    }
}

bool DecompressOneFile::handleZipEntry(std::istream& zipStream, const Poco::Zip::ZipLocalFileHeader& header) {
    // Past the limit the part is already lost; later entries are not even read.
    if (m_exceededLimit) return false;
    try {
        const std::string& name = header.getFileName();
        if (name.find(ILLEGAL_PATH) != std::string::npos) {
            throw Poco::Zip::ZipException("Illegal entry name " + name + " containing " + ILLEGAL_PATH);
        }
        if (header.searchCRCAndSizesAfterData()) {
            // The sizes follow the data: only the zip library's own stream finds its end.
            Poco::Zip::ZipInputStream entry(zipStream, header, false);
            // Damaged compressed data must surface here, not end the copy as if complete.
            entry.exceptions(std::ios::badbit);
            copyEntry(entry);
        } else {
            unpackEntry(zipStream, header);
        }
        return m_output.good();
    } catch (const Poco::Exception& e) {
        notifyError(header, "Exception: " + e.displayText());
    } catch (...) {
        notifyError(header, "Unknown Exception");
    }
    return false;
}

void DecompressOneFile::notifyError(const Poco::Zip::ZipLocalFileHeader& header, const std::string& message) {
    if (m_entryFailure.empty()) m_entryFailure = header.getFileName() + ": " + message;
    std::pair<const Poco::Zip::ZipLocalFileHeader, const std::string> error(header, message);
    EError.notify(this, error);
}

void DecompressOneFile::copyEntry(std::istream& entry) {
    char buffer[COPY_BUFFER_SIZE];
    while (m_output.good()) {
        // One byte beyond the room tells an entry that ends exactly at the limit
        // from one that goes on.
        std::streamsize wanted =
            static_cast<std::streamsize>(std::min<uint64_t>(COPY_BUFFER_SIZE, m_outputLimit - m_bytesWritten + 1));
        entry.read(buffer, wanted);
        std::streamsize got = entry.gcount();
        if (got <= 0) return;
        emit(buffer, static_cast<size_t>(got));
    }
}

// Stored or raw-deflated data of known length, inflated once: the entry's own
// CRC and size are its only checks (the zip library's stream would add a second
// checksum of its own).
void DecompressOneFile::unpackEntry(std::istream& zipStream, const Poco::Zip::ZipLocalFileHeader& header) {
    const Poco::Zip::ZipCommon::CompressionMethod method = header.getCompressionMethod();
    if (header.isEncrypted() ||
        (method != Poco::Zip::ZipCommon::CM_DEFLATE && method != Poco::Zip::ZipCommon::CM_STORE)) {
        throw Poco::Zip::ZipException("Unsupported entry " + header.getFileName());
    }
    EntryInflater inflater(zipStream, header.getCompressedSize(), method == Poco::Zip::ZipCommon::CM_STORE);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t produced = 0;
    char buffer[COPY_BUFFER_SIZE];
    for (;;) {
        const size_t got = inflater.next(buffer, sizeof buffer);
        if (got == 0) break;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(got));
        produced += got;
        emit(buffer, got);
        if (!m_output.good()) return;
    }
    if (crc != header.getCRC()) throw Poco::Zip::ZipException("CRC failure");
    if (produced != header.getUncompressedSize()) throw Poco::Zip::ZipException("Entry size differs from its header");
}

void DecompressOneFile::emit(const char* data, size_t size) {
    const uint64_t room = m_outputLimit - m_bytesWritten;
    if (size > room) {
        m_output.write(data, static_cast<std::streamsize>(room));
        m_bytesWritten += room;
        m_exceededLimit = true;
        throw Poco::Zip::ZipException("Entry inflates beyond " + std::to_string(m_outputLimit) + " bytes");
    }
    m_output.write(data, static_cast<std::streamsize>(size));
    m_bytesWritten += size;
}

void DecompressOneFile::onOk(const void*, std::pair<const Poco::Zip::ZipLocalFileHeader, const Poco::Path>& info) {
    m_mapping.insert(std::make_pair(info.first.getFileName(), info.second));
}

}  // namespace VantisClient
