// The rules that keep paths from a manifest inside the product's install
// directory. Every path of a manifest entry is relative to that directory; one
// that is empty, absolute or climbs with ".." could make a later write land
// anywhere on the machine, so the readers refuse it. A zero byte is refused
// too: the file system would see the path cut short there, a different file
// from the one the manifest names. A link may point upwards, but only as far
// as the install directory itself. The checks are lexical: the pipeline checks
// the real file system again before it writes.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

class InstallPathRules {
public:
    // Not empty, not absolute, no ".." component, no zero byte, and naming
    // something below the directory (not only "." components). '\\' counts as a
    // separator too.
    static bool IsSafeRelativePath(const std::string& path);
    // One directory or file name: not empty, not "." or "..", no separator and
    // no zero byte.
    static bool IsPlainName(const std::string& name);
    // A non-empty, relative target without a zero byte that, read from the
    // directory holding the link at `linkPath` (itself a safe relative path),
    // stays inside the install directory. Other links are not followed.
    static bool IsSafeLinkTarget(const std::string& linkPath, const std::string& target);

    static bool IsAbsolute(const std::string& path);
    // The path without its leading separators: a path written as absolute, read
    // as relative to the directory it is joined to.
    static std::string RelativeToRoot(const std::string& path);
    // The path's components without the empty and "." ones.
    static std::vector<std::string> Components(const std::string& path);
    // The path as a log line can show it: a zero byte, which would end the
    // line's text early, is written as "\0".
    static std::string Printable(const std::string& path);
};

}  // namespace VantisClient
