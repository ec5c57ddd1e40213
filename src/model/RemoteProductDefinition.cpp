#include "model/RemoteProductDefinition.h"

#include <Poco/JSON/Array.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "common/Utilities.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

std::string optionalString(const Poco::JSON::Object::Ptr& entry, const std::string& key) {
    return entry->has(key) ? entry->getValue<std::string>(key) : std::string();
}

}  // namespace

RemoteProductDefinition::RemoteProductDefinition(const std::string& gameId, const tRevisionList& revisions,
                                                 const std::string& language, bool flag)
    : m_flag(flag) {
    m_gameId = gameId;
    m_revisionList = revisions;
    m_language = language;
}

bool RemoteProductDefinition::deserializeFromVersion(const json& document, uint64_t version) {
    ScopeTimer timer("RemoteProductDefinition::deserialize");
    if (!ProductDefinitionBase::deserializeFromVersion(document, version)) return false;
    Poco::JSON::Object::Ptr product = document->getObject("product");
    if (!product->has("depots")) return false;
    Poco::JSON::Array::Ptr depots = product->getArray("depots");
    for (size_t i = 0; i < depots->size(); ++i) {
        Poco::JSON::Object::Ptr entry = depots->getObject(static_cast<unsigned>(i));
        if (entry->has("redist")) {
            if (!readRedistributable(entry)) return false;
            continue;
        }
        DepotData depot;
        if (!depot.deserializeAndAddAvailableLanguages(entry, m_availableLanguages)) return false;
        m_depots.push_back(depot);
    }
    LanguageList::CreateAvailableLanguagesList(m_availableLanguages);
    return true;
}

bool RemoteProductDefinition::readRedistributable(const Poco::JSON::Object::Ptr& entry) {
    RemoteRedistInfo redist;
    redist.redist = entry->getValue<std::string>("redist");
    redist.executable = optionalString(entry, "executable");
    redist.argument = optionalString(entry, "argument");
    std::string targetDir = optionalString(entry, "targetDir");
    if (targetDir.empty()) targetDir = Utilities::AppendPath("__redist", redist.redist);
    // Every file of the redistributable lands below this directory. A leading
    // separator names the install directory, not the machine's root: it is
    // dropped so that no later join can take the directory for an absolute one.
    redist.targetDir = InstallPathRules::RelativeToRoot(targetDir);
    if (!InstallPathRules::IsSafeRelativePath(redist.targetDir)) {
        Logger::LogError(
            "Rejected redistributable %s with unsafe target directory '%s': it must not be empty and must stay "
            "inside the install directory.",
            InstallPathRules::Printable(redist.redist).c_str(), InstallPathRules::Printable(targetDir).c_str());
        return false;
    }
    m_redistributables.push_back(redist);
    return true;
}

bool RemoteProductDefinition::getNeedsWindowsInstallation() const { return !m_supportCommands.empty(); }

}  // namespace VantisClient
