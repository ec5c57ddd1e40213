// The two keys that name one binary file of the backend, as
// SecureUrlCache::tokenizeUrl cuts them from a file's manifest URL: the product
// key (the URL's first path component, or the game id) and the file key (its
// last path component).
// Thread-safety: a plain value.
#pragma once

#include <string>

namespace VantisClient {

struct SecureUrlQuery {
    std::string product;
    std::string file;
};

}  // namespace VantisClient
