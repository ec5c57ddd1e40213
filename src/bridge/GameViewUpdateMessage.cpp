#include "bridge/GameViewUpdateMessage.h"

#include <algorithm>
#include <vector>

#include <Poco/NumberFormatter.h>

#include "bridge/InstallResultDescription.h"
#include "bridge/LanguageNames.h"
#include "common/Logger.h"

namespace VantisClient {

const char* const SELECTORS_HIDDEN_GAME_ID = "1207659999";

bool IsGameInstalled(const ProductPresentationData& product) {
    return product.state != EProductState::None && !product.revisions.empty();
}

namespace {

using JsonObject = JsonMessageBuilder::JsonObject;
using JsonVarPtr = JsonMessageBuilder::JsonVarPtr;

const char* const GAME_STATE_LABEL_KEY = "GameStateLabel";
const char* const PROGRESS_KEY = "Progress";
const double BYTES_PER_MB = 1048576.0;
const char* const INSTALL_ACTION = "Install";

JsonVarPtr choice(const std::string& name, uint64_t value) {
    JsonObject* object = new JsonObject;
    object->addStringProperty("name", name).addNumericProperty("value", value);
    return JsonVarPtr(object);
}

JsonVarPtr languageChoice(const std::string& code, uint64_t value) {
    JsonObject* object = new JsonObject;
    object->addStringProperty("label", LanguageDisplayName(code))
        .addStringProperty("name", code)
        .addNumericProperty("value", value);
    return JsonVarPtr(object);
}

JsonVarPtr gameIdChoice(const AvailableGameIDInfo& entry) {
    JsonObject* object = new JsonObject;
    object->addStringProperty("name", entry.names.getText()).addStringProperty("id", entry.gameId);
    return JsonVarPtr(object);
}

// A game not installed yet has no info files to name it: the catalogue does.
std::string titleOf(const ProductPresentationData& product) {
    if (!product.contents.name.empty()) return product.contents.name;
    for (const AvailableGameIDInfo& entry : product.availableGameIds) {
        if (entry.gameId == product.gameId) return entry.names.getText();
    }
    return std::string();
}

struct ProgressRow {
    bool barEnabled;
    float value;
    std::string rightLabel;
};

// "50% (150 MB)": whole numbers, rounded.
std::string downloadedText(float percent, uint64_t byteCount) {
    return Poco::NumberFormatter::format(static_cast<double>(percent), 0) + "% (" +
           Poco::NumberFormatter::format(static_cast<double>(byteCount) / BYTES_PER_MB, 0) + " MB)";
}

ProgressRow progressRow(EInstallStatusCode status, float progress, uint64_t byteCount) {
    const int32_t step = static_cast<int32_t>(status);
    const float percent = progress * 100.0f;
    if (step >= 0 && step < static_cast<int32_t>(EInstallStatusCode::Downloading)) {
        return {true, 0.0f, "INITIALIZING"};
    }
    if (status == EInstallStatusCode::Downloading) return {true, percent, downloadedText(percent, byteCount)};
    if (step > static_cast<int32_t>(EInstallStatusCode::Downloading) &&
        step < static_cast<int32_t>(EInstallStatusCode::Complete)) {
        return {true, 100.0f, "FINALIZING"};
    }
    if (status == EInstallStatusCode::Complete) return {false, percent, ""};
    return {true, percent, ""};
}

}  // namespace

GameViewUpdateMessage::GameViewUpdateMessage(const ProductPresentationData& product, const GameViewState& viewState)
    : m_arguments(m_builder.makeCommand("UpdateLayout")), m_product(product), m_viewState(viewState) {
    updateTitle();
    updateMoreOptions();
    updateMainButton();
    updateLanguages();
    updateDLCs();
    updateInstallControls();
}

void GameViewUpdateMessage::updateInstallProgress(EInstallStatusCode status, float progress, uint64_t byteCount) {
    const ProgressRow row = progressRow(status, progress, byteCount);
    m_progress = &m_arguments.addObject(PROGRESS_KEY);
    m_progress->addBoolProperty("ProgressBarEnabled", row.barEnabled)
        .addFloatProperty("ProgressValue", row.value)
        .addStringProperty("LeftLabelText", installed() ? "Updating" : "Installing")
        .addStringProperty("RightLabelText", row.rightLabel);
}

void GameViewUpdateMessage::addTransferFigures(uint64_t bytesDone, uint64_t bytesTotal, uint64_t bytesPerSecond) {
    if (m_progress == nullptr) return;
    const uint64_t left = bytesTotal > bytesDone ? bytesTotal - bytesDone : 0;
    m_progress->addNumericProperty("BytesDone", bytesDone)
        .addNumericProperty("BytesPerSecond", bytesPerSecond)
        .addNumericProperty("BytesTotal", bytesTotal)
        .addNumericProperty("SecondsLeft", bytesPerSecond > 0 ? (left + bytesPerSecond - 1) / bytesPerSecond : 0);
}

void GameViewUpdateMessage::addCardDetails(const GameCardDetails& details) {
    JsonObject& object = m_arguments.addObject("Details");
    object.addStringProperty("Account", details.accountName)
        .addStringProperty("Description", m_product.contents.subtitle)
        .addStringProperty("InstallFolder", m_product.contents.installPath)
        .addBoolProperty("Installed", installed())
        .addBoolProperty("SignedIn", m_viewState.isUserSignedIn())
        .addNumericProperty("SizeOnDisk", installed() ? details.sizeOnDisk : 0);
    JsonObject& sizes = object.addObject("Sizes");
    for (const auto& gameId : details.offeredSizes) {
        JsonObject& perLanguage = sizes.addObject(gameId.first);
        for (const auto& language : gameId.second) perLanguage.addNumericProperty(language.first, language.second);
    }
}

void GameViewUpdateMessage::updateGameStateLabel(const std::string& label, bool visible) {
    if (m_arguments.containsObject(GAME_STATE_LABEL_KEY)) return;
    m_arguments.addObject(GAME_STATE_LABEL_KEY).addStringProperty("Label", label).addBoolProperty("Visible", visible);
}

std::string GameViewUpdateMessage::extractJSMessage() {
    if (m_arguments.containsObject(GAME_STATE_LABEL_KEY) || m_arguments.containsObject(PROGRESS_KEY)) {
        updateGameStateLabel("", false);
    } else {
        updateGameStateLabelFromViewState();
    }
    return m_builder.toString();
}

void GameViewUpdateMessage::updateTitle() {
    m_arguments.addObject("Title")
        .addStringProperty("Label", titleOf(m_product))
        .addStringProperty("Subtitle", m_product.contents.subtitle);
}

void GameViewUpdateMessage::updateMoreOptions() {
    std::vector<JsonVarPtr> options;
    const std::vector<PlayTaskStruct>& tasks = m_product.contents.playTasks;
    for (size_t index = 0; index < tasks.size(); ++index) {
        if (!tasks[index].isPrimary) options.push_back(choice(tasks[index].name, index));
    }
    m_arguments.addObject("MoreOptions").addArrayProperty("Options", options);
}

void GameViewUpdateMessage::updateMainButton() {
    if (!installed()) {
        updateInstallButton();
        return;
    }
    const std::vector<PlayTaskStruct>& tasks = m_product.contents.playTasks;
    auto primary = std::find_if(tasks.begin(), tasks.end(), [](const PlayTaskStruct& task) { return task.isPrimary; });
    const bool hasPrimary = primary != tasks.end();
    // A game whose first install has not ended has no info files yet, hence
    // no tasks: no warning for each of the thousands of progress messages.
    const bool settled = m_product.state != EProductState::OfflineUnplayable && m_product.state != EProductState::Installing;
    if (!hasPrimary && settled) Logger::LogWarning("No primary play task found");
    // The same rule that refuses a launch disables the button.
    const char* refusal = hasPrimary ? m_viewState.launchRefusal(true, true) : "the game has no primary play task";
    m_arguments.addObject("MainButton")
        .addStringProperty("Action", "Play")
        .addStringProperty("Label", hasPrimary ? primary->name : "Launch")
        .addBoolProperty("Enabled", refusal == nullptr)
        .addStringProperty("Reason", refusal != nullptr ? refusal : "");
}

void GameViewUpdateMessage::updateInstallButton() {
    const char* reason = nullptr;
    if (!m_viewState.isUserSignedIn()) {
        reason = "sign in to install";
    } else if (m_viewState.isUpdateInProgress()) {
        reason = "an install is in progress";
    } else if (m_viewState.isInstallPaused()) {
        reason = "the install is paused";
    } else if (m_product.availableLanguages.empty()) {
        // Learnt from the store once signed in; an install needs a language.
        reason = "waiting for what the store offers";
    }
    m_arguments.addObject("MainButton")
        .addStringProperty("Action", INSTALL_ACTION)
        .addStringProperty("Label", INSTALL_ACTION)
        .addBoolProperty("Enabled", reason == nullptr)
        .addStringProperty("Reason", reason != nullptr ? reason : "");
}

void GameViewUpdateMessage::updateInstallControls() {
    const bool running = m_viewState.isUpdateInProgress();
    const bool paused = m_viewState.isInstallPaused();
    m_arguments.addObject("InstallControls")
        .addBoolProperty("Cancel", running || paused)
        .addBoolProperty("Pause", running)
        .addBoolProperty("Resume", paused);
}

void GameViewUpdateMessage::updateLanguages() {
    const LanguageList& languages = m_product.availableLanguages;
    std::vector<JsonVarPtr> options;
    for (size_t index = 0; index < languages.size(); ++index) {
        options.push_back(languageChoice(languages[index].asString(), index));
    }
    auto current = std::find(languages.begin(), languages.end(), m_product.language);
    const uint64_t selected = current == languages.end() ? 0 : static_cast<uint64_t>(current - languages.begin());
    m_arguments.addObject("Languages")
        .addArrayProperty("Options", options)
        .addNumericProperty("Selected", selected)
        .addBoolProperty("Visible", selectorsVisible(languages.size()))
        .addBoolProperty("Enabled", selectorsEnabled());
}

void GameViewUpdateMessage::updateDLCs() {
    std::vector<JsonVarPtr> standalones;
    std::vector<JsonVarPtr> addons;
    std::vector<JsonVarPtr> selected;
    for (const AvailableGameIDInfo& entry : m_product.availableGameIds) {
        JsonVarPtr item = gameIdChoice(entry);
        (entry.standalone ? standalones : addons).push_back(item);
        if (m_product.revisions.containsGID(entry.gameId)) selected.push_back(item);
    }
    m_arguments.addObject("DLCs")
        .addArrayProperty("Standalones", standalones)
        .addArrayProperty("Addons", addons)
        .addArrayProperty("Selected", selected)
        .addBoolProperty("Visible", selectorsVisible(m_product.availableGameIds.size()))
        .addBoolProperty("Enabled", selectorsEnabled());
}

void GameViewUpdateMessage::updateGameStateLabelFromViewState() {
    if (!m_viewState.isUserSignedIn()) {
        updateGameStateLabel("Offline", true);
        return;
    }
    // While an install runs, its progress reports own that part of the card.
    if (m_viewState.isUpdateInProgress()) return;
    if (m_viewState.isInstallPaused()) {
        updateGameStateLabel("Paused", true);
        return;
    }
    EInstallResult lastResult = EInstallResult::Success;
    const bool hasResult = m_viewState.getLastInstallResult(lastResult);
    if (hasResult) {
        updateGameStateLabel(getInstallResultDescription(lastResult), true);
    } else {
        updateGameStateLabel(installed() ? "Up to date" : "Not installed", true);
    }
}

bool GameViewUpdateMessage::selectorsVisible(size_t choices) const {
    return m_product.gameId != SELECTORS_HIDDEN_GAME_ID && choices >= 2;
}

bool GameViewUpdateMessage::selectorsEnabled() const {
    return m_viewState.isUserSignedIn() && !m_viewState.isUpdateInProgress();
}

}  // namespace VantisClient
