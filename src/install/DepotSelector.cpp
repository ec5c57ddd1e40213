#include "install/DepotSelector.h"


#include <Poco/Exception.h>
#include <Poco/HashSet.h>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/ScopeTimer.h"
#include "common/SecretRedactor.h"
#include "common/StringUtils.h"
#include "common/Utilities.h"
#include "model/LanguageInfo.h"
#include "net/HttpTasks.h"
#include "net/RequestFactory.h"

namespace VantisClient {

using Http::HttpRequest;
using Http::HttpResponse;
using Http::RequestFactory;
using Http::Tasks::LinkedDocument;
using Failure = Http::Tasks::LinkedDocument::Failure;

namespace {

using PathSet = Poco::HashSet<std::string>;

// A link's query holds what grants access to it: logged, it is masked.
std::string printableLink(const std::string& link) {
    const size_t query = link.find('?');
    if (query == std::string::npos) return link;
    return link.substr(0, query + 1) + SecretRedactor::MASK;
}

const char* const CHANNEL = "DepotSelector";
const std::size_t SEEN_PATH_BUCKETS = 64;

bool answered(int status) { return status != HttpResponse::NO_STATUS; }

template <typename Entry>
PathSet pathsOf(const std::vector<Entry>& entries) {
    PathSet paths(SEEN_PATH_BUCKETS);
    for (const Entry& entry : entries) paths.insert(entry->getPath());
    return paths;
}

}  // namespace

DepotSelector::DepotSelector(const Poco::SharedPtr<RemoteProductDefinition>& definition,
                             const AbortSignal::Ptr& abortSignal)
    : m_definition(definition), m_abortSignal(abortSignal) {}

bool DepotSelector::aborted() const { return m_abortSignal && m_abortSignal->isRaised(); }

bool DepotSelector::deserializeDepotsSelectively(Depots& depots) {
    ScopeTimer timer("deserializeDepotsSelectively");
    Logger::LogInfo("Starting selective depot deserialization for product %s",
                    m_definition->getDebugIdentificationString().c_str());
    if (!deserializeRedistDepotsSelectively(depots)) return false;
    const int gameDepots = addGameDepots(depots);
    if (gameDepots < 0) return false;
    if (gameDepots == 0) {
        Logger::LogError("No depot of product %s serves the selected game ids in language %s",
                         m_definition->getGameId().c_str(), m_definition->getLanguage().c_str());
        return false;
    }
    return mergeFilesInDepots(depots);
}

int DepotSelector::addGameDepots(Depots& depots) {
    const Poco::SharedPtr<ProductIdentification> identification = m_definition->getProductIdentification();
    int added = 0;
    for (const DepotData& depotData : m_definition->getDepots()) {
        if (aborted()) return -1;
        if (!depotMatches(*identification, depotData)) continue;
        DepotDefinition::Ptr depot = fetchDepotDefinition(depotData.manifest, false);
        if (!depot) return -1;
        depots.push_back(depot);
        ++added;
    }
    return added;
}

bool DepotSelector::depotMatches(const ProductIdentification& identification, const DepotData& depotData) {
    bool revisionMatches = false;
    for (const std::string& gameId : depotData.gameIDs) {
        if (identification.revisions.containsGID(gameId)) {
            revisionMatches = true;
            break;
        }
    }
    const bool languageMatches = depotData.servesLanguage(identification.language);
    if (languageMatches && revisionMatches) return true;
    Logger::LogChannelInfo(CHANNEL,
                           "Manifest %s discarded for product %s installation; reason: languageMatches: %d "
                           "revisionMatches: %d",
                           depotData.manifest.c_str(), identification.gameId.c_str(), languageMatches ? 1 : 0,
                           revisionMatches ? 1 : 0);
    return false;
}

DepotDefinition::Ptr DepotSelector::fetchDepotDefinition(const std::string& name, bool isRedist) {
    const std::string& gameId = m_definition->getGameId();
    Logger::LogInfo("Selected manifest %s for product %s installation", name.c_str(), gameId.c_str());
    const HttpRequest linkRequest = isRedist ? RequestFactory::getRedistributableManifest(name)
                                             : RequestFactory::getDepotManifestUrl(gameId, name);
    DepotDefinition::Ptr depot = new DepotDefinition(name);
    DepotDefinition::Reading reading = DepotDefinition::Reading::NotJson;
    const LinkedDocument fetched = Http::Tasks::fetchLinkedDocument(
        linkRequest, "depot manifest " + name, m_abortSignal, [&](const std::string& text) {
            reading = depot->readText(text);
            return reading != DepotDefinition::Reading::NotJson;
        });
    switch (fetched.failure) {
        case Failure::None:
            break;
        case Failure::LinkStatus:
            Logger::LogError("getDepotManifestUrl failed for gid %s file %s with response code %d.", gameId.c_str(),
                             name.c_str(), fetched.linkStatus);
            if (answered(fetched.linkStatus)) reportDepotProblem(name, fetched.linkStatus, FetchFailed);
            return DepotDefinition::Ptr();
        case Failure::LinkUnreadable:
            Logger::LogError("Deserializing manifest depot url root failed for file %s.", name.c_str());
            reportDepotProblem(name, fetched.linkStatus, ParsingFailed);
            return DepotDefinition::Ptr();
        case Failure::NoLink:
            Logger::LogError("Getting link from manifest file failed for file %s.", name.c_str());
            reportDepotProblem(name, fetched.linkStatus, ParsingFailed);
            return DepotDefinition::Ptr();
        case Failure::InsecureLink:
            return DepotDefinition::Ptr();
        case Failure::DocumentStatus:
            Logger::LogError("getManifestOrBinaryFile failed for file %s with response code %d.", name.c_str(),
                             fetched.status);
            if (answered(fetched.status)) reportDepotProblem(fetched.url, fetched.status, FetchFailed);
            return DepotDefinition::Ptr();
        case Failure::DocumentUnreadable:
            Logger::LogError("Deserializing manifest depot root failed for file %s.", name.c_str());
            reportDepotProblem(fetched.url, fetched.status, ParsingFailed);
            return DepotDefinition::Ptr();
    }
    if (reading == DepotDefinition::Reading::Read) return depot;
    Logger::LogError("Deserializing manifest depot definition failed for file %s.", name.c_str());
    reportDepotProblem(fetched.url, fetched.status, ParsingFailed);
    return DepotDefinition::Ptr();
}

void DepotSelector::reportDepotProblem(const std::string& text, int status, ManifestFetchingProblem problem) {
    ProblemReporter::Instance().depotManifestUrlFailed(m_definition->getGameId(), m_definition->getGameName(), text,
                                                       static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status),
                                                       false, problem);
}

void DepotSelector::reportRedistProblem(const std::string& url, int status) {
    ProblemReporter::Instance().depotManifestUrlFailed(m_definition->getGameId(), m_definition->getGameName(), url,
                                                       static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status), true,
                                                       FetchFailed);
}

Poco::JSON::Array::Ptr DepotSelector::fetchRedistDepots() {
    const LinkedDocument fetched = Http::Tasks::fetchLinkedDocument(
        RequestFactory::getRedistributablesMainManifest(), "the redistributables' repository", m_abortSignal);
    switch (fetched.failure) {
        case Failure::None:
            break;
        case Failure::LinkStatus:
            Logger::LogError("Failed to receive manifest for redistributables: %d", fetched.linkStatus);
            if (answered(fetched.linkStatus)) reportRedistProblem(fetched.linkUrl, fetched.linkStatus);
            return Poco::JSON::Array::Ptr();
        case Failure::LinkUnreadable:
            Logger::LogError("Failed to deserialize json response for redistributables main manifest.");
            reportRedistProblem(fetched.linkUrl, fetched.linkStatus);
            return Poco::JSON::Array::Ptr();
        case Failure::NoLink:
            Logger::LogError("Failed to deserialize manifest redist file %s.", fetched.link.c_str());
            reportRedistProblem(fetched.linkUrl, fetched.linkStatus);
            return Poco::JSON::Array::Ptr();
        case Failure::InsecureLink:
            return Poco::JSON::Array::Ptr();
        case Failure::DocumentStatus:
            Logger::LogError("Failed to download redist manifest file %s - error code %d", printableLink(fetched.link).c_str(),
                             fetched.status);
            if (answered(fetched.status)) reportRedistProblem(fetched.url, fetched.status);
            return Poco::JSON::Array::Ptr();
        case Failure::DocumentUnreadable:
            Logger::LogError("Failed to deserialize redist manifest %s.", printableLink(fetched.link).c_str());
            reportRedistProblem(fetched.url, fetched.status);
            return Poco::JSON::Array::Ptr();
    }
    Poco::JSON::Object::Ptr product = fetched.document->getObject("product");
    if (!product) {
        Logger::LogError("Failed to get product object in redist file %s.", printableLink(fetched.link).c_str());
        return Poco::JSON::Array::Ptr();
    }
    Poco::JSON::Array::Ptr depots = product->getArray("depots");
    if (!depots) Logger::LogError("Failed to get depots object in redist file %s.", printableLink(fetched.link).c_str());
    return depots;
}

bool DepotSelector::deserializeRedistDepotsSelectively(Depots& depots) {
    Poco::JSON::Array::Ptr array = fetchRedistDepots();
    if (!array) return false;
    std::vector<DepotData> repository;
    if (!readRedistRepository(array, repository)) return false;
    for (const RemoteRedistInfo& redist : m_definition->getRedistributables()) {
        if (!addRedistDepots(redist, repository, depots)) return false;
    }
    return true;
}

bool DepotSelector::readRedistRepository(const Poco::JSON::Array::Ptr& array, std::vector<DepotData>& repository) {
    LanguageList unusedLanguages;
    for (std::size_t i = 0; i < array->size(); ++i) {
        Poco::JSON::Object::Ptr entry = array->getObject(static_cast<unsigned>(i));
        DepotData depot;
        bool read = false;
        try {
            read = entry && depot.deserializeAndAddAvailableLanguages(entry, unusedLanguages);
        } catch (const Poco::Exception& e) {
            Logger::LogError("Redistributable depot %zu holds a value of the wrong kind: %s", i,
                             e.displayText().c_str());
        }
        if (!read) {
            Logger::LogError("Failed to read redistributable depot %zu of the redistributables' repository.", i);
            return false;
        }
        repository.push_back(depot);
    }
    return true;
}

bool DepotSelector::addRedistDepots(const RemoteRedistInfo& redist, const std::vector<DepotData>& repository,
                                    Depots& depots) {
    const ProductIdentification identification(m_definition->getGameId(), m_definition->getManifestTimestamp(),
                                               tRevisionList{redist.redist}, m_definition->getLanguage());
    bool found = false;
    for (const DepotData& depotData : repository) {
        if (!depotMatches(identification, depotData)) continue;
        found = true;
        DepotDefinition::Ptr depot = fetchDepotDefinition(depotData.manifest, true);
        if (!depot) return false;
        adjustFilePathsForRedist(redist, *depot);
        depots.push_back(depot);
    }
    if (found) return true;
    Logger::LogWarning("Remote redist %s not found", redist.redist.c_str());
    ProblemReporter::Instance().redistDefinitionNotFound(m_definition->getGameId(), redist.redist);
    return false;
}

void DepotSelector::adjustFilePathsForRedist(const RemoteRedistInfo& redistInfo, DepotDefinition& depot) {
    for (RemoteFileDefinition::Ptr& file : depot.getFiles()) {
        const FileInformation information(FileType::Redistributable,
                                          Utilities::AppendPath(redistInfo.targetDir, file->getPath()),
                                          file->getHash(), file->getSize());
        file = new RemoteFileDefinition(information, file->getLocation(), file->getPartSize(), file->getParts());
    }
}

bool DepotSelector::mergeFilesInDepots(const Depots& depots) {
    ScopeTimer timer("mergeFilesInDepots");
    PathSet seenFiles(SEEN_PATH_BUCKETS);
    PathSet seenDirectories = pathsOf(m_definition->getRemoteDirectories());
    PathSet seenLinks = pathsOf(m_definition->getRemoteSymLinks());
    for (auto depot = depots.rbegin(); depot != depots.rend(); ++depot) {
        int included = 0;
        for (const RemoteFileDefinition::Ptr& file : (*depot)->getFiles()) {
            if (aborted()) return false;
            if (!seenFiles.insert(file->getPath()).second) continue;
            m_definition->getRemoteFiles().push_back(file);
            ++included;
        }
        Logger::LogInfo("%d files from depot %s included for installation of product %s", included,
                        (*depot)->getManifestName().c_str(), m_definition->getGameId().c_str());
        for (const RemoteDirDefinition::Ptr& directory : (*depot)->getDirectories()) {
            if (aborted()) return false;
            if (seenDirectories.insert(directory->getPath()).second) {
                m_definition->getRemoteDirectories().push_back(directory);
            }
        }
        for (const RemoteSymLinkDefinition::Ptr& link : (*depot)->getSymLinks()) {
            if (aborted()) return false;
            if (seenLinks.insert(link->getPath()).second) m_definition->getRemoteSymLinks().push_back(link);
        }
    }
    return true;
}

}  // namespace VantisClient
