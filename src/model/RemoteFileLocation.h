// Where a file's data lives on the backend: the resource that holds it and the
// offset at which the file starts in that resource.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

struct RemoteFileLocation {
    RemoteFileLocation(const std::string& url_, uint64_t offset_) : url(url_), offset(offset_) {}

    std::string url;
    uint64_t offset;
};

}  // namespace VantisClient
