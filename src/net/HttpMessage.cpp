#include "net/HttpMessage.h"

namespace VantisClient {
namespace Http {

std::string HttpMessage::lastHeader(const std::string& name) const {
    const auto range = headers.equal_range(name);
    if (range.first == range.second) return std::string();
    return std::prev(range.second)->second;
}

}  // namespace Http
}  // namespace VantisClient
