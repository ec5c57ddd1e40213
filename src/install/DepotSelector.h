// Decides which depots an install takes and merges their entries into the
// remote product definition: the redistributables the product names (from the
// backend's repository of redistributables), then every game depot that serves
// one of the selected game ids in the selected language. Each depot manifest is
// fetched in two blocking steps (a JSON answer holding a link, then the
// document at the link). A file several depots carry comes from the depot
// listed last, so a redistributable never shadows a game file.
//
// A selection that takes no game depot fails: installing an empty file list
// would remove every installed file of the product.
// Thread-safety: none; runs on its install task's thread, which it blocks
// during each request. The abort signal is read between depots and entries.
#pragma once

#include <string>
#include <vector>

#include <Poco/JSON/Array.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/SharedPtr.h>

#include "common/AbortSignal.h"
#include "common/ManifestFetchingProblem.h"
#include "model/DepotData.h"
#include "model/DepotDefinition.h"
#include "model/ProductIdentification.h"
#include "model/RemoteProductDefinition.h"
#include "model/RemoteRedistInfo.h"

namespace VantisClient {

class DepotSelector {
public:
    using Depots = std::vector<DepotDefinition::Ptr>;

    DepotSelector(const Poco::SharedPtr<RemoteProductDefinition>& definition, const AbortSignal::Ptr& abortSignal);

    // Appends the selected depots to `depots` (redistributables first) and their
    // entries to the definition. False on any failed fetch, unreadable document,
    // missing redistributable, abort, or when no game depot matches.
    bool deserializeDepotsSelectively(Depots& depots);

    bool depotMatches(const ProductIdentification& identification, const DepotData& depotData);
    // Null on failure, after the error line and (for answered requests) a report.
    DepotDefinition::Ptr fetchDepotDefinition(const std::string& name, bool isRedist);
    // The "depots" array of the redistributables' repository; null on failure.
    Poco::JSON::Array::Ptr fetchRedistDepots();
    bool deserializeRedistDepotsSelectively(Depots& depots);
    // Every file of `depot` goes below the redistributable's target directory,
    // as a redistributable file without the hidden and executable flags.
    void adjustFilePathsForRedist(const RemoteRedistInfo& redistInfo, DepotDefinition& depot);
    bool mergeFilesInDepots(const Depots& depots);

private:
    bool aborted() const;
    bool readRedistRepository(const Poco::JSON::Array::Ptr& array, std::vector<DepotData>& repository);
    bool addRedistDepots(const RemoteRedistInfo& redist, const std::vector<DepotData>& repository, Depots& depots);
    // How many game depots matched and were appended; -1 on failure.
    int addGameDepots(Depots& depots);
    void reportDepotProblem(const std::string& text, int status, ManifestFetchingProblem problem);
    void reportRedistProblem(const std::string& url, int status);

    Poco::SharedPtr<RemoteProductDefinition> m_definition;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
