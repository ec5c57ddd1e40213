// What names one install of a product: game id, manifest timestamp, the selected
// game ids and the language. Shared by the product model and the game card.
// Thread-safety: a plain value; shared snapshots are never changed after creation.
#pragma once

#include <cstdint>
#include <string>

#include "model/tRevisionList.h"

namespace VantisClient {

class ProductIdentification {
public:
    ProductIdentification() = default;
    ProductIdentification(const std::string& gameId, int64_t manifestTimestamp, const tRevisionList& revisions,
                          const std::string& language);
    virtual ~ProductIdentification() = default;

    // gid '42' (language 'en' manifestTimestamp '7' revisions '42 43')
    std::string getDebugIdentificationString() const;

    std::string gameId;
    int64_t manifestTimestamp = 0;
    tRevisionList revisions;
    std::string language;
};

}  // namespace VantisClient
