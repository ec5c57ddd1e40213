// One redistributable installer of a product and whether it has been run.
// Thread-safety: a plain value.
#pragma once

#include <string>

namespace VantisClient {

struct RedistInfo {
    RedistInfo(const std::string& executable_, const std::string& argument_, bool executed_)
        : executable(executable_), argument(argument_), executed(executed_) {}

    std::string executable;
    std::string argument;
    bool executed;
};

}  // namespace VantisClient
