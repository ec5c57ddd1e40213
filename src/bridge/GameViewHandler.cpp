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
    replaceProduct(product);
    finishUpdate(EInstallResult::Success);
}

void GameViewHandler::onProductInstallFailed(const ProductPresentationData::Ptr&, EInstallResult result) {
    finishUpdate(result);
}

void GameViewHandler::onProductInstallAborted(const ProductPresentationData::Ptr&) {
    finishUpdate(EInstallResult::Aborted);
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

void GameViewHandler::sendMessage(GameViewUpdateMessage& message) { sendToBrowser(message.extractJSMessage()); }

void GameViewHandler::finishUpdate(EInstallResult result) {
    m_viewState.updateComplete(result);
    const ProductPresentationData::Ptr product = currentProduct();
    GameViewUpdateMessage message(*product, m_viewState);
    message.updateGameStateLabel(getInstallResultDescription(result), true);
    sendMessage(message);
}

void GameViewHandler::launchPrimaryPlayTask(const ProductPresentationData::Ptr& product) {
    const std::vector<PlayTaskStruct>& tasks = product->contents.playTasks;
    auto primary = std::find_if(tasks.begin(), tasks.end(), [](const PlayTaskStruct& task) { return task.isPrimary; });
    if (primary == tasks.end()) {
        Logger::LogWarning("No primary play task to launch for gameId %s", product->gameId.c_str());
        ShellMessageCenter::Post(ShellMessage::PlayTaskFailed("", "the game has no primary play task"));
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
        return;
    }
    requestLaunch(product, tasks[static_cast<size_t>(index)]);
}

void GameViewHandler::requestLaunch(const ProductPresentationData::Ptr& product, const PlayTaskStruct& task) {
    if (const char* refusal = launchRefusal(task)) {
        Logger::LogWarning("Refused to launch play task '%s' for gameId %s: %s", task.name.c_str(),
                           product->gameId.c_str(), refusal);
        ShellMessageCenter::Post(ShellMessage::PlayTaskFailed(task.name, refusal));
        return;
    }
    PlayTaskLaunchRequest request{product, task};
    playTaskLaunchRequestEvent.notify(this, request);
}

const char* GameViewHandler::launchRefusal(const PlayTaskStruct& task) const {
    if (m_viewState.isUpdateInProgress()) return "an update is in progress";
    if (m_viewState.isUnplayable()) return "the game is unplayable";
    // A primary task starts the game itself; a second copy would fight the first over its files.
    if (task.isPrimary && !m_viewState.isPlayButtonEnabled()) return "the game is running";
    return nullptr;
}

void GameViewHandler::changeLanguage(const Poco::JSON::Object::Ptr& arguments,
                                     const ProductPresentationData::Ptr& product) {
    const int64_t index = readInteger(arguments, "NewValue");
    const LanguageList& languages = product->availableLanguages;
    if (index < 0 || index >= static_cast<int64_t>(languages.size())) return;
    const std::string& language = languages[static_cast<size_t>(index)].asString();
    Logger::LogInfo("Selected language %s for gameId %s", language.c_str(), product->gameId.c_str());
    if (language != product->language) requestSelectionChange(product, language, revisionsOrBaseGame(*product));
    updateGameView();
}

void GameViewHandler::changeRevisions(const Poco::JSON::Object::Ptr& arguments,
                                      const ProductPresentationData::Ptr& product) {
    const Poco::JSON::Array::Ptr values = readArray(arguments, "NewValue");
    tRevisionList revisions;
    if (!readGameIds(*values, revisions) || !isInstallableSelection(revisions, *product)) {
        warnRefusedRevisions(jsonText(*values), product->gameId);
        return;
    }
    Logger::LogInfo("Selected revision list %s for gameId %s", joinGameIds(revisions).c_str(),
                    product->gameId.c_str());
    if (revisions != product->revisions) requestSelectionChange(product, languageOrFirstOffered(*product), revisions);
    updateGameView();
}

void GameViewHandler::requestSelectionChange(const ProductPresentationData::Ptr& product, const std::string& language,
                                             const tRevisionList& revisions) {
    // A language change sends the product's own list, which has to hold up too.
    if (!isInstallableSelection(revisions, *product)) {
        warnRefusedRevisions(joinGameIds(revisions), product->gameId);
        return;
    }
    if (language.empty()) {
        Logger::LogWarning("No language to install game %s in; the selection waits", product->gameId.c_str());
        return;
    }
    m_viewState.updateInProgress();
    ProductSelectionChange change{product, language, revisions};
    productSelectionChangeEvent.notify(this, change);
}

}  // namespace VantisClient
