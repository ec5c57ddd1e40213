#include "pack/ObjectStore.h"

#include <fstream>
#include <stdexcept>

#include <Poco/DigestEngine.h>
#include <Poco/File.h>
#include <Poco/MD5Engine.h>

#include "catalogue/CatalogueLayout.h"
#include "pack/ZipPartWriter.h"

namespace VantisClient {
namespace Pack {

namespace {

using Catalogue::CatalogueLayout;

// A zip object is only worth it when the first part shrinks by a tenth or more.
const double COMPRESSIBLE_RATIO = 0.9;

std::string md5Of(const std::string& bytes) {
    Poco::MD5Engine engine;
    engine.update(bytes.data(), bytes.size());
    return Poco::DigestEngine::digestToHex(engine.digest());
}

void writeAll(std::ofstream& output, const char* data, size_t size, const std::string& path) {
    output.write(data, static_cast<std::streamsize>(size));
    if (!output) throw std::runtime_error("cannot write " + path);
}

size_t readChunk(std::ifstream& input, std::string& buffer, const std::string& path) {
    input.read(&buffer[0], static_cast<std::streamsize>(buffer.size()));
    if (input.bad()) throw std::runtime_error("cannot read " + path);
    return static_cast<size_t>(input.gcount());
}

}  // namespace

ObjectStore::ObjectStore(const std::string& directory, const std::string& key)
    : m_directory(directory), m_key(key) {
    Poco::File(m_directory).createDirectories();
}

std::shared_ptr<StoredContent> ObjectStore::storeFile(const std::string& path) {
    uint64_t size = Poco::File(path).getSize();
    if (size >= SMALL_FILE_LIMIT) return storeLarge(path, size);
    std::ifstream input(path, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!input || readChunk(input, bytes, path) != size) throw std::runtime_error("cannot read " + path);
    return storeBytes(bytes);
}

std::shared_ptr<StoredContent> ObjectStore::storeBytes(const std::string& bytes) {
    std::string md5 = md5Of(bytes);
    auto known = m_byMd5.find(md5);
    if (known != m_byMd5.end()) return known->second;
    auto content = std::make_shared<StoredContent>();
    content->md5 = md5;
    if (bytes.empty()) {
        // An empty file has nothing to fetch: no url, no parts.
        m_byMd5[md5] = content;
        return content;
    }
    return storeSmall(bytes, md5);
}

std::shared_ptr<StoredContent> ObjectStore::storeSmall(const std::string& bytes, const std::string& md5) {
    auto content = std::make_shared<StoredContent>();
    content->md5 = md5;
    content->size = bytes.size();
    content->offset = m_bundle.size();
    m_bundle += bytes;
    m_bundleMembers.push_back(content);
    m_byMd5[md5] = content;
    if (m_bundle.size() >= BUNDLE_LIMIT) flushBundle();
    return content;
}

std::shared_ptr<StoredContent> ObjectStore::storeLarge(const std::string& path, uint64_t size) {
    std::ifstream input(path, std::ios::binary);
    if (!input) throw std::runtime_error("cannot open " + path);
    const std::string incoming = temporaryPath();
    std::ofstream output(incoming, std::ios::binary | std::ios::trunc);
    if (!output) throw std::runtime_error("cannot create " + incoming);

    auto content = std::make_shared<StoredContent>();
    content->size = size;
    Poco::MD5Engine engine;
    std::string chunk(CatalogueLayout::ZIP_PART_SIZE, '\0');
    bool zip = false;
    uint64_t total = 0;
    for (bool first = true;; first = false) {
        size_t got = readChunk(input, chunk, path);
        if (got == 0) break;
        total += got;
        engine.update(chunk.data(), got);
        std::string part = (first || zip) ? ZipPartWriter::Compress(chunk.data(), got) : std::string();
        if (first) zip = part.size() <= got * COMPRESSIBLE_RATIO;
        if (zip) {
            content->parts.push_back(static_cast<uint32_t>(part.size()));
            writeAll(output, part.data(), part.size(), incoming);
        } else {
            writeAll(output, chunk.data(), got, incoming);
        }
    }
    output.close();
    if (total != size) throw std::runtime_error("file changed while packing: " + path);
    content->md5 = Poco::DigestEngine::digestToHex(engine.digest());

    auto known = m_byMd5.find(content->md5);
    if (known != m_byMd5.end()) {
        Poco::File(incoming).remove();
        return known->second;
    }
    content->url = m_key + "/" + commitObject(incoming, content->md5, zip);
    m_byMd5[content->md5] = content;
    return content;
}

void ObjectStore::flushBundle() {
    if (m_bundle.empty()) return;
    const std::string incoming = temporaryPath();
    {
        std::ofstream output(incoming, std::ios::binary | std::ios::trunc);
        if (!output) throw std::runtime_error("cannot create " + incoming);
        writeAll(output, m_bundle.data(), m_bundle.size(), incoming);
    }
    std::string url = m_key + "/" + commitObject(incoming, md5Of(m_bundle), false);
    for (auto& member : m_bundleMembers) member->url = url;
    m_bundle.clear();
    m_bundleMembers.clear();
}

void ObjectStore::finish() {
    flushBundle();
}

std::string ObjectStore::commitObject(const std::string& incoming, const std::string& md5, bool zip) {
    std::string name = md5 + (zip ? ".zip" : ".bin");
    Poco::File target(m_directory + "/" + name);
    if (target.exists()) {
        Poco::File(incoming).remove();
    } else {
        Poco::File(incoming).renameTo(target.path());
    }
    return name;
}

std::string ObjectStore::temporaryPath() const {
    return m_directory + "/.incoming";
}

}  // namespace Pack
}  // namespace VantisClient
