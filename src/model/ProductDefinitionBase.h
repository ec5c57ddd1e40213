// The product-level fields of a product manifest: identity, install directory,
// manifest timestamp, installer commands and the game ids the product offers,
// plus the selection (game ids, language) an install is made for. Base of the
// remote definition fetched from the backend and of the local ProductInfo.
// Reading a manifest returns false for a missing required key, and, with an
// error line, for an install directory or an installer command that would leave
// its directory; a key read without a presence test that is missing, or a value
// of the wrong kind, throws the JSON conversion's exception to the caller.
// Thread-safety: none of its own; guard it like the record it is part of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

#include "common/json/ISerializable.h"
#include "model/AvailableGameIDInfo.h"
#include "model/LanguageList.h"
#include "model/ProductIdentification.h"
#include "model/RemoteSupportInfo.h"
#include "model/tRevisionList.h"

namespace VantisClient {

class ProductDefinitionBase : public ISerializable {
public:
    ProductDefinitionBase() = default;

    uint64_t getCurrentVersion() override;
    // Definitions are read, never written: calling this ends the process.
    void serialize(json& document) override;
    // Reads a product manifest; `version` is not consulted.
    bool deserializeFromVersion(const json& document, uint64_t version) override;

    // The name of the first standalone game id that is selected, else the root
    // game's name, else "".
    std::string getGameName() const;
    Poco::SharedPtr<ProductIdentification> getProductIdentification() const;
    std::string getDebugIdentificationString() const;

    const std::string& getGameId() const { return m_gameId; }
    void setGameId(const std::string& gameId) { m_gameId = gameId; }
    const std::string& getRootGameId() const { return m_rootGameId; }
    void setRootGameId(const std::string& rootGameId) { m_rootGameId = rootGameId; }
    // The name of the directory the product installs into, from the manifest.
    const std::string& getProductDir() const { return m_installDirectory; }
    void setProductDir(const std::string& installDirectory) { m_installDirectory = installDirectory; }
    bool getDisableSync() const { return m_disableSync; }
    int64_t getManifestTimestamp() const { return m_manifestTimestamp; }
    void setManifestTimestamp(int64_t timestamp) { m_manifestTimestamp = timestamp; }
    tRevisionList& getRevisionList() { return m_revisionList; }
    const tRevisionList& getRevisionList() const { return m_revisionList; }
    void setRevisionList(const tRevisionList& revisions) { m_revisionList = revisions; }
    const std::string& getLanguage() const { return m_language; }
    void setLanguage(const std::string& language) { m_language = language; }
    std::vector<RemoteSupportInfo>& getSupportCommands() { return m_supportCommands; }
    const std::vector<RemoteSupportInfo>& getSupportCommands() const { return m_supportCommands; }
    std::vector<AvailableGameIDInfo>& getAvailableGameIDs() { return m_availableGameIDs; }
    const std::vector<AvailableGameIDInfo>& getAvailableGameIDs() const { return m_availableGameIDs; }
    LanguageList& getAvailableLanguages() { return m_availableLanguages; }
    const LanguageList& getAvailableLanguages() const { return m_availableLanguages; }
    void setAvailableLanguages(const LanguageList& languages) { m_availableLanguages = languages; }

protected:
    uint64_t m_version = 0;
    std::string m_gameId;
    std::string m_rootGameId;
    std::string m_installDirectory;
    bool m_disableSync = false;
    int64_t m_manifestTimestamp = 0;
    tRevisionList m_revisionList;
    std::string m_language;
    std::vector<RemoteSupportInfo> m_supportCommands;
    std::vector<AvailableGameIDInfo> m_availableGameIDs;
    LanguageList m_availableLanguages;

private:
    bool readInstallDirectory(const Poco::JSON::Object::Ptr& product);
    bool readTimestamp(const Poco::JSON::Object::Ptr& product);
    bool readSupportCommands(const Poco::JSON::Object::Ptr& product);
    void readAvailableGameIDs(const Poco::JSON::Object::Ptr& product);
};

}  // namespace VantisClient
