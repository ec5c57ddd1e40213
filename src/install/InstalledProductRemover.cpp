#include "install/InstalledProductRemover.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "install/InstallPathGuard.h"

namespace VantisClient {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string relativeTo(const std::string& root, const std::string& path) {
    return path.compare(0, root.size() + 1, root + "/") == 0 ? path.substr(root.size() + 1) : path;
}

size_t depthOf(const std::string& path) { return static_cast<size_t>(std::count(path.begin(), path.end(), '/')); }

}  // namespace

InstalledProductRemover::InstalledProductRemover(const ProductInfo& product, const AbortSignal::Ptr& abortSignal)
    : m_product(product), m_abortSignal(abortSignal), m_gameRoot(withoutTrailingSlashes(product.getLocalPath())) {}

bool InstalledProductRemover::remove(Outcome& outcome) {
    const std::string supportRoot = withoutTrailingSlashes(m_product.getSupportPath());
    const std::string downloadsRoot = withoutTrailingSlashes(m_product.getDownloadsPath());
    // A link's record holds its path relative to the game's directory.
    for (const auto& entry : m_product.getSymLinks().getInstalledSymLinks()) {
        if (entry.first.empty()) continue;
        removeEntry(m_gameRoot, Utilities::AppendPath(m_gameRoot, entry.first), Placed::Link, outcome);
    }
    for (const auto& entry : m_product.getFiles().getInstalledFiles()) {
        const FileInformation& file = entry.second->getFileInfo();
        const std::string& root = file.getType() == FileType::Support ? supportRoot : m_gameRoot;
        removeEntry(root, m_product.getPathForInstallation(file), Placed::File, outcome);
    }
    for (const auto& entry : m_product.getFiles().getDownloadingFiles()) {
        removeEntry(downloadsRoot, entry.second->getFullPath(), Placed::File, outcome);
    }
    for (const DirInfo& directory : m_product.getDirectories()) {
        if (!directory.definition) continue;
        const std::string path = withoutTrailingSlashes(Utilities::AppendPath(m_gameRoot, directory.definition->getPath()));
        m_directories.emplace(m_gameRoot, path);
        noteParents(m_gameRoot, path);
    }
    outcome.aborted = m_abortSignal->isRaised();
    if (!outcome.aborted) removeEmptyDirectories(outcome);
    listKept(outcome);
    return !outcome.aborted && outcome.failed.empty();
}

void InstalledProductRemover::removeEntry(const std::string& root, const std::string& path, Placed placed,
                                          Outcome& outcome) {
    if (m_abortSignal->isRaised() || root.empty() || path.empty()) return;
    // A path that now leads through a link no longer reaches what the install
    // placed; whatever lies there is not the product's to remove.
    if (!InstallPathGuard::isInside(root, path, InstallPathGuard::LastComponent::MayBeLink)) return;
    noteParents(root, path);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return;
    const bool asPlaced = placed == Placed::Link ? S_ISLNK(status.st_mode) : S_ISREG(status.st_mode);
    if (!asPlaced) {
        Logger::LogWarning("Left %s in place: it is no longer what the install placed there", path.c_str());
        return;
    }
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
    const std::string reason = std::strerror(errno);
    Logger::LogError("Could not remove %s: %s", path.c_str(), reason.c_str());
    outcome.failed.push_back(relativeTo(root, path) + ": " + reason);
}

void InstalledProductRemover::noteParents(const std::string& root, const std::string& path) {
    for (std::string parent = path.substr(0, path.rfind('/')); parent.size() > root.size() && parent.rfind(root + "/", 0) == 0;
         parent = parent.substr(0, parent.rfind('/'))) {
        m_directories.emplace(root, parent);
    }
}

void InstalledProductRemover::removeEmptyDirectories(Outcome& outcome) {
    std::vector<std::pair<std::string, std::string>> deepestFirst(m_directories.begin(), m_directories.end());
    std::stable_sort(deepestFirst.begin(), deepestFirst.end(),
                     [](const auto& a, const auto& b) { return depthOf(a.second) > depthOf(b.second); });
    for (const auto& [root, directory] : deepestFirst) {
        if (!InstallPathGuard::isInside(root, directory, InstallPathGuard::LastComponent::MustNotBeLink)) continue;
        // Only an empty directory goes: one that holds the user's files stays.
        if (::rmdir(directory.c_str()) == 0 || errno == ENOENT || errno == ENOTEMPTY || errno == EEXIST) continue;
        const std::string reason = std::strerror(errno);
        Logger::LogError("Could not remove the directory %s: %s", directory.c_str(), reason.c_str());
        outcome.failed.push_back(relativeTo(root, directory) + "/: " + reason);
    }
    // The product's own directories go last, when nothing is left in them.
    for (const std::string& root : {m_gameRoot, withoutTrailingSlashes(m_product.getSupportPath()),
                                    withoutTrailingSlashes(m_product.getDownloadsPath())}) {
        if (!root.empty()) ::rmdir(root.c_str());
    }
}

void InstalledProductRemover::listKept(Outcome& outcome) const {
    namespace fs = std::filesystem;
    std::error_code error;
    // Links to directories are listed, never entered.
    for (fs::recursive_directory_iterator it(m_gameRoot, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_directory(error) || it->is_symlink(error)) {
            outcome.kept.push_back(relativeTo(m_gameRoot, it->path().string()));
        }
        error.clear();
    }
    std::sort(outcome.kept.begin(), outcome.kept.end());
}

}  // namespace VantisClient
