#include "model/ProductIdentification.h"

#include <Poco/NumberFormatter.h>

namespace VantisClient {

ProductIdentification::ProductIdentification(const std::string& gameId_, int64_t manifestTimestamp_,
                                             const tRevisionList& revisions_, const std::string& language_)
    : gameId(gameId_), manifestTimestamp(manifestTimestamp_), revisions(revisions_), language(language_) {}

std::string ProductIdentification::getDebugIdentificationString() const {
    std::string joined;
    for (size_t i = 0; i < revisions.size(); ++i) {
        if (i > 0) joined += " ";
        joined += revisions[i];
    }
    // Log readers expect the stamp as an unsigned number, even a negative one.
    return "gid '" + gameId + "' (language '" + language + "' manifestTimestamp '" +
           Poco::NumberFormatter::format(static_cast<uint64_t>(manifestTimestamp)) + "' revisions '" + joined + "')";
}

}  // namespace VantisClient
