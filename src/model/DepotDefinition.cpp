#include "model/DepotDefinition.h"

#include <cstdlib>

#include <Poco/JSON/Array.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "model/RemoteFileDeserializer.h"
#include "model/SymLinkChainResolver.h"

namespace VantisClient {

namespace {

const uint64_t DEPOT_FORMAT_VERSION = 1;

const char* refusal(SymLinkChainResolver::Outcome outcome) {
    return outcome == SymLinkChainResolver::Outcome::Outside
               ? "through the manifest's other links it leads outside the install directory"
               : "its chain of links loops or is too long to follow";
}

}  // namespace

DepotDefinition::DepotDefinition(const std::string& manifestName) : m_manifestName(manifestName) {}

DepotDefinition::DepotDefinition(const DepotDefinition& other)
    : ISerializable(other), m_files(other.m_files), m_directories(other.m_directories), m_symLinks(other.m_symLinks) {}

DepotDefinition& DepotDefinition::operator=(const DepotDefinition& other) {
    m_files = other.m_files;
    m_directories = other.m_directories;
    m_symLinks = other.m_symLinks;
    return *this;
}

uint64_t DepotDefinition::getCurrentVersion() { return DEPOT_FORMAT_VERSION; }

void DepotDefinition::serialize(json&) {
    Logger::LogFatal("Depot definitions cannot be serialized.");
    std::abort();
}

bool DepotDefinition::deserializeFromVersion(const json& document, uint64_t) {
    ScopeTimer timer("Deserializing depot");
    if (!document->has("depot")) return false;
    Poco::JSON::Object::Ptr depot = document->getObject("depot");
    if (!depot->has("files")) return false;
    Poco::JSON::Array::Ptr entries = depot->getArray("files");
    m_files.reserve(entries->size());
    for (size_t i = 0; i < entries->size(); ++i) {
        if (!readEntry(entries->getObject(static_cast<unsigned>(i)))) return false;
    }
    return linksStayInside();
}

bool DepotDefinition::readEntry(const Poco::JSON::Object::Ptr& entry) {
    if (entry->has("directory")) {
        if (!entry->getValue<bool>("directory")) return true;  // ignored, not read as a file
        RemoteDirDefinition::Ptr directory = RemoteFileDeserializer::DeserializeDir(entry);
        if (directory.isNull()) return false;
        m_directories.push_back(directory);
    } else if (entry->has("symlinkType")) {
        RemoteSymLinkDefinition::Ptr link = RemoteFileDeserializer::DeserializeSymLink(entry);
        if (link.isNull()) return false;
        m_symLinks.push_back(link);
    } else {
        RemoteFileDefinition::Ptr file = RemoteFileDeserializer::DeserializeFile(entry);
        if (file.isNull()) return false;
        m_files.push_back(file);
    }
    return true;
}

// Each link alone was checked when read; only together do the links show where
// a target that passes through another one really ends.
bool DepotDefinition::linksStayInside() const {
    SymLinkChainResolver resolver(m_symLinks);
    for (const RemoteSymLinkDefinition::Ptr& link : m_symLinks) {
        SymLinkChainResolver::Outcome outcome = resolver.resolve(link->getPath(), link->getTarget());
        if (outcome == SymLinkChainResolver::Outcome::Inside) continue;
        Logger::LogError("Rejected symlink '%s' with target '%s' of depot manifest %s: %s.", link->getPath().c_str(),
                         link->getTarget().c_str(), m_manifestName.c_str(), refusal(outcome));
        return false;
    }
    return true;
}

}  // namespace VantisClient
