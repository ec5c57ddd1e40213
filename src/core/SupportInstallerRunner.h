// Runs a product's support installers (the manifest's installer commands)
// after its files are in place. Each installer must lie in the product's
// support directory, reached without passing through a link; it is started
// directly, never through a shell, with the install's selection as separate
// arguments: the install directory, the language, the selected game ids joined
// with ", ", and the command's own argument when it has one. The product's
// record of run commands is rebuilt on every run that has commands, so an
// install that is resumed runs each installer again without recording it
// twice; a manifest without commands leaves the record as it is.
// Thread-safety: none; runs on the install task's thread. The abort signal may
// be raised from any thread and ends a running installer.
#pragma once

#include <string>
#include <vector>

#include "common/AbortSignal.h"
#include "model/ProductInfo.h"
#include "model/RemoteSupportInfo.h"

namespace VantisClient {

class SupportInstallerRunner {
public:
    SupportInstallerRunner(ProductInfo& product, const AbortSignal::Ptr& abortSignal);

    // True when no installer that was started failed. Missing or refused
    // installers are skipped with a warning.
    bool run(const std::vector<RemoteSupportInfo>& commands);

private:
    // False when the installer ran and failed.
    bool runCommand(const RemoteSupportInfo& command);
    bool isRunnable(const std::string& installer) const;
    std::vector<std::string> argumentsFor(const RemoteSupportInfo& command) const;

    ProductInfo& m_product;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
