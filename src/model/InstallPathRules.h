// The rules that keep paths from a manifest inside the product's install
// directory. Every path of a manifest entry is relative to that directory; one
// that is empty, absolute or climbs with ".." could make a later write land
// anywhere on the machine, so the readers refuse it. A link may point upwards,
// but only as far as the install directory itself. The checks are lexical:
// the pipeline checks the real file system again before it writes.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class InstallPathRules {
public:
    // Not empty, not absolute, no ".." component, and naming something below
    // the directory (not only "." components). '\\' counts as a separator too.
    static bool IsSafeRelativePath(const std::string& path);
    // A non-empty, relative target that, read from the directory holding the link
    // at `linkPath` (itself a safe relative path), stays inside the install directory.
    static bool IsSafeLinkTarget(const std::string& linkPath, const std::string& target);
};

}  // namespace VantisClient
