#include "platform/Platform.h"

#include <mutex>

#include "platform/LinuxApplicationPaths.h"
#include "platform/LinuxDesktopLauncher.h"
#include "platform/LinuxNetworkReachability.h"
#include "platform/StatvfsFileSystemSpace.h"

namespace VantisClient {
namespace {

struct Services {
    std::mutex mutex;
    std::shared_ptr<IApplicationPaths> paths = std::make_shared<LinuxApplicationPaths>();
    std::shared_ptr<IFileSystemSpace> space = std::make_shared<StatvfsFileSystemSpace>();
    std::shared_ptr<INetworkReachability> reachability = std::make_shared<LinuxNetworkReachability>();
    std::shared_ptr<IDesktopLauncher> launcher = std::make_shared<LinuxDesktopLauncher>();
};

Services& services() {
    static Services instance;
    return instance;
}

template <typename T>
std::shared_ptr<T> get(std::shared_ptr<T>& slot) {
    std::lock_guard<std::mutex> lock(services().mutex);
    return slot;
}

template <typename T>
void set(std::shared_ptr<T>& slot, std::shared_ptr<T> value) {
    std::lock_guard<std::mutex> lock(services().mutex);
    slot = std::move(value);
}

}  // namespace

std::shared_ptr<IApplicationPaths> Platform::Paths() { return get(services().paths); }
std::shared_ptr<IFileSystemSpace> Platform::FileSystemSpace() { return get(services().space); }
std::shared_ptr<INetworkReachability> Platform::NetworkReachability() { return get(services().reachability); }
std::shared_ptr<IDesktopLauncher> Platform::DesktopLauncher() { return get(services().launcher); }

void Platform::SetPaths(std::shared_ptr<IApplicationPaths> paths) { set(services().paths, std::move(paths)); }

void Platform::SetFileSystemSpace(std::shared_ptr<IFileSystemSpace> space) {
    set(services().space, std::move(space));
}

void Platform::SetNetworkReachability(std::shared_ptr<INetworkReachability> reachability) {
    set(services().reachability, std::move(reachability));
}

void Platform::SetDesktopLauncher(std::shared_ptr<IDesktopLauncher> launcher) {
    set(services().launcher, std::move(launcher));
}

void Platform::Reset() {
    SetPaths(std::make_shared<LinuxApplicationPaths>());
    SetFileSystemSpace(std::make_shared<StatvfsFileSystemSpace>());
    SetNetworkReachability(std::make_shared<LinuxNetworkReachability>());
    SetDesktopLauncher(std::make_shared<LinuxDesktopLauncher>());
}

}  // namespace VantisClient
