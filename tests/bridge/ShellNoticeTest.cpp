#include <string>

#include <gtest/gtest.h>

#include "core/ProductUninstallResultStruct.h"
#include "bridge/ShellNotice.h"

using VantisClient::ShellMessage;
using VantisClient::ShellNotice;
using Outcome = VantisClient::ProductUninstallResultStruct::Outcome;

namespace {

ShellMessage verified(std::vector<std::string> missing, int repairing) {
    ShellMessage message(ShellMessage::ON_PRODUCT_VERIFIED);
    message.values["missing"] = Poco::Dynamic::Array(missing.begin(), missing.end());
    message.values["damaged"] = Poco::Dynamic::Array();
    message.values["repairing"] = repairing;
    return message;
}

ShellMessage uninstalled(Outcome outcome, std::vector<std::string> kept = {}, std::string detail = "") {
    ShellMessage message(ShellMessage::ON_PRODUCT_UNINSTALLED);
    message.values["outcome"] = static_cast<int32_t>(outcome);
    message.values["kept"] = Poco::Dynamic::Array(kept.begin(), kept.end());
    message.values["failed"] = Poco::Dynamic::Array{std::string("bin/game: Permission denied")};
    message.values["detail"] = detail;
    return message;
}

}  // namespace

TEST(ShellNoticeTest, EveryOutcomeOutsideThePageSaysWhatHappened) {
    const struct {
        const char* what;
        ShellMessage message;
        std::string text;
        bool error;
    } cases[] = {
        {"a task that failed", ShellMessage::PlayTaskFailed("Website", "no program opens web addresses"),
         "\"Website\" could not be started: no program opens web addresses", true},
        {"the game without a task", ShellMessage::PlayTaskFailed("", "the game has no primary play task"),
         "The game could not be started: the game has no primary play task", true},
        {"a clean verification", verified({}, 0), "Verified: every file of the game is in place.", false},
        {"a repair", verified({"a", "b", "c", "d"}, 1),
         "Verification found 4 missing and 0 damaged files (a, b, c, …); they are being downloaded again.", true},
        {"removed", uninstalled(Outcome::Removed), "The game was uninstalled.", false},
        {"removed, the user's files kept", uninstalled(Outcome::Removed, {"saves/one.sav"}),
         "The game was uninstalled; 1 files of yours in its folder were kept (saves/one.sav).", false},
        {"the game runs", uninstalled(Outcome::GameRunning, {}, "pid 42 uses bin/game"),
         "Not uninstalled: the game is running (pid 42 uses bin/game).", true},
        {"an install runs", uninstalled(Outcome::InstallRunning),
         "Not uninstalled: an install of the game is in progress.", true},
        {"failed", uninstalled(Outcome::Failed),
         "The uninstall could not remove everything (bin/game: Permission denied); uninstall again to finish it.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShellNotice notice;
        ASSERT_TRUE(ShellNotice::Of(c.message, notice));
        EXPECT_EQ(c.text, notice.text);
        EXPECT_EQ(c.error, notice.error);
    }
    ShellNotice none;
    EXPECT_FALSE(ShellNotice::Of(ShellMessage(ShellMessage::WEB_VIEW_UPDATE), none));
}

TEST(ShellNoticeTest, AnInstallResultsNotificationAlwaysHasATitle) {
    EXPECT_EQ("Sample Game", ShellNotice::InstallResultTitle("Sample Game", "1207658924"));
    EXPECT_EQ("Game 1207658924", ShellNotice::InstallResultTitle("", "1207658924"));
    EXPECT_EQ("Game", ShellNotice::InstallResultTitle("", ""));
}
