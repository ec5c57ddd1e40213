// What tests of file handling look at and set up on the real file system.
#pragma once

#include <sys/types.h>

#include <string>

namespace VantisTest {

// Anything at `path`, a dangling link too.
bool ExistsNoFollow(const std::string& path);
// The permission bits of what is at `path` (not followed), 0 when nothing is.
mode_t ModeOf(const std::string& path);
// A bound Unix socket at `path`: nothing can open it as a file, whoever the test runs as.
void MakeSocket(const std::string& path);

}  // namespace VantisTest
