// Helpers shared by the fuzz targets: what counts as a normal outcome for a
// reader of outside data, and the checks that make an accepted-but-unsafe
// result a crash the fuzzer can see.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <Poco/Exception.h>

#include "model/InstallPathRules.h"

namespace VantisFuzz {

inline std::string ToText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The readers may reject a document by throwing Poco's exceptions (missing key,
// value of the wrong kind, number out of range); anything else escapes and the
// fuzzer reports it as a fault.
template <typename Read>
void RunReader(Read read) {
    try {
        read();
    } catch (const Poco::Exception&) {
    }
}

// A reader that accepted a path which would leave the install directory has
// failed at its one safety duty; abort so the input is kept as a crash.
inline void RequireSafePath(const std::string& path, const char* what) {
    if (VantisClient::InstallPathRules::IsSafeRelativePath(path)) return;
    std::fprintf(stderr, "accepted unsafe %s path '%s'\n", what, path.c_str());
    std::abort();
}

}  // namespace VantisFuzz
