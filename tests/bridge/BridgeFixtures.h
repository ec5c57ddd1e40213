// What the game card and login page tests share: a small product to show, a
// stand-in shell that keeps every page update, and the recent log lines.
#pragma once

#include <string>
#include <vector>

#include "bridge/ShellMessageCenter.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "model/ProductPresentationData.h"
#include "support/Sandbox.h"

namespace VantisTest {

const char* const BASE_GAME_ID = "1207658924";
const char* const ADDON_GAME_ID = "1207658925";

inline VantisClient::PlayTaskStruct PlayTask(VantisClient::PlayTaskStruct::EPlayTaskType type,
                                             const std::string& name, bool isPrimary) {
    VantisClient::PlayTaskStruct task("/games/zorv", "Zorv");
    task.type = type;
    task.name = name;
    task.isPrimary = isPrimary;
    (type == VantisClient::PlayTaskStruct::URLTask ? task.link : task.path) = "target-of-" + name;
    return task;
}

inline VantisClient::AvailableGameIDInfo GameIdOffer(const std::string& gameId, bool standalone,
                                                      const std::string& name) {
    VantisClient::AvailableGameIDInfo offer(gameId, standalone);
    offer.names.addString(0, name);
    return offer;
}

// "Zorv", installed in English with its base game only; offers English and
// German and one add-on; plays through a primary task, a manual and a forum link.
inline VantisClient::ProductPresentationData::Ptr SampleProduct(
    VantisClient::EProductState state = VantisClient::EProductState::Installed) {
    using namespace VantisClient;
    MiniManifestContents contents(BASE_GAME_ID, "/games/zorv");
    contents.installedGameIds = {BASE_GAME_ID};
    contents.language = "en";
    contents.name = "Zorv";
    contents.subtitle = "Chapter One";
    contents.playTasks = {PlayTask(PlayTaskStruct::FileTask, "Play", true),
                          PlayTask(PlayTaskStruct::FileTask, "Manual", false),
                          PlayTask(PlayTaskStruct::URLTask, "Forum", false)};
    LanguageList languages;
    languages.add_unique(LanguageInfo("en"));
    languages.add_unique(LanguageInfo("de"));
    return new ProductPresentationData(ProductIdentification(BASE_GAME_ID, 7, tRevisionList{BASE_GAME_ID}, "en"),
                                       contents, state, languages,
                                       {GameIdOffer(BASE_GAME_ID, true, "Zorv"),
                                        GameIdOffer(ADDON_GAME_ID, false, "Zorv Soundtrack")});
}

// Stands in for the shell while it lives: keeps the text of every page update
// and every other message.
class WebViewRecorder : public VantisClient::IShellMessageObserver {
public:
    WebViewRecorder() { VantisClient::ShellMessageCenter::SetObserver(this); }
    ~WebViewRecorder() override { VantisClient::ShellMessageCenter::Reset(); }

    void onShellMessage(const VantisClient::ShellMessage& message) override {
        if (message.name == VantisClient::ShellMessage::WEB_VIEW_UPDATE) {
            updates.push_back(message.text("webViewUpdate"));
        } else {
            others.push_back(message);
        }
    }

    std::vector<std::string> updates;
    std::vector<VantisClient::ShellMessage> others;
};

// A sandbox with the logger running, so that tests can read the recent lines.
class LoggingTest : public SandboxTest {
protected:
    void SetUp() override { VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }

    static std::string recentLog() { return VantisClient::RecentMemoryBufferChannel::Instance().getContents(); }
    static bool logged(const std::string& fragment) { return recentLog().find(fragment) != std::string::npos; }
    static void forgetLog() { VantisClient::RecentMemoryBufferChannel::Instance().Clear(); }
};

}  // namespace VantisTest
