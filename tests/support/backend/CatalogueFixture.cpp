#include "CatalogueFixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <Poco/DigestEngine.h>
#include <Poco/File.h>
#include <Poco/JSON/Parser.h>
#include <Poco/MD5Engine.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/Zip/ParseCallback.h>
#include <Poco/Zip/ZipArchive.h>
#include <Poco/Zip/ZipStream.h>
#include <zlib.h>

namespace VantisTest {

const char* const SampleGame::BASE_ID = "1207658924";
const char* const SampleGame::DLC_ID = "1207658925";
const char* const SampleGame::REDIST_NAME = "runtime";

namespace {

const char* const DESCRIPTION = R"({
  "gameId": "1207658924", "name": "Sample Game", "installDirectory": "Sample Game", "timestamp": 42,
  "languages": ["en", "de"], "subtitle": "A test",
  "directory": "base/common", "languageDirectories": {"en": "base/en", "de": "base/de"},
  "supportDirectory": "base/support",
  "playTasks": [{"isPrimary": true, "name": "Play", "type": "FileTask", "path": "bin/game"}],
  "extraContent": [{"gameId": "1207658925", "name": "Sample DLC", "directory": "dlc/common",
                    "playTasks": [{"name": "Manual", "type": "URLTask", "link": "http://127.0.0.1/manual"}]}],
  "supportCommands": [{"executable": "setup.sh", "argument": "--quiet"}],
  "redistributables": [{"name": "runtime", "directory": "redist/runtime", "executable": "install.sh"}]
})";

void writeTree(const std::string& root) {
    std::string text;
    for (int line = 0; text.size() < 7 * 1024 * 1024; ++line) {
        text += "line " + std::to_string(line) + " of a compressible game file\n";
    }
    std::mt19937 random(7);
    std::string noise(2621440, '\0');
    for (char& c : noise) c = static_cast<char>(random());

    WriteFileBytes(root + "/base/common/readme.txt", "Read me.\n");
    WriteFileBytes(root + "/base/common/data/copy.txt", "Read me.\n");
    WriteFileBytes(root + "/base/common/bin/game", "#!/bin/sh\necho game\n");
    chmod((root + "/base/common/bin/game").c_str(), 0755);
    WriteFileBytes(root + "/base/common/data/noise.bin", noise);
    WriteFileBytes(root + "/base/common/data/level.txt", text);
    WriteFileBytes(root + "/base/common/data/empty.dat", "");
    WriteFileBytes(root + "/base/common/data/nested/deep/notes..txt", "two dots are fine in a name\n");
    WriteFileBytes(root + "/base/common/.settings", "hidden=1\n");
    WriteFileBytes(root + "/base/common/lib/libgame.so.1", noise.substr(0, 100000));
    Poco::File(root + "/base/common/saves").createDirectories();
    symlink("libgame.so.1", (root + "/base/common/lib/libgame.so").c_str());
    WriteFileBytes(root + "/base/en/lang/strings.txt", "Hello\n");
    WriteFileBytes(root + "/base/de/lang/strings.txt", "Hallo\n");
    // Leaves a mark beside itself, so that a test sees it ran and with what.
    WriteFileBytes(root + "/base/support/setup.sh", "#!/bin/sh\necho \"$@\" >\"$(dirname \"$0\")/setup.ran\"\n");
    chmod((root + "/base/support/setup.sh").c_str(), 0755);
    WriteFileBytes(root + "/dlc/common/dlc/map.txt", "A new map\n");
    WriteFileBytes(root + "/redist/runtime/install.sh", "#!/bin/sh\necho runtime\n");
}

void appendBigEndian(std::string& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xff);
}

void appendChunk(std::string& png, const std::string& name, const std::string& data) {
    appendBigEndian(png, static_cast<uint32_t>(data.size()));
    const std::string named = name + data;
    png += named;
    appendBigEndian(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(named.data()),
                                                     static_cast<uInt>(named.size()))));
}

// Writes every entry's content into the one output, as the client's part reader.
class SingleEntryReader : public Poco::Zip::ParseCallback {
public:
    explicit SingleEntryReader(std::ostream& output) : m_output(output) {}
    bool handleZipEntry(std::istream& zipStream, const Poco::Zip::ZipLocalFileHeader& header) override {
        Poco::Zip::ZipInputStream entry(zipStream, header);
        Poco::StreamCopier::copyStream(entry, m_output);
        return true;
    }

private:
    std::ostream& m_output;
};

}  // namespace

std::string SampleGame::CoverPng(uint32_t width, uint32_t height) {
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    // Rows of a diagonal blend, each after its filter byte (none).
    std::string rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows += '\0';
        for (uint32_t x = 0; x < width; ++x) {
            rows += static_cast<char>(40 + 180 * x / width);
            rows += static_cast<char>(60 + 120 * y / height);
            rows += static_cast<char>(150);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
             static_cast<uLong>(rows.size()));
    packed.resize(packedSize);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", "");
    return png;
}

void SampleGame::Write(const std::string& inputRoot) {
    writeTree(inputRoot);
    WriteFileBytes(inputRoot + "/cover.png", CoverPng(120, 160));
    WriteFileBytes(inputRoot + "/game.json", DESCRIPTION);
}

std::map<std::string, std::string> SampleGame::SourceDirectories(const std::string& inputRoot) {
    return {{"1207658924_common.json", inputRoot + "/base/common"},
            {"1207658924_en.json", inputRoot + "/base/en"},
            {"1207658924_de.json", inputRoot + "/base/de"},
            {"1207658925_common.json", inputRoot + "/dlc/common"},
            {"1207658925_en.json", ""},
            {"1207658925_de.json", ""},
            {"runtime.json", inputRoot + "/redist/runtime"}};
}

std::string Md5Hex(const std::string& bytes) {
    Poco::MD5Engine engine;
    engine.update(bytes.data(), bytes.size());
    return Poco::DigestEngine::digestToHex(engine.digest());
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream input(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << input.rdbuf();
    return buffer.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    Poco::File(Poco::Path(path).parent()).createDirectories();
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << bytes;
}

Poco::JSON::Object::Ptr ParseJson(const std::string& text) {
    Poco::JSON::Parser parser;
    return parser.parse(text).extract<Poco::JSON::Object::Ptr>();
}

std::string ReadRange(const std::string& path, uint64_t offset, uint64_t length) {
    std::string bytes = ReadFileBytes(path);
    if (offset + length > bytes.size()) throw std::runtime_error("range beyond " + path);
    return bytes.substr(offset, length);
}

std::string InflateZipPart(const std::string& part) {
    std::istringstream input(part);
    std::ostringstream output;
    SingleEntryReader reader(output);
    Poco::Zip::ZipArchive archive(input, reader);
    return output.str();
}

std::string ReassembleFile(const std::string& object, const Poco::JSON::Object::Ptr& entry) {
    uint64_t size = entry->getValue<uint64_t>("size");
    uint64_t offset = entry->getValue<uint64_t>("offset");
    if (!entry->has("parts")) return size == 0 ? std::string() : ReadRange(object, offset, size);
    std::string content;
    Poco::JSON::Array::Ptr parts = entry->getArray("parts");
    for (size_t i = 0; i < parts->size(); ++i) {
        uint64_t partSize = parts->getElement<uint64_t>(static_cast<unsigned>(i));
        content += InflateZipPart(ReadRange(object, offset, partSize));
        offset += partSize;
    }
    return content;
}

}  // namespace VantisTest
