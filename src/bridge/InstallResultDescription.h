// The text the game card's state line shows for the outcome of an install.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

#include "install/EInstallResult.h"

namespace VantisClient {

// "Up to date", "Installation Aborted", ...; "" for a value outside the list.
// The texts are the install result's own, so the card and the install task
// never disagree on what a result is called.
std::string getInstallResultDescription(EInstallResult result);

}  // namespace VantisClient
