// Writes the content objects of one product key (a game id or a redistributable
// name) and says where each file's bytes ended up. Large compressible files
// become zip objects of parts that each inflate to 6 MiB; other large files are
// stored as they are; small files share bundle objects at different offsets.
// Objects are named after the MD5 of their bytes, so equal content is stored
// once and packing the same input again gives the same catalogue.
//
// Thread-safety: none; one packer thread uses a store.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace VantisClient {
namespace Pack {

// Where one file's bytes live. `url` is "<key>/<object>"; it is only final after
// ObjectStore::finish(), because a bundle gets its name when it is full.
struct StoredContent {
    std::string md5;
    uint64_t size = 0;
    std::string url;
    uint64_t offset = 0;
    std::vector<uint32_t> parts;  // compressed part sizes of a zip object; empty otherwise
};

class ObjectStore {
public:
    static const uint64_t SMALL_FILE_LIMIT = 64 * 1024;
    static const uint64_t BUNDLE_LIMIT = 4 * 1024 * 1024;

    ObjectStore(const std::string& directory, const std::string& key);

    // Throws std::runtime_error when the file cannot be read or an object written.
    std::shared_ptr<StoredContent> storeFile(const std::string& path);
    std::shared_ptr<StoredContent> storeBytes(const std::string& bytes);
    // Writes the last bundle. Call before reading any url.
    void finish();

private:
    std::shared_ptr<StoredContent> storeSmall(const std::string& bytes, const std::string& md5);
    std::shared_ptr<StoredContent> storeLarge(const std::string& path, uint64_t size);
    std::string commitObject(const std::string& temporaryPath, const std::string& md5, bool zip);
    std::string temporaryPath() const;
    void flushBundle();

    std::string m_directory;
    std::string m_key;
    std::map<std::string, std::shared_ptr<StoredContent>> m_byMd5;
    std::string m_bundle;
    std::vector<std::shared_ptr<StoredContent>> m_bundleMembers;
};

}  // namespace Pack
}  // namespace VantisClient
