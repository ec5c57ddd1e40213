// Decides whether a request the web view is about to send fetches a resource
// of the current game's card, and where below the game's cache directory its
// copy belongs. Only plain-HTTP addresses on the base address's host and port
// whose path lies below the base address's path count; the query and the
// fragment take no part. The path is compared and checked after
// percent-decoding, as the server reads it, so an encoded ".." cannot climb
// out of the game's directory.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class WebCacheResource {
public:
    // The path below the game's cache directory for `address`, or empty when
    // the address is not to be cached. An address below the base whose rest is
    // not a safe relative path (WebCacheLayout) is refused with a warning.
    static std::string RelativePath(const std::string& address, const std::string& baseAddress);
};

}  // namespace VantisClient
