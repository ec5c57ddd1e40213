// One installer command of a product (the manifest's "support_commands").
// Thread-safety: a plain value.
#pragma once

#include <string>

namespace VantisClient {

struct RemoteSupportInfo {
    RemoteSupportInfo(const std::string& gameId_, const std::string& executable_, const std::string& argument_)
        : gameId(gameId_), executable(executable_), argument(argument_) {}

    std::string gameId;
    std::string executable;
    std::string argument;
};

}  // namespace VantisClient
