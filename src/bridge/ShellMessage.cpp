#include "bridge/ShellMessage.h"

#include <Poco/Exception.h>

namespace VantisClient {

const char* const ShellMessage::LOAD_LOGIN_PAGE = "LoadLoginPage";
const char* const ShellMessage::LOAD_GAME_CARD = "LoadGameCard";
const char* const ShellMessage::API_STATUS_CODE_CHANGED = "APIStatusCodeChanged";
const char* const ShellMessage::ON_PRODUCT_INSTALL_RESULT = "OnProductInstallResult";
const char* const ShellMessage::WEB_VIEW_UPDATE = "WebViewUpdate";
const char* const ShellMessage::ENGINE_INITIALIZED = "EngineInitialized";
const char* const ShellMessage::SHUTDOWN_DONE = "ShutdownDone";
const char* const ShellMessage::SIGNED_IN = "SignedIn";
const char* const ShellMessage::SIGN_IN_FAILED = "SignInFailed";
const char* const ShellMessage::GAME_STARTED = "GameStarted";
const char* const ShellMessage::GAME_ENDED = "GameEnded";
const char* const ShellMessage::PLAY_TASK_OPENED = "PlayTaskOpened";
const char* const ShellMessage::PLAY_TASK_FAILED = "PlayTaskFailed";
const char* const ShellMessage::INSTALL_PROGRESS = "InstallProgress";
const char* const ShellMessage::ON_PRODUCT_OFFER = "OnProductOffer";
const char* const ShellMessage::ON_PRODUCT_VERIFIED = "OnProductVerified";
const char* const ShellMessage::ON_PRODUCT_UNINSTALLED = "OnProductUninstalled";
const char* const ShellMessage::ON_SIGN_OUT = "OnSignOut";

ShellMessage ShellMessage::PlayTaskFailed(const std::string& taskName, const std::string& reason) {
    ShellMessage message(PLAY_TASK_FAILED);
    message.values["name"] = taskName;
    message.values["reason"] = reason;
    return message;
}

ShellMessage ShellMessage::WebViewUpdate(const std::string& text) {
    ShellMessage message(WEB_VIEW_UPDATE);
    message.values["webViewUpdate"] = text;
    return message;
}

std::string ShellMessage::text(const std::string& key) const {
    const auto found = values.find(key);
    if (found == values.end()) return std::string();
    return found->second.toString();
}

int64_t ShellMessage::integer(const std::string& key, int64_t fallback) const {
    const auto found = values.find(key);
    if (found == values.end()) return fallback;
    try {
        return found->second.convert<int64_t>();
    } catch (const Poco::Exception&) {
        return fallback;
    }
}

std::vector<std::string> ShellMessage::texts(const std::string& key) const {
    std::vector<std::string> result;
    const auto found = values.find(key);
    if (found == values.end() || !found->second.isArray()) return result;
    for (size_t index = 0; index < found->second.size(); ++index) result.push_back(found->second[index].toString());
    return result;
}

std::vector<Poco::DynamicStruct> ShellMessage::records(const std::string& key) const {
    std::vector<Poco::DynamicStruct> result;
    const auto found = values.find(key);
    if (found == values.end() || !found->second.isArray()) return result;
    for (size_t index = 0; index < found->second.size(); ++index) {
        const Poco::Dynamic::Var& element = found->second[index];
        if (element.type() == typeid(Poco::DynamicStruct)) result.push_back(element.extract<Poco::DynamicStruct>());
    }
    return result;
}

}  // namespace VantisClient
