#include "backend/IncomingRequest.h"

namespace VantisClient {
namespace Backend {

std::string IncomingRequest::parameter(const std::string& name) const {
    auto found = parameters.find(name);
    return found == parameters.end() ? std::string() : found->second;
}

std::vector<std::string> IncomingRequest::segments() const {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) pieces.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return pieces;
}

}  // namespace Backend
}  // namespace VantisClient
