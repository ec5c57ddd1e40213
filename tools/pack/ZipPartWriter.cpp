#include "pack/ZipPartWriter.h"

#include <sstream>

#include <Poco/DateTime.h>
#include <Poco/MemoryStream.h>
#include <Poco/Path.h>
#include <Poco/Zip/Compress.h>

namespace VantisClient {
namespace Pack {

const char* const ZipPartWriter::ENTRY_NAME = "data";

std::string ZipPartWriter::Compress(const char* data, size_t size) {
    std::ostringstream zipStream;
    Poco::Zip::Compress compressor(zipStream, true);
    Poco::MemoryInputStream input(data, size);
    compressor.addFile(input, Poco::DateTime(1980, 1, 1), Poco::Path(ENTRY_NAME), Poco::Zip::ZipCommon::CM_DEFLATE,
                       Poco::Zip::ZipCommon::CL_NORMAL);
    compressor.close();
    return zipStream.str();
}

}  // namespace Pack
}  // namespace VantisClient
