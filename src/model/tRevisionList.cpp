#include "model/tRevisionList.h"

#include <algorithm>

namespace VantisClient {

bool tRevisionList::containsGID(const std::string& gameId) const {
    return std::find(begin(), end(), gameId) != end();
}

}  // namespace VantisClient
