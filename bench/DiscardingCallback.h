// The pipeline's callback for benchmarks: the records' batches are what a real
// install writes to its database; that cost belongs to storage, not to the
// phase measured.
#pragma once

#include <vector>

#include "install/ProductFilesSynchronizerCallbackInterface.h"

class DiscardingCallback : public VantisClient::ProductFilesSynchronizerCallbackInterface {
public:
    bool serializeProductInfo() override { return true; }
    bool serializeProductInfoToIndex() override { return true; }
    bool serializeFileState(Poco::SharedPtr<VantisClient::InstalledFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<VantisClient::InstalledFileInfo>>&) override {
        return true;
    }
    bool serializeFileState(Poco::SharedPtr<VantisClient::DownloadingFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<VantisClient::DownloadingFileInfo>>&) override {
        return true;
    }
    void postNotification_Progress() override {}
    void postNotification_StatusCode(VantisClient::EInstallStatusCode) override {}
};
