#include "model/ProductDefinitionBase.h"

#include <cstdlib>

#include <Poco/JSON/Array.h>
#include <Poco/NumberParser.h>

#include "common/Logger.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

// An installer is run from the support directory joined with the command's game
// id, then with its executable: both must keep it inside that directory.
bool checkSupportCommand(const std::string& gameId, const std::string& executable) {
    if (InstallPathRules::IsPlainName(gameId) && InstallPathRules::IsSafeRelativePath(executable)) return true;
    Logger::LogError(
        "Rejected product manifest support command '%s' of game id '%s': the game id must be a plain directory name "
        "and the executable a relative path that stays inside it.",
        InstallPathRules::Printable(executable).c_str(), InstallPathRules::Printable(gameId).c_str());
    return false;
}

}  // namespace

uint64_t ProductDefinitionBase::getCurrentVersion() { return m_version; }

void ProductDefinitionBase::serialize(json&) {
    Logger::LogFatal("Product definitions cannot be serialized.");
    std::abort();
}

bool ProductDefinitionBase::deserializeFromVersion(const json& document, uint64_t) {
    if (!document->has("product")) return false;
    Poco::JSON::Object::Ptr product = document->getObject("product");
    if (!readInstallDirectory(product)) return false;
    if (product->has("disableSync")) m_disableSync = product->getValue<bool>("disableSync");
    if (!product->has("rootGameID")) return false;
    m_rootGameId = product->getValue<std::string>("rootGameID");
    if (!readTimestamp(product)) return false;
    if (!readSupportCommands(product)) return false;
    readAvailableGameIDs(product);
    return true;
}

// The directory is joined to the library directory; it must name a place below it.
bool ProductDefinitionBase::readInstallDirectory(const Poco::JSON::Object::Ptr& product) {
    if (!product->has("installDirectory")) return false;
    std::string installDirectory = product->getValue<std::string>("installDirectory");
    if (!InstallPathRules::IsSafeRelativePath(installDirectory)) {
        Logger::LogError(
            "Rejected product manifest with unsafe install directory '%s': it must be relative, not empty and stay "
            "inside the library directory.",
            InstallPathRules::Printable(installDirectory).c_str());
        return false;
    }
    m_installDirectory = installDirectory;
    return true;
}

bool ProductDefinitionBase::readTimestamp(const Poco::JSON::Object::Ptr& product) {
    if (!product->has("timestamp")) return false;
    Poco::Dynamic::Var timestamp = product->get("timestamp");
    if (timestamp.isInteger()) {
        m_manifestTimestamp = static_cast<int64_t>(timestamp.convert<Poco::UInt64>());
        return true;
    }
    std::string text = timestamp.convert<std::string>();
    Poco::Int64 parsed = 0;
    if (!Poco::NumberParser::tryParse64(text, parsed, ',')) {
        // A made-up stamp would later pass for a real revision of the product.
        Logger::LogError("Product manifest for gid %s has a timestamp that is not a number: '%s'.",
                         m_rootGameId.c_str(), text.c_str());
        return false;
    }
    m_manifestTimestamp = parsed;
    return true;
}

bool ProductDefinitionBase::readSupportCommands(const Poco::JSON::Object::Ptr& product) {
    if (!product->has("support_commands")) return true;
    m_supportCommands.clear();
    Poco::JSON::Array::Ptr commands = product->getArray("support_commands");
    for (size_t i = 0; i < commands->size(); ++i) {
        Poco::JSON::Object::Ptr command = commands->getObject(static_cast<unsigned>(i));
        std::string executable = command->getValue<std::string>("executable");
        std::string argument = command->getValue<std::string>("argument");
        std::string gameId = command->getValue<std::string>("gameID");
        if (!checkSupportCommand(gameId, executable)) return false;
        m_supportCommands.emplace_back(gameId, executable, argument);
    }
    return true;
}


void ProductDefinitionBase::readAvailableGameIDs(const Poco::JSON::Object::Ptr& product) {
    if (!product->has("gameIDs")) return;
    Poco::JSON::Array::Ptr gameIds = product->getArray("gameIDs");
    for (size_t i = 0; i < gameIds->size(); ++i) {
        Poco::JSON::Object::Ptr entry = gameIds->getObject(static_cast<unsigned>(i));
        if (!entry->has("gameID")) continue;
        AvailableGameIDInfo info(entry->getValue<std::string>("gameID"), true);
        if (entry->has("standalone")) info.standalone = entry->getValue<bool>("standalone");
        if (entry->has("required")) info.standalone = entry->getValue<bool>("required");
        if (entry->has("dependencies")) {
            Poco::JSON::Array::Ptr dependencies = entry->getArray("dependencies");
            for (size_t d = 0; d < dependencies->size(); ++d) {
                info.dependencies.push_back(dependencies->getElement<std::string>(static_cast<unsigned>(d)));
            }
        }
        if (entry->has("name")) {
            Poco::JSON::Object::Ptr names = entry->getObject("name");
            for (Poco::JSON::Object::ConstIterator name = names->begin(); name != names->end(); ++name) {
                info.names.addString(LocString::ParseLocalizationCode(name->first),
                                     name->second.convert<std::string>());
            }
        }
        m_availableGameIDs.push_back(info);
    }
}

std::string ProductDefinitionBase::getGameName() const {
    for (const AvailableGameIDInfo& info : m_availableGameIDs) {
        if (info.standalone && m_revisionList.containsGID(info.gameId)) return info.names.getText();
    }
    for (const AvailableGameIDInfo& info : m_availableGameIDs) {
        if (info.gameId == m_rootGameId) return info.names.getText();
    }
    return "";
}

Poco::SharedPtr<ProductIdentification> ProductDefinitionBase::getProductIdentification() const {
    return new ProductIdentification(m_gameId, m_manifestTimestamp, m_revisionList, m_language);
}

std::string ProductDefinitionBase::getDebugIdentificationString() const {
    return getProductIdentification()->getDebugIdentificationString();
}

}  // namespace VantisClient
