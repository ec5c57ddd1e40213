// The log channel of the install's per-part lines: off unless asked for, they
// would cost more than the parts' own bookkeeping. Each file still has its
// lines at info level.
#pragma once

namespace VantisClient {

constexpr const char* INSTALL_DEBUG_CHANNEL = "InstallProductDebug";

}  // namespace VantisClient
