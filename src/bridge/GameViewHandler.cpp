#include "bridge/GameViewHandler.h"

#include <algorithm>
#include <sstream>

#include <Poco/Bugcheck.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Parser.h>
#include <Poco/String.h>

#include "bridge/GameViewUpdateMessage.h"
#include "bridge/InstallResultDescription.h"
#include "bridge/ShellMessage.h"
#include "bridge/ShellMessageCenter.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"

namespace VantisClient {
namespace {

// Game ids are decimal numbers; the widest the store hands out fits in 20 digits.
const size_t MAX_GAME_ID_DIGITS = 20;

bool isPlayableState(EProductState state) {
    return state == EProductState::Updating || state == EProductState::Installed || state == EProductState::Offline;
}

Poco::JSON::Object::Ptr requireArguments(const Poco::JSON::Object::Ptr& arguments) {
    if (!arguments) throw Poco::DataFormatException("\"Arguments\" is missing or not an object");
    return arguments;
}

// Only a JSON integer: Poco would otherwise read "2", 2.7 or true as a number.
int64_t readInteger(const Poco::JSON::Object::Ptr& arguments, const std::string& key) {
    const Poco::Dynamic::Var value = requireArguments(arguments)->get(key);
    if (!value.isInteger() || value.isBoolean()) throw Poco::DataFormatException("\"" + key + "\" is not an integer");
    return value.convert<Poco::Int64>();
}

std::string readString(const Poco::JSON::Object::Ptr& arguments, const std::string& key) {
    const Poco::Dynamic::Var value = requireArguments(arguments)->get(key);
    if (!value.isString()) throw Poco::DataFormatException("\"" + key + "\" is not a string");
    return value.extract<std::string>();
}

Poco::JSON::Array::Ptr readArray(const Poco::JSON::Object::Ptr& arguments, const std::string& key) {
    Poco::JSON::Array::Ptr array = requireArguments(arguments)->getArray(key);
    if (!array) throw Poco::DataFormatException("\"" + key + "\" is not an array");
    return array;
}

// False when an element is not a JSON string.
bool readGameIds(const Poco::JSON::Array& values, tRevisionList& gameIds) {
    for (size_t index = 0; index < values.size(); ++index) {
        const Poco::Dynamic::Var value = values.get(index);
        if (!value.isString()) return false;
        gameIds.push_back(value.extract<std::string>());
    }
    return true;
}

bool isDecimalGameId(const std::string& text) {
    return !text.empty() && text.size() <= MAX_GAME_ID_DIGITS &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isOffered(const ProductPresentationData& product, const std::string& gameId) {
    return std::any_of(product.availableGameIds.begin(), product.availableGameIds.end(),
                       [&gameId](const AvailableGameIDInfo& entry) { return entry.gameId == gameId; });
}

// A selection the engine may install: the base game and nothing but the
// product's own game ids, each once. Anything else would have the install
// remove the game or fetch what the product does not offer.
bool isInstallableSelection(const tRevisionList& revisions, const ProductPresentationData& product) {
    if (!revisions.containsGID(product.gameId)) return false;
    for (const std::string& gameId : revisions) {
        if (!isDecimalGameId(gameId) || !isOffered(product, gameId)) return false;
        if (std::count(revisions.begin(), revisions.end(), gameId) > 1) return false;
    }
    return true;
}

std::string joinGameIds(const tRevisionList& revisions) {
    return Poco::cat(std::string(", "), revisions.begin(), revisions.end());
}

std::string jsonText(const Poco::JSON::Array& values) {
    std::ostringstream text;
    values.stringify(text);
    return text.str();
}

// A game that was never installed has no selection of its own yet: a choice
// on its card completes it with what the card shows selected.
tRevisionList revisionsOrBaseGame(const ProductPresentationData& product) {
    return product.revisions.empty() ? tRevisionList{product.gameId} : product.revisions;
}

std::string languageOrFirstOffered(const ProductPresentationData& product) {
    if (!product.language.empty()) return product.language;
    for (const LanguageInfo& language : product.availableLanguages) {
        if (language.asString() != LanguageInfo::NeutralLanguageString) return language.asString();
    }
    return std::string();
}

void warnRefusedRevisions(const std::string& revisions, const std::string& gameId) {
    Logger::LogWarning("Refused revision list %s for gameId %s", revisions.c_str(), gameId.c_str());
}

bool isOfferedLanguage(const ProductPresentationData& product, const std::string& language) {
    return std::find(product.availableLanguages.begin(), product.availableLanguages.end(), language) !=
           product.availableLanguages.end();
}

bool sameGameIds(tRevisionList first, tRevisionList second) {
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    return first == second;
}

const char* const REFUSED_SELECTION = "not a set of this game's content with the base game";

}  // namespace

GameViewHandler::GameViewHandler(const ProductPresentationData::Ptr& product, bool signedIn)
    : m_product(product), m_viewState(signedIn) {
    poco_check_ptr(product.get());
    // The card is made as the engine starts, before any install of this run:
    // an updating state is one that an earlier run left unfinished. Its files
    // are whole unless the state says unplayable, and its progress, once the
    // engine resumes it, marks the update in progress.
    if (!isPlayableState(product->state)) m_viewState.gameUnplayable();
}

void GameViewHandler::onDocumentReady() {
    Logger::LogInfo("Game card document ready for gid %s, setting up", currentProduct()->gameId.c_str());
    m_documentReady = true;
    updateGameView();
}

void GameViewHandler::onMessageFromBrowser(const std::string& text) {
    const ProductPresentationData::Ptr product = currentProduct();
    try {
        const Poco::JSON::Object::Ptr message = Poco::JSON::Parser().parse(text).extract<Poco::JSON::Object::Ptr>();
        const std::string command = message->getValue<std::string>("Command");
        const Poco::JSON::Object::Ptr arguments = message->getObject("Arguments");
        if (command == "LaunchPrimaryPlayTask") {
            launchPrimaryPlayTask(product);
        } else if (command == "LaunchPlayTask") {
            launchPlayTask(arguments, product);
        } else if (command == "LanguageChange") {
            changeLanguage(arguments, product);
        } else if (command == "RevisionChange") {
            changeRevisions(arguments, product);
        } else if (command == "Install") {
            install(arguments, product);
        } else if (command == "PauseInstall") {
            pauseInstall();
        } else if (command == "ResumeInstall") {
            resumeInstall();
        } else if (command == "CancelInstall") {
            cancelInstall();
        } else if (command == "VerifyGame") {
            requestForInstalledGame(ECardRequest::VerifyGame, product);
        } else if (command == "UninstallGame") {
            requestForInstalledGame(ECardRequest::UninstallGame, product);
        } else if (command == "OpenInstallFolder") {
            requestForInstalledGame(ECardRequest::OpenInstallFolder, product);
        } else if (command == "SignOut") {
            fireCardRequest(ECardRequest::SignOut);
        } else if (command == "SignIn") {
            fireCardRequest(ECardRequest::SignIn);
        } else {
            Logger::LogWarning("Unknown command '%s' from browser; gameId: %s", command.c_str(),
                               product->gameId.c_str());
        }
    } catch (const Poco::Exception& exception) {
        Logger::LogError("Failed parsing JSON from browser with error %s; gameId: %s, json: %s",
                         exception.message().c_str(), product->gameId.c_str(), text.c_str());
    }
}

void GameViewHandler::updateGameView() {
    const ProductPresentationData::Ptr product = currentProduct();
    GameViewUpdateMessage message(*product, m_viewState);
    sendMessage(message);
}

void GameViewHandler::onProductInstallSuccess(const ProductPresentationData::Ptr& product) {
    const ProductPresentationData::Ptr before = currentProduct();
    replaceProduct(product);
    // An install that only took content away installed nothing new.
    const std::vector<std::string> removed = RemovedContentNames(*before, *currentProduct());
    const std::string label = removed.empty()
                                  ? getInstallResultDescription(EInstallResult::Success)
                                  : "Extra content removed: " + Poco::cat(std::string(", "), removed.begin(), removed.end());
    finishUpdate(EInstallResult::Success, currentProduct(), label);
}

void GameViewHandler::onProductInstallFailed(const ProductPresentationData::Ptr& product, EInstallResult result) {
    finishUpdate(result, product, getInstallResultDescription(result));
}

void GameViewHandler::onProductInstallAborted(const ProductPresentationData::Ptr& product) {
    const EStopIntent intent = m_stopIntent;
    std::string label = getInstallResultDescription(EInstallResult::Aborted);
    if (intent == EStopIntent::Pause) label = "Paused; the parts fetched so far are kept";
    if (intent == EStopIntent::Cancel) label = "Installation cancelled";
    if (intent == EStopIntent::Pause) m_viewState.installPaused();
    finishUpdate(EInstallResult::Aborted, product, label);
}

std::vector<std::string> GameViewHandler::RemovedContentNames(const ProductPresentationData& before,
                                                              const ProductPresentationData& after) {
    std::vector<std::string> names;
    for (const AvailableGameIDInfo& entry : before.availableGameIds) {
        if (before.revisions.containsGID(entry.gameId) && !after.revisions.containsGID(entry.gameId)) {
            names.push_back(entry.names.getText());
        }
    }
    return names;
}

void GameViewHandler::handleInstallProgress(const ProductPresentationData::Ptr& product, EInstallStatusCode status,
                                            float progress, uint64_t byteCount) {
    const ProductPresentationData::Ptr shown = currentProduct();
    const EProductState state = (product ? product : shown)->state;
    m_viewState.updateInProgress();
    // While files are moved into place the game is never whole.
    if (status == EInstallStatusCode::UpdatingFiles || !isPlayableState(state)) {
        m_viewState.gameUnplayable();
    } else {
        m_viewState.gamePlayable();
    }
    GameViewUpdateMessage message(*shown, m_viewState);
    message.updateInstallProgress(status, progress, byteCount);
    if (status == EInstallStatusCode::Downloading) {
        const uint64_t done = static_cast<uint64_t>(static_cast<double>(progress) * static_cast<double>(byteCount));
        m_meter.addSample(done, byteCount);
        message.addTransferFigures(done, byteCount, static_cast<uint64_t>(m_meter.bytesPerSecond()));
    } else if (status < EInstallStatusCode::Downloading) {
        m_meter.reset();
    }
    sendMessage(message);
}

void GameViewHandler::onUserStateChanged(bool signedIn) {
    m_viewState.onUserStateChanged(signedIn);
    if (m_documentReady) updateGameView();
}

void GameViewHandler::gameStarted() {
    m_viewState.gameStarted();
    updateGameView();
}

void GameViewHandler::gameClosed() {
    m_viewState.gameClosed();
    updateGameView();
}

void GameViewHandler::productReloadedFromDB(const ProductPresentationData::Ptr& product) {
    replaceProduct(product);
    if (isPlayableState(currentProduct()->state)) {
        m_viewState.gamePlayable();
    } else {
        m_viewState.gameUnplayable();
    }
    if (m_documentReady) updateGameView();
}

void GameViewHandler::onSelectionRefused(const std::string& reason) {
    m_viewState.updateNotStarted();
    if (m_resuming) m_viewState.installPaused();
    showRefusal("Change refused: " + reason);
}

void GameViewHandler::showStateLine(const std::string& text) {
    const ProductPresentationData::Ptr product = currentProduct();
    GameViewUpdateMessage message(*product, m_viewState);
    message.updateGameStateLabel(text, true);
    sendMessage(message);
}

void GameViewHandler::setAccountName(const std::string& name) {
    {
        ScopedLock lock(m_productMutex);
        m_details.accountName = name;
    }
    refreshIfReady();
}

void GameViewHandler::setSizeOnDisk(uint64_t bytes) {
    {
        ScopedLock lock(m_productMutex);
        m_details.sizeOnDisk = bytes;
    }
    refreshIfReady();
}

void GameViewHandler::setOfferedSizes(const GameCardDetails::OfferedSizes& sizes) {
    {
        ScopedLock lock(m_productMutex);
        m_details.offeredSizes = sizes;
    }
    refreshIfReady();
}

void GameViewHandler::refreshIfReady() {
    if (m_documentReady) updateGameView();
}

void GameViewHandler::sendToBrowser(const std::string& text) { ShellMessageCenter::Post(ShellMessage::WebViewUpdate(text)); }

ProductPresentationData::Ptr GameViewHandler::currentProduct() const {
    ScopedLock lock(m_productMutex);
    return m_product;
}

void GameViewHandler::replaceProduct(const ProductPresentationData::Ptr& product) {
    if (!product) return;
    ScopedLock lock(m_productMutex);
    m_product = product;
}

void GameViewHandler::sendMessage(GameViewUpdateMessage& message) {
    GameCardDetails details;
    {
        ScopedLock lock(m_productMutex);
        details = m_details;
    }
    message.addCardDetails(details);
    sendToBrowser(message.extractJSMessage());
}

void GameViewHandler::finishUpdate(EInstallResult result, const ProductPresentationData::Ptr& product,
                                   const std::string& label) {
    const bool wasUnplayable = m_viewState.isUnplayable();
    m_stopIntent = EStopIntent::None;
    m_viewState.updateComplete(result);
    // A failed or stopped update may have moved only some files into place:
    // the game stays unplayable until the library says otherwise.
    if (product ? !isPlayableState(product->state) : wasUnplayable) m_viewState.gameUnplayable();
    showStateLine(label);
}

void GameViewHandler::showRefusal(const std::string& text) {
    Logger::LogInfo("Game card of gameId %s: %s", currentProduct()->gameId.c_str(), text.c_str());
    showStateLine(text);
}

void GameViewHandler::launchPrimaryPlayTask(const ProductPresentationData::Ptr& product) {
    const std::vector<PlayTaskStruct>& tasks = product->contents.playTasks;
    auto primary = std::find_if(tasks.begin(), tasks.end(), [](const PlayTaskStruct& task) { return task.isPrimary; });
    if (primary == tasks.end()) {
        Logger::LogWarning("No primary play task to launch for gameId %s", product->gameId.c_str());
        ShellMessageCenter::Post(ShellMessage::PlayTaskFailed("", "the game has no primary play task"));
        showRefusal("Cannot play: the game has no primary play task");
        return;
    }
    requestLaunch(product, *primary);
}

void GameViewHandler::launchPlayTask(const Poco::JSON::Object::Ptr& arguments,
                                     const ProductPresentationData::Ptr& product) {
    const int64_t index = readInteger(arguments, "PlayTaskIndex");
    const std::vector<PlayTaskStruct>& tasks = product->contents.playTasks;
    if (index < 0 || index >= static_cast<int64_t>(tasks.size())) {
        Logger::LogWarning("Invalid play task index: %lld", static_cast<long long>(index));
        updateGameView();
        return;
    }
    requestLaunch(product, tasks[static_cast<size_t>(index)]);
}

void GameViewHandler::requestLaunch(const ProductPresentationData::Ptr& product, const PlayTaskStruct& task) {
    if (const char* refusal = m_viewState.launchRefusal(IsGameInstalled(*product), task.isPrimary)) {
        Logger::LogWarning("Refused to launch play task '%s' for gameId %s: %s", task.name.c_str(),
                           product->gameId.c_str(), refusal);
        ShellMessageCenter::Post(ShellMessage::PlayTaskFailed(task.name, refusal));
        showRefusal(std::string("Cannot play: ") + refusal);
        return;
    }
    PlayTaskLaunchRequest request{product, task};
    playTaskLaunchRequestEvent.notify(this, request);
}

void GameViewHandler::changeLanguage(const Poco::JSON::Object::Ptr& arguments,
                                     const ProductPresentationData::Ptr& product) {
    const int64_t index = readInteger(arguments, "NewValue");
    const LanguageList& languages = product->availableLanguages;
    if (index < 0 || index >= static_cast<int64_t>(languages.size())) return;
    const std::string& language = languages[static_cast<size_t>(index)].asString();
    Logger::LogInfo("Selected language %s for gameId %s", language.c_str(), product->gameId.c_str());
    // The language the card shows selected is no change, also for a game never installed.
    if (language == languageOrFirstOffered(*product)) {
        updateGameView();
        return;
    }
    showSelectionOutcome(requestSelectionChange(product, language, revisionsOrBaseGame(*product)));
}

void GameViewHandler::changeRevisions(const Poco::JSON::Object::Ptr& arguments,
                                      const ProductPresentationData::Ptr& product) {
    const Poco::JSON::Array::Ptr values = readArray(arguments, "NewValue");
    tRevisionList revisions;
    if (!readGameIds(*values, revisions) || !isInstallableSelection(revisions, *product)) {
        warnRefusedRevisions(jsonText(*values), product->gameId);
        showRefusal(std::string("Change refused: ") + REFUSED_SELECTION);
        return;
    }
    Logger::LogInfo("Selected revision list %s for gameId %s", joinGameIds(revisions).c_str(),
                    product->gameId.c_str());
    if (revisions == product->revisions) {
        updateGameView();
        return;
    }
    showSelectionOutcome(requestSelectionChange(product, languageOrFirstOffered(*product), revisions));
}

void GameViewHandler::install(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product) {
    const std::string language = readString(arguments, "Language");
    const Poco::JSON::Array::Ptr values = readArray(arguments, "NewValue");
    tRevisionList revisions;
    if (!readGameIds(*values, revisions)) {
        warnRefusedRevisions(jsonText(*values), product->gameId);
        showRefusal(std::string("Change refused: ") + REFUSED_SELECTION);
        return;
    }
    // The page may leave the base game out: it is always installed.
    if (!revisions.containsGID(product->gameId)) revisions.insert(revisions.begin(), product->gameId);
    Logger::LogInfo("Install of %s in %s requested for gameId %s", joinGameIds(revisions).c_str(), language.c_str(),
                    product->gameId.c_str());
    if (!isOfferedLanguage(*product, language)) {
        showRefusal("Change refused: the game is not offered in " + language);
        return;
    }
    if (IsGameInstalled(*product) && language == product->language && sameGameIds(revisions, product->revisions)) {
        showRefusal("Nothing to change: the game is installed as chosen");
        return;
    }
    showSelectionOutcome(requestSelectionChange(product, language, revisions));
}

void GameViewHandler::showSelectionOutcome(const char* refusal) {
    if (refusal != nullptr) showRefusal(std::string("Change refused: ") + refusal);
}

const char* GameViewHandler::requestSelectionChange(const ProductPresentationData::Ptr& product,
                                                    const std::string& language, const tRevisionList& revisions) {
    // A language change sends the product's own list, which has to hold up too.
    if (!isInstallableSelection(revisions, *product)) {
        warnRefusedRevisions(joinGameIds(revisions), product->gameId);
        return REFUSED_SELECTION;
    }
    if (language.empty()) {
        Logger::LogWarning("No language to install game %s in; the selection waits", product->gameId.c_str());
        return "the game offers no language yet";
    }
    if (m_viewState.isUpdateInProgress()) return "an install of the game is in progress";
    {
        ScopedLock lock(m_productMutex);
        m_lastLanguage = language;
        m_lastRevisions = revisions;
    }
    m_stopIntent = EStopIntent::None;
    m_viewState.updateInProgress();
    // Before the event: a refusal the controller sends back at once must be the last layout.
    updateGameView();
    ProductSelectionChange change{product, language, revisions};
    productSelectionChangeEvent.notify(this, change);
    return nullptr;
}

void GameViewHandler::pauseInstall() {
    if (!m_viewState.isUpdateInProgress()) {
        showRefusal("Nothing to pause: no install is running");
        return;
    }
    m_stopIntent = EStopIntent::Pause;
    fireCardRequest(ECardRequest::PauseInstall);
}

void GameViewHandler::resumeInstall() {
    const ProductPresentationData::Ptr product = currentProduct();
    if (!m_viewState.isInstallPaused()) {
        showRefusal("Nothing to resume: no install is paused");
        return;
    }
    std::string language;
    tRevisionList revisions;
    {
        ScopedLock lock(m_productMutex);
        language = m_lastLanguage;
        revisions = m_lastRevisions;
    }
    // An install the engine started itself (an update) resumes the game's own selection.
    if (revisions.empty()) {
        language = languageOrFirstOffered(*product);
        revisions = revisionsOrBaseGame(*product);
    }
    m_resuming = true;
    const char* refusal = requestSelectionChange(product, language, revisions);
    m_resuming = false;
    showSelectionOutcome(refusal);
}

void GameViewHandler::cancelInstall() {
    if (m_viewState.isInstallPaused()) {
        // Nothing runs: forgetting the pause is the whole cancel.
        m_viewState.installResumed();
        showStateLine("Installation cancelled");
        return;
    }
    if (!m_viewState.isUpdateInProgress()) {
        showRefusal("Nothing to cancel: no install is running");
        return;
    }
    m_stopIntent = EStopIntent::Cancel;
    fireCardRequest(ECardRequest::CancelInstall);
}

void GameViewHandler::requestForInstalledGame(ECardRequest request, const ProductPresentationData::Ptr& product) {
    if (!IsGameInstalled(*product)) {
        showRefusal("Not possible: the game is not installed");
        return;
    }
    if (request != ECardRequest::OpenInstallFolder && m_viewState.isUpdateInProgress()) {
        showRefusal("Not possible: an install of the game is in progress");
        return;
    }
    fireCardRequest(request);
}

void GameViewHandler::fireCardRequest(ECardRequest request) {
    CardRequest card{request};
    cardRequestEvent.notify(this, card);
}

}  // namespace VantisClient
