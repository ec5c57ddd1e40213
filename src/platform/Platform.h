// The process-wide choice of platform services. Linux implementations by
// default; tests substitute their own and call Reset() afterwards.
// Thread-safety: getters and setters are safe from any thread. A substituted
// service stays alive while a caller holds the returned pointer.
#pragma once

#include <memory>

#include "platform/IApplicationPaths.h"
#include "platform/IDesktopLauncher.h"
#include "platform/IFileSystemSpace.h"
#include "platform/INetworkReachability.h"

namespace VantisClient {

class Platform {
public:
    static std::shared_ptr<IApplicationPaths> Paths();
    static std::shared_ptr<IFileSystemSpace> FileSystemSpace();
    static std::shared_ptr<INetworkReachability> NetworkReachability();
    static std::shared_ptr<IDesktopLauncher> DesktopLauncher();

    static void SetPaths(std::shared_ptr<IApplicationPaths> paths);
    static void SetFileSystemSpace(std::shared_ptr<IFileSystemSpace> space);
    static void SetNetworkReachability(std::shared_ptr<INetworkReachability> reachability);
    static void SetDesktopLauncher(std::shared_ptr<IDesktopLauncher> launcher);

    // Back to the Linux implementations.
    static void Reset();
};

}  // namespace VantisClient
