// One directory a product needs, and whether it is still to be created or is to
// be removed instead.
// Thread-safety: a plain value; guard it like the ProductInfo that holds it.
#pragma once

#include <cstdint>
#include <string>

#include "model/RemoteDirDefinition.h"

namespace VantisClient {

struct DirInfo {
    enum EDirState : int32_t { Pending = 1, Created = 2 };

    DirInfo(const RemoteDirDefinition::Ptr& definition_, EDirState state_, const std::string& fullPath_ = "")
        : definition(definition_), state(state_), fullPath(fullPath_) {}

    RemoteDirDefinition::Ptr definition;
    // Set when the directory is to be removed instead of created.
    bool deleteFlag = false;
    EDirState state;
    // The local path joined with the definition's path; not stored, so empty
    // after loading.
    std::string fullPath;
};

}  // namespace VantisClient
