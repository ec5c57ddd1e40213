#include "model/DepotDefinition.h"

#include <exception>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "model/DepotManifestHandler.h"
#include "model/RemoteFileDeserializer.h"
#include "model/SymLinkChainResolver.h"

namespace VantisClient {

namespace {

const char* refusal(SymLinkChainResolver::Outcome outcome) {
    return outcome == SymLinkChainResolver::Outcome::Outside
               ? "through the manifest's other links it leads outside the install directory"
               : "its chain of links loops or is too long to follow";
}

}  // namespace

DepotDefinition::DepotDefinition(const std::string& manifestName) : m_manifestName(manifestName) {}

DepotDefinition::DepotDefinition(const DepotDefinition& other)
    : m_files(other.m_files), m_directories(other.m_directories), m_symLinks(other.m_symLinks) {}

DepotDefinition& DepotDefinition::operator=(const DepotDefinition& other) {
    m_files = other.m_files;
    m_directories = other.m_directories;
    m_symLinks = other.m_symLinks;
    return *this;
}

DepotDefinition::Reading DepotDefinition::readText(const std::string& text) {
    ScopeTimer timer("Reading depot manifest");
    clearEntries();
    Poco::SharedPtr<DepotManifestHandler> handler = new DepotManifestHandler(
        [this](const Poco::JSON::Object::Ptr& entry) { return takeEntry(entry); }, [this] { clearEntries(); });
    try {
        Poco::JSON::Parser(handler).parse(text);
    } catch (const Poco::Exception& e) {
        Logger::LogError("Depot manifest %s is not JSON: %s", m_manifestName.c_str(), e.displayText().c_str());
        return Reading::NotJson;
    }
    if (!handler->rootIsObject()) {
        Logger::LogError("Depot manifest %s is not a JSON object.", m_manifestName.c_str());
        return Reading::NotJson;
    }
    if (!handler->listsFiles()) {
        Logger::LogError("Depot manifest %s holds no \"depot\" with a list of \"files\".", m_manifestName.c_str());
        return Reading::Unusable;
    }
    if (!handler->tookEveryEntry()) return Reading::Unusable;
    return linksStayInside() ? Reading::Read : Reading::Unusable;
}

void DepotDefinition::clearEntries() {
    m_files.clear();
    m_directories.clear();
    m_symLinks.clear();
}

bool DepotDefinition::takeEntry(const Poco::JSON::Object::Ptr& entry) {
    if (entry.isNull()) {
        Logger::LogError("Depot manifest %s lists a file entry that is not an object.", m_manifestName.c_str());
        return false;
    }
    try {
        return readEntry(entry);
    } catch (const Poco::Exception& e) {
        Logger::LogError("Depot manifest %s holds a value of the wrong kind: %s", m_manifestName.c_str(),
                         e.displayText().c_str());
    } catch (const std::exception& e) {
        Logger::LogError("Depot manifest %s holds a value of the wrong kind: %s", m_manifestName.c_str(), e.what());
    }
    return false;
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
