#include "install/DecompressOneFile.h"

#include <algorithm>
#include <cstring>

#include <Poco/Bugcheck.h>
#include <Poco/Delegate.h>
#include <Poco/Exception.h>
#include <Poco/Zip/ZipArchiveInfo.h>
#include <Poco/Zip/ZipException.h>
#include <Poco/Zip/ZipFileInfo.h>
#include <Poco/Zip/ZipStream.h>

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
        Poco::Zip::ZipInputStream entry(zipStream, header, false);
        // Damaged compressed data must surface here, not end the copy as if complete.
        entry.exceptions(std::ios::badbit);
        copyEntry(entry);
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
        uint64_t room = m_outputLimit - m_bytesWritten;
        // One byte beyond the room tells an entry that ends exactly at the limit
        // from one that goes on.
        std::streamsize wanted =
            static_cast<std::streamsize>(std::min<uint64_t>(COPY_BUFFER_SIZE, room + 1));
        entry.read(buffer, wanted);
        std::streamsize got = entry.gcount();
        if (got <= 0) return;
        if (static_cast<uint64_t>(got) > room) {
            m_output.write(buffer, static_cast<std::streamsize>(room));
            m_bytesWritten += room;
            m_exceededLimit = true;
            throw Poco::Zip::ZipException("Entry inflates beyond " + std::to_string(m_outputLimit) + " bytes");
        }
        m_output.write(buffer, got);
        m_bytesWritten += static_cast<uint64_t>(got);
    }
}

void DecompressOneFile::onOk(const void*, std::pair<const Poco::Zip::ZipLocalFileHeader, const Poco::Path>& info) {
    m_mapping.insert(std::make_pair(info.first.getFileName(), info.second));
}

}  // namespace VantisClient
