#include "core/SupportInstallerRunner.h"

#include "common/Logger.h"
#include "common/Utilities.h"
#include "install/InstallPathGuard.h"
#include "service/ProcessSpawner.h"

namespace VantisClient {
namespace {

std::string joinRevisions(const tRevisionList& revisions) {
    std::string joined;
    for (const std::string& gameId : revisions) {
        if (!joined.empty()) joined += ", ";
        joined += gameId;
    }
    return joined;
}

}  // namespace

SupportInstallerRunner::SupportInstallerRunner(ProductInfo& product, const AbortSignal::Ptr& abortSignal)
    : m_product(product), m_abortSignal(abortSignal) {}

bool SupportInstallerRunner::run(const std::vector<RemoteSupportInfo>& commands) {
    // Without commands the record of the installers that already ran stays.
    if (commands.empty()) return true;
    m_product.clearLocalSupportList();
    bool allSucceeded = true;
    for (const RemoteSupportInfo& command : commands) allSucceeded = runCommand(command) && allSucceeded;
    return allSucceeded;
}

bool SupportInstallerRunner::runCommand(const RemoteSupportInfo& command) {
    const std::string installer =
        Utilities::AppendPath(Utilities::AppendPath(m_product.getSupportPath(), command.gameId), command.executable);
    if (!isRunnable(installer)) return true;
    Logger::LogInfo("Executing installer('%s').", command.executable.c_str());
    ProcessSpawner spawner(installer, argumentsFor(command), m_abortSignal);
    // Not started, or ended by an abort: the task's own result tells what happened.
    if (!spawner.spawnElevated()) return true;
    if (spawner.getResult() != 0) {
        Logger::LogWarning("Installer process failed, returned: %d", spawner.getResult());
        return false;
    }
    Logger::LogInfo("Installer process executed successfully, returned: %d", spawner.getResult());
    m_product.onInstallerExecuted(command);
    return true;
}

bool SupportInstallerRunner::isRunnable(const std::string& installer) const {
    if (!Utilities::GetFileExists(installer)) {
        Logger::LogWarning("Installer file %s was not found. Skipping.", installer.c_str());
        return false;
    }
    // A directory of the support tree replaced by a link could hand us a
    // program from anywhere on the machine.
    if (!InstallPathGuard::isInside(m_product.getSupportPath(), installer,
                                    InstallPathGuard::LastComponent::MustNotBeLink)) {
        Logger::LogWarning("Installer file %s is not inside the support directory. Skipping.", installer.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> SupportInstallerRunner::argumentsFor(const RemoteSupportInfo& command) const {
    // The target is set before any file is placed; without one, the product's
    // own selection is what is installed.
    const Poco::SharedPtr<ProductIdentification>& target = m_product.getTargetIdentification();
    const std::string& language = target ? target->language : m_product.getLanguage();
    const tRevisionList& revisions = target ? target->revisions : m_product.getRevisionList();
    std::vector<std::string> arguments{m_product.getLocalPath(), language, joinRevisions(revisions)};
    if (!command.argument.empty()) arguments.push_back(command.argument);
    return arguments;
}

}  // namespace VantisClient
