#include "bridge/InstallResultDescription.h"

namespace VantisClient {

std::string getInstallResultDescription(EInstallResult result) { return GetInstallResultText(result); }

}  // namespace VantisClient
