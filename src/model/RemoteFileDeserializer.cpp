#include "model/RemoteFileDeserializer.h"

#include <sstream>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>

#include "common/Logger.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

void requireEntry(const Poco::JSON::Object::Ptr& entry) {
    if (entry.isNull()) throw Poco::NullPointerException("depot manifest entry");
}

std::string compactJson(const Poco::JSON::Object::Ptr& entry) {
    std::ostringstream text;
    entry->stringify(text, 0);
    return text.str();
}

bool optionalBool(const Poco::JSON::Object::Ptr& entry, const std::string& key) {
    return entry->has(key) && entry->getValue<bool>(key);
}

std::vector<uint32_t> readParts(const Poco::JSON::Object::Ptr& entry) {
    std::vector<uint32_t> parts;
    if (!entry->has("parts")) return parts;
    Poco::JSON::Array::Ptr array = entry->getArray("parts");
    parts.reserve(array->size());
    for (size_t i = 0; i < array->size(); ++i) {
        parts.push_back(static_cast<uint32_t>(array->getElement<Poco::UInt64>(static_cast<unsigned>(i))));
    }
    return parts;
}

bool checkSafePath(const std::string& path) {
    if (InstallPathRules::IsSafeRelativePath(path)) return true;
    Logger::LogError(
        "Rejected depot manifest entry with unsafe path '%s': it must be relative, not empty and stay inside "
        "the install directory.",
        InstallPathRules::Printable(path).c_str());
    return false;
}

bool checkPartsCount(const RemoteFileDefinition& definition) {
    uint64_t count = definition.getNeededPartsCount();
    if (count <= RemoteFileDefinition::MAX_PARTS_COUNT) return true;
    Logger::LogError("Rejected depot manifest file '%s': it would need %llu parts, more than the %llu a file may have.",
                     definition.getPath().c_str(), static_cast<unsigned long long>(count),
                     static_cast<unsigned long long>(RemoteFileDefinition::MAX_PARTS_COUNT));
    return false;
}

// Each part of a plain file but the last fills a whole part's place in the file;
// one that carries less cannot fill it from the bytes received.
bool checkPlainParts(const RemoteFileDefinition& definition) {
    if (definition.isZip()) return true;
    const std::vector<uint32_t>& parts = definition.getParts();
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] >= RemoteFileDefinition::DEFAULT_PART_SIZE) continue;
        Logger::LogError(
            "Rejected depot manifest file '%s': its part %zu has %u bytes, but every part of a plain file except the "
            "last fills %u bytes.",
            definition.getPath().c_str(), i, static_cast<unsigned>(parts[i]),
            static_cast<unsigned>(RemoteFileDefinition::DEFAULT_PART_SIZE));
        return false;
    }
    return true;
}

}  // namespace

RemoteFileDefinition::Ptr RemoteFileDeserializer::DeserializeFile(const Poco::JSON::Object::Ptr& entry) {
    requireEntry(entry);
    if (!entry->has("path") || !entry->has("size")) {
        Logger::LogError(
            "Cannot deserialize file from game manifest, file object was not in correct format (missing fields):\n%s",
            compactJson(entry).c_str());
        return nullptr;
    }
    std::string path = entry->getValue<std::string>("path");
    if (entry->has("directory")) entry->getValue<bool>("directory");  // only its kind is checked
    uint64_t size = entry->getValue<Poco::UInt64>("size");
    std::string url = entry->getValue<std::string>("url");
    if (url.empty() && size != 0) return nullptr;
    std::string hash = entry->getValue<std::string>("hash");
    if (hash.empty() && size != 0) return nullptr;
    uint64_t offset = entry->getValue<Poco::UInt64>("offset");
    bool hidden = optionalBool(entry, "");
    FileType type = optionalBool(entry, "support") ? FileType::Support : FileType::Game;
    bool executable = optionalBool(entry, "executable");
    std::vector<uint32_t> parts = readParts(entry);
    uint32_t partSize =
        entry->has("partSize") ? entry->getValue<Poco::UInt32>("partSize") : RemoteFileDefinition::DEFAULT_PART_SIZE;

    RemoteFileDefinition::Ptr definition(new RemoteFileDefinition(
        FileInformation(type, path, hash, size, hidden, executable), RemoteFileLocation(url, offset), partSize, parts));
    if (!checkSafePath(path) || !checkPartsCount(*definition) || !checkPlainParts(*definition)) return nullptr;
    return definition;
}

RemoteDirDefinition::Ptr RemoteFileDeserializer::DeserializeDir(const Poco::JSON::Object::Ptr& entry) {
    requireEntry(entry);
    if (!entry->has("directory") || !entry->has("path")) {
        Logger::LogError(
            "Cannot deserialize directory information from depot manifest. Directory object was missing some "
            "fields: \n%s",
            compactJson(entry).c_str());
        return nullptr;
    }
    std::string path = entry->getValue<std::string>("path");
    entry->getValue<bool>("directory");  // only its kind is checked
    bool support = optionalBool(entry, "support");
    if (!checkSafePath(path)) return nullptr;
    return new RemoteDirDefinition(support, path);
}

RemoteSymLinkDefinition::Ptr RemoteFileDeserializer::DeserializeSymLink(const Poco::JSON::Object::Ptr& entry) {
    requireEntry(entry);
    if (!entry->has("path") || !entry->has("target") || !entry->has("symlinkType")) {
        Logger::LogError(
            "Cannot deserialize symlink information from depot manifest. Symlink object was missing some fields: "
            "\n%s",
            compactJson(entry).c_str());
        return nullptr;
    }
    std::string path = entry->getValue<std::string>("path");
    std::string target = entry->getValue<std::string>("target");
    std::string symlinkType = entry->getValue<std::string>("symlinkType");
    if (!checkSafePath(path)) return nullptr;
    if (!InstallPathRules::IsSafeLinkTarget(path, target)) {
        Logger::LogError(
            "Rejected depot manifest symlink '%s' with unsafe target '%s': it must be relative and stay inside the "
            "install directory.",
            path.c_str(), InstallPathRules::Printable(target).c_str());
        return nullptr;
    }
    return new RemoteSymLinkDefinition(path, target, symlinkType);
}

}  // namespace VantisClient
