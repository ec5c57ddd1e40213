// Version and build time stamp, fixed when the tree is configured.
// Thread-safety: constant data, safe from any thread.
#pragma once

namespace VantisClient {

class BuildInfo {
public:
    // "0.1.0.373"
    static const char* Version();
    // Year-month-day hours:minutes of the build, for example "2026-12-10 01:15".
    static const char* BuildTime();
};

}  // namespace VantisClient
