#include "bridge/InstallNotificationText.h"

namespace VantisClient {
namespace {

const char* const INSTALL_NOTIFICATION_TEXTS[] = {
    "Installation Complete.",
    "Installation Aborted!",
    "Installation postponed: game in session",
    "Installation failed: disk access problem",
    "Installation failed: out of disk space",
    "Installation failed: connection problem",
    "Not authorized",
    "Server problem",
    "Game isn't supported by Vantis",
};
const int64_t INSTALL_NOTIFICATION_COUNT = sizeof(INSTALL_NOTIFICATION_TEXTS) / sizeof(INSTALL_NOTIFICATION_TEXTS[0]);

}  // namespace

std::string InstallNotificationText(int64_t result) {
    if (result < 0 || result >= INSTALL_NOTIFICATION_COUNT) return std::string();
    return INSTALL_NOTIFICATION_TEXTS[result];
}

}  // namespace VantisClient
