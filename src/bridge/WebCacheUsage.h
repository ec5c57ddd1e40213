// How much the web cache holds: the bytes and the number of its regular
// files, counted below its root without following links, so that the filler
// can keep the cache within its bounds.
// Thread-safety: stateless; a count taken while another thread writes is a
// snapshot of some moment.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

struct WebCacheUsage {
    uint64_t bytes = 0;
    uint64_t files = 0;

    // What lies below `root`, leaving out the file at `excluded` (the one a
    // download is about to replace). Nothing for a root that does not exist.
    static WebCacheUsage Of(const std::string& root, const std::string& excluded);
};

}  // namespace VantisClient
