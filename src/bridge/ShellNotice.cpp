#include "bridge/ShellNotice.h"

#include "core/ProductUninstallResultStruct.h"

namespace VantisClient {
namespace {

// The first few paths of `paths`, so that a long list does not fill the window.
std::string someOf(const std::vector<std::string>& paths) {
    const size_t shown = 3;
    std::string text;
    for (size_t i = 0; i < paths.size() && i < shown; ++i) text += (i == 0 ? "" : ", ") + paths[i];
    if (paths.size() > shown) text += ", …";
    return text;
}

ShellNotice playTaskFailed(const ShellMessage& message) {
    const std::string name = message.text("name");
    const std::string what = name.empty() ? std::string("The game") : "\"" + name + "\"";
    return {what + " could not be started: " + message.text("reason"), true};
}

ShellNotice verified(const ShellMessage& message) {
    const std::vector<std::string> missing = message.texts("missing");
    const std::vector<std::string> damaged = message.texts("damaged");
    if (missing.empty() && damaged.empty()) return {"Verified: every file of the game is in place.", false};
    std::string text = "Verification found " + std::to_string(missing.size()) + " missing and " +
                       std::to_string(damaged.size()) + " damaged files (" +
                       someOf(missing.empty() ? damaged : missing) + ")";
    text += message.integer("repairing") == 1 ? "; they are being downloaded again." : ".";
    return {text, true};
}

ShellNotice uninstalled(const ShellMessage& message) {
    using Outcome = ProductUninstallResultStruct::Outcome;
    const std::vector<std::string> kept = message.texts("kept");
    const std::string detail = message.text("detail");
    switch (static_cast<Outcome>(message.integer("outcome", static_cast<int64_t>(Outcome::Failed)))) {
        case Outcome::Removed:
            return {kept.empty() ? "The game was uninstalled."
                                 : "The game was uninstalled; " + std::to_string(kept.size()) +
                                       " files of yours in its folder were kept (" + someOf(kept) + ").",
                    false};
        case Outcome::GameRunning:
            return {"Not uninstalled: the game is running" + (detail.empty() ? "" : " (" + detail + ")") + ".", true};
        case Outcome::InstallRunning:
            return {"Not uninstalled: an install of the game is in progress.", true};
        case Outcome::NotInstalled:
            return {"Not uninstalled: the game is not installed.", true};
        case Outcome::Aborted:
            return {"The uninstall stopped before it was done; uninstall again to finish it.", true};
        case Outcome::Failed:
            break;
    }
    return {"The uninstall could not remove everything (" + someOf(message.texts("failed")) +
                "); uninstall again to finish it.",
            true};
}

}  // namespace

bool ShellNotice::Of(const ShellMessage& message, ShellNotice& notice) {
    if (message.name == ShellMessage::PLAY_TASK_FAILED) {
        notice = playTaskFailed(message);
    } else if (message.name == ShellMessage::ON_PRODUCT_VERIFIED) {
        notice = verified(message);
    } else if (message.name == ShellMessage::ON_PRODUCT_UNINSTALLED) {
        notice = uninstalled(message);
    } else {
        return false;
    }
    return true;
}

std::string ShellNotice::InstallResultTitle(const std::string& productName, const std::string& gameId) {
    if (!productName.empty()) return productName;
    return gameId.empty() ? std::string("Game") : "Game " + gameId;
}

}  // namespace VantisClient
