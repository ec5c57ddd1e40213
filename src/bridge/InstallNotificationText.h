// The words of the desktop notification that tells the user how an install
// ended, by the install result's number: every shell tells it the same way.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

// "Installation Complete.", "Installation Aborted!", ...; "" for a number
// outside the list.
std::string InstallNotificationText(int64_t result);

}  // namespace VantisClient
