#include "bridge/ShellMessageCenter.h"

#include <mutex>

#include "common/Logger.h"

namespace VantisClient {
namespace {

struct Center {
    std::mutex mutex;
    IShellMessageObserver* observer = nullptr;
};

Center& center() {
    static Center instance;
    return instance;
}

}  // namespace

void ShellMessageCenter::Post(const ShellMessage& message) {
    std::lock_guard<std::mutex> lock(center().mutex);
    if (center().observer == nullptr) {
        Logger::LogChannelInfo("Shell", "No shell observes the shell message %s; dropped.", message.name.c_str());
        return;
    }
    center().observer->onShellMessage(message);
}

void ShellMessageCenter::SetObserver(IShellMessageObserver* observer) {
    std::lock_guard<std::mutex> lock(center().mutex);
    center().observer = observer;
}

void ShellMessageCenter::Reset() { SetObserver(nullptr); }

}  // namespace VantisClient
