// Through this the file pipeline persists file states and the product record and
// posts progress, without knowing the task that runs it.
// Thread-safety: called on the install thread only.
#pragma once

#include <vector>

#include <Poco/SharedPtr.h>

#include "install/EInstallStatusCode.h"
#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"

namespace VantisClient {

class ProductFilesSynchronizerCallbackInterface {
public:
    virtual bool serializeProductInfo() = 0;
    virtual bool serializeProductInfoToIndex() = 0;
    virtual bool serializeFileState(Poco::SharedPtr<InstalledFileInfo> file) = 0;
    virtual bool serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>& files) = 0;
    virtual bool serializeFileState(Poco::SharedPtr<DownloadingFileInfo> file) = 0;
    virtual bool serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>& files) = 0;
    virtual void postNotification_Progress() = 0;
    virtual void postNotification_StatusCode(EInstallStatusCode statusCode) = 0;

protected:
    // The pipeline only borrows its callback; it never deletes one.
    ~ProductFilesSynchronizerCallbackInterface() = default;
};

}  // namespace VantisClient
