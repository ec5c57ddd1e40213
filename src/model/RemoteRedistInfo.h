// One redistributable of a product: the name of its depot manifest, its
// installer with argument, and the directory, relative to the install
// directory, that its files go to.
// Thread-safety: a plain value.
#pragma once

#include <string>

namespace VantisClient {

struct RemoteRedistInfo {
    std::string redist;
    std::string executable;
    std::string argument;
    std::string targetDir;
};

}  // namespace VantisClient
