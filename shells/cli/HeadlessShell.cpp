#include "cli/HeadlessShell.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "bridge/LoginPageHandler.h"
#include "bridge/ShellMessageCenter.h"
#include "cli/BrowserLogin.h"
#include "cli/GameReport.h"
#include "cli/PasswordSource.h"
#include "common/JsonMessageBuilder.h"
#include "common/Logger.h"

namespace VantisClient {
namespace {

std::string launchCommand(const ProductPresentationData& product, const std::string& taskName, bool& known) {
    JsonMessageBuilder builder;
    known = true;
    if (taskName.empty()) {
        builder.makeCommand("LaunchPrimaryPlayTask");
        return builder.toString();
    }
    const std::vector<PlayTaskStruct>& tasks = product.contents.playTasks;
    for (size_t index = 0; index < tasks.size(); ++index) {
        if (tasks[index].name != taskName) continue;
        builder.makeCommand("LaunchPlayTask").addNumericProperty("PlayTaskIndex", index);
        return builder.toString();
    }
    known = false;
    return std::string();
}

}  // namespace

const char* const HeadlessShell::INTERRUPT_MESSAGE = "HeadlessShell.Interrupt";
const char* const HeadlessShell::LAUNCH_SETTLED_MESSAGE = "HeadlessShell.LaunchSettled";

HeadlessShell::HeadlessShell(const CliRequest& request, std::optional<std::string> password, IShellView& view,
                             std::ostream& prompts)
    : m_request(request), m_password(std::move(password)), m_view(view), m_prompts(prompts) {}

void HeadlessShell::onShellMessage(const ShellMessage& message) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.push_back(message);
    }
    m_queueChanged.notify_one();
}

int HeadlessShell::run(ClientStartup& startup) {
    ShellMessageCenter::SetObserver(this);
    startup.startEngine(m_controller);
    while (!m_exitCode) {
        if (const std::optional<ShellMessage> message = nextMessage()) handle(*message);
        if (!m_exitCode) advance();
    }
    startup.quit();
    ShellMessageCenter::SetObserver(nullptr);
    // An install that ended during the handshake still reports its result.
    while (const std::optional<ShellMessage> message = nextMessage()) {
        if (message->name == ShellMessage::ON_PRODUCT_INSTALL_RESULT) m_view.show(*message);
    }
    return *m_exitCode;
}

std::optional<ShellMessage> HeadlessShell::nextMessage() {
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (m_exitCode) {
        if (m_queue.empty()) return std::nullopt;
    } else {
        const auto arrived = [this] { return !m_queue.empty(); };
        if (const auto deadline = nextDeadline()) {
            m_queueChanged.wait_until(lock, *deadline, arrived);
        } else {
            m_queueChanged.wait(lock, arrived);
        }
        if (m_queue.empty()) return std::nullopt;
    }
    ShellMessage message = m_queue.front();
    m_queue.pop_front();
    return message;
}

std::optional<std::chrono::steady_clock::time_point> HeadlessShell::nextDeadline() const {
    std::optional<std::chrono::steady_clock::time_point> deadline = m_installRetry;
    if (m_backendWaitStarted) {
        const auto backend = std::min(*m_backendWaitStarted + std::chrono::seconds(m_request.backendWaitSeconds),
                                      m_lastBackendCheck + std::chrono::seconds(BACKEND_RECHECK_SECONDS));
        deadline = deadline ? std::min(*deadline, backend) : backend;
    }
    return deadline;
}

void HeadlessShell::handle(const ShellMessage& message) {
    if (message.name == INTERRUPT_MESSAGE) {
        onInterrupt();
        return;
    }
    if (message.name == LAUNCH_SETTLED_MESSAGE) {
        onLaunchSettled();
        return;
    }
    // --info shows its report alone.
    if (!m_request.info) m_view.show(message);
    if (message.name == ShellMessage::LOAD_LOGIN_PAGE) {
        signInThroughLoginPage();
    } else if (message.name == ShellMessage::LOAD_GAME_CARD) {
        m_cardRequested = true;
    } else if (message.name == ShellMessage::ON_PRODUCT_INSTALL_RESULT) {
        onInstallResult(message.integer("result", -1));
    } else if (message.name == ShellMessage::API_STATUS_CODE_CHANGED) {
        m_backendOnline = message.integer("apiStatusCode", 0) == APIStatusResult::STATUS_ONLINE;
    } else if (message.name == ShellMessage::ENGINE_INITIALIZED) {
        m_engineInitialized = true;
    } else if (message.name == ShellMessage::SIGN_IN_FAILED) {
        onSignInFailed();
    } else if (message.name == ShellMessage::ON_PRODUCT_OFFER) {
        onOffer(message);
    } else if (message.name == ShellMessage::GAME_STARTED) {
        m_gameStarted = true;
    } else if (message.name == ShellMessage::GAME_ENDED) {
        if (m_playIssued) finish(CliRequest::EXIT_SUCCESS_CODE);
    } else if (message.name == ShellMessage::SHUTDOWN_DONE) {
        finish(CliRequest::EXIT_STOPPED, "the client stopped: the game or its directory could not be used (see the log)");
    }
}

void HeadlessShell::onSignInFailed() {
    if (m_earlierSignInFailures > 0) {
        --m_earlierSignInFailures;
        return;
    }
    if (m_codeSignInStarted) {
        finish(CliRequest::EXIT_SIGN_IN_FAILED, "sign-in failed: the backend did not take the login page's code");
    }
}

void HeadlessShell::advance() {
    if (m_request.info) {
        advanceInfo();
        return;
    }
    watchBackend();
    if (m_exitCode) return;
    showCardWhenReady();
    if (!m_cardShown) return;
    m_installRetry.reset();
    if (m_request.install && !m_installIssued && signedIn()) issueInstall();
    const bool installSettled = !m_request.install || m_installDone;
    if (m_request.play && installSettled && !m_playIssued && !m_exitCode) startPlay();
}

void HeadlessShell::watchBackend() {
    if (!m_request.install || signedIn() || m_backendOnline.value_or(true)) {
        m_backendWaitStarted.reset();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const int limit = m_request.backendWaitSeconds;
    if (!m_backendWaitStarted) {
        m_backendWaitStarted = now;
        m_lastBackendCheck = now;
        m_view.notice("waiting for the backend: it cannot be reached or its configuration is unusable (giving up after " +
                      std::to_string(limit) + " s)");
        return;
    }
    if (now - *m_backendWaitStarted >= std::chrono::seconds(limit)) {
        finish(CliRequest::EXIT_BACKEND_UNUSABLE, "no usable backend within " + std::to_string(limit) +
                                                      " s: it cannot be reached or its configuration is unusable "
                                                      "(see the log)");
        return;
    }
    if (now - m_lastBackendCheck < std::chrono::seconds(BACKEND_RECHECK_SECONDS)) return;
    m_lastBackendCheck = now;
    m_controller.checkBackendStatus();
}

void HeadlessShell::showCardWhenReady() {
    // A sign-in with a stored token asks for the card before the engine's
    // initialization has made its bridge and set the product: like a browser's
    // page, the card is ready only once its bridge exists.
    if (m_cardShown || !m_cardRequested || !m_engineInitialized) return;
    if (Poco::SharedPtr<GameViewHandler> card = m_controller.gameViewHandler()) card->onDocumentReady();
    m_cardShown = true;
}

void HeadlessShell::signInThroughLoginPage() {
    // The report tells what is installed without a sign-in.
    if (m_request.info && m_request.user.empty()) return;
    if (m_request.user.empty()) {
        finish(CliRequest::EXIT_SIGN_IN_FAILED, "not signed in: sign in with --user=NAME");
        return;
    }
    std::string password;
    std::string error;
    PasswordSource passwords(m_password, STDIN_FILENO, m_prompts);
    if (!passwords.read("Password for " + m_request.user + ": ", password, error)) {
        finish(CliRequest::EXIT_SIGN_IN_FAILED, "sign-in failed: " + error);
        return;
    }
    std::string redirect;
    BrowserLogin browser;
    if (!browser.signIn(LoginPageHandler::LoginAddress(), m_request.user, password, redirect, error)) {
        finish(CliRequest::EXIT_SIGN_IN_FAILED, "sign-in failed: " + error);
        return;
    }
    {
        // Posted before the code is handed over, so none of them is the code's.
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_earlierSignInFailures = static_cast<int>(
            std::count_if(m_queue.begin(), m_queue.end(),
                          [](const ShellMessage& queued) { return queued.name == ShellMessage::SIGN_IN_FAILED; }));
    }
    m_codeSignInStarted = m_controller.handleLoginRedirect(redirect);
    if (!m_codeSignInStarted) finish(CliRequest::EXIT_SIGN_IN_FAILED, "sign-in failed: the login page's answer was refused");
}

void HeadlessShell::issueInstall() {
    // Until the engine has loaded the library (a sign-in may come first).
    if (!m_controller.getCurrentProduct()) return;
    if (!m_selection) {
        if (!m_offerRequested) m_offerRequested = m_controller.requestProductOffer();
        return;
    }
    // Refused while an update the engine scheduled itself runs or returns:
    // asked again after its result, and until it has returned.
    m_installIssued = m_controller.requestInstall(m_selection->language, m_selection->revisions);
    if (m_installIssued) {
        m_installRetry.reset();
    } else {
        m_installRetry = std::chrono::steady_clock::now() + std::chrono::milliseconds(INSTALL_RETRY_MS);
    }
}

void HeadlessShell::onOffer(const ShellMessage& offer) {
    if (m_request.info) {
        if (m_offerRequested) reportInfo(&offer, std::string());
        return;
    }
    const Poco::SharedPtr<ProductPresentationData> product = m_controller.getCurrentProduct();
    if (!m_offerRequested || m_selection || !product) return;
    GameSelection selection;
    EInstallResult failure = EInstallResult::ServerError;
    std::string error;
    if (!GameSelection::Choose(m_request, *product, offer, selection, failure, error)) {
        finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(failure), error);
        return;
    }
    m_selection = selection;
}

void HeadlessShell::onInstallResult(int64_t result) {
    if (!m_installIssued || m_installDone) return;
    m_installDone = true;
    if (result != static_cast<int64_t>(EInstallResult::Success)) {
        finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(result));
        return;
    }
    if (!m_request.play) finish(CliRequest::EXIT_SUCCESS_CODE);
}

void HeadlessShell::startPlay() {
    Poco::SharedPtr<GameViewHandler> card = m_controller.gameViewHandler();
    const Poco::SharedPtr<ProductPresentationData> product = card ? card->currentProduct() : nullptr;
    bool known = false;
    const std::string command = product ? launchCommand(*product, m_request.playTask, known) : std::string();
    if (!known) {
        finish(CliRequest::EXIT_PLAY_FAILED, "the game has no play task named '" + m_request.playTask + "'");
        return;
    }
    m_playIssued = true;
    // The launch runs on this thread: what it posts is queued before the mark.
    card->onMessageFromBrowser(command);
    onShellMessage(ShellMessage(LAUNCH_SETTLED_MESSAGE));
}

void HeadlessShell::onLaunchSettled() {
    if (!m_gameStarted) finish(CliRequest::EXIT_PLAY_FAILED, "the game could not be started; see the log for why");
}

void HeadlessShell::advanceInfo() {
    if (!m_engineInitialized || m_offerRequested || m_exitCode) return;
    if (signedIn()) {
        m_offerRequested = m_controller.requestProductOffer();
        if (!m_offerRequested) reportInfo(nullptr, "no engine runs to ask the backend");
        return;
    }
    const EUserLoginState state = m_controller.getLoginState();
    // A sign-in still on its way: the stored token's, or the login page's
    // for --user (unless the backend cannot be reached and the card stands in).
    const bool signInPending = state == SigningInWithToken ||
                               (!m_request.user.empty() && state == SignedOut && !m_cardRequested);
    if (signInPending) return;
    if (!m_backendOnline.value_or(false)) {
        reportInfo(nullptr, "the backend cannot be reached");
    } else if (state == StartupSignInFailed) {
        reportInfo(nullptr, "the stored sign-in was refused; sign in with --user=NAME");
    } else {
        reportInfo(nullptr, "not signed in; sign in with --user=NAME");
    }
}

void HeadlessShell::reportInfo(const ShellMessage* offer, const std::string& whyNoOffer) {
    const Poco::SharedPtr<ProductPresentationData> product = m_controller.getCurrentProduct();
    if (!product) {
        finish(CliRequest::EXIT_STOPPED, "the library has no record of game " + m_controller.getCurrentGameId());
        return;
    }
    GameReport report(*product, m_controller.installedBytes());
    if (offer != nullptr) {
        report.addOffer(*offer);
    } else {
        report.offerUnavailable(whyNoOffer);
    }
    m_view.showReport(report);
    finish(CliRequest::EXIT_SUCCESS_CODE);
}

void HeadlessShell::onInterrupt() {
    const bool installRunning = m_installIssued && !m_installDone;
    finish(installRunning ? CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::Aborted)
                          : CliRequest::EXIT_SUCCESS_CODE,
           installRunning ? "interrupted: the install stops and resumes at the next start" : "interrupted");
}

void HeadlessShell::finish(int exitCode, const std::string& message) {
    if (m_exitCode) return;
    if (!message.empty()) m_view.error(message);
    m_exitCode = exitCode;
}

}  // namespace VantisClient
