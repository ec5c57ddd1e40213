#include "cli/HeadlessShell.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <Poco/String.h>

#include "bridge/LoginPageHandler.h"
#include "bridge/ShellMessageCenter.h"
#include "cli/BrowserLogin.h"
#include "cli/GameReport.h"
#include "cli/PasswordSource.h"
#include "common/JsonMessageBuilder.h"
#include "common/Logger.h"
#include "install/EInstallResult.h"
#include "net/RefreshTokenProvider.h"

namespace VantisClient {
namespace {

const char* const UNINSTALL_INTERRUPTED = "interrupted: the uninstall stopped; run it again to finish";

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
    : m_request(request),
      m_password(std::move(password)),
      m_interrupted(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_view(view),
      m_prompts(prompts) {
    // A removal needs no sign-in, and an update must not overtake a verify or a removal.
    if (m_request.offline || m_request.uninstall) m_controller.setWorksOffline();
    if (m_request.verify || m_request.uninstall) m_controller.holdAutomaticUpdates();
}

void HeadlessShell::onShellMessage(const ShellMessage& message) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.push_back(message);
    }
    m_queueChanged.notify_one();
}

void HeadlessShell::interrupt(int signalNumber) {
    ShellMessage message(INTERRUPT_MESSAGE);
    message.values["signal"] = signalNumber;
    // Queued before the wait for a password ends, so the shell finds it next.
    onShellMessage(message);
    const uint64_t one = 1;
    if (::write(m_interrupted.get(), &one, sizeof(one)) < 0) {
        Logger::LogWarning("Could not end the wait for the password: %s", std::strerror(errno));
    }
}

int HeadlessShell::run(ClientStartup& startup) {
    ShellMessageCenter::SetObserver(this);
    if (m_request.signOut) {
        m_controller.requestSignOut();
    } else {
        startup.startEngine(m_controller);
    }
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
        onInterrupt(static_cast<int>(message.integer("signal", SIGINT)));
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
    } else if (message.name == ShellMessage::ON_PRODUCT_VERIFIED) {
        onVerified(message);
    } else if (message.name == ShellMessage::ON_PRODUCT_UNINSTALLED) {
        onUninstalled(message);
    } else if (message.name == ShellMessage::ON_SIGN_OUT) {
        onSignOut(message);
    } else if (message.name == ShellMessage::GAME_STARTED) {
        m_launchSettled = true;
    } else if (message.name == ShellMessage::PLAY_TASK_OPENED) {
        onTaskOpened();
    } else if (message.name == ShellMessage::PLAY_TASK_FAILED) {
        onLaunchFailed(message.text("name"), message.text("reason"));
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
    if (m_request.verify && !m_installIssued && signedIn()) issueVerify();
    if (m_request.uninstall && !m_uninstallIssued) {
        m_uninstallIssued = true;
        m_controller.requestUninstall();
    }
    const bool installSettled = !(m_request.install || m_request.verify) || m_installDone;
    if (m_request.play && installSettled && !m_playIssued && !m_exitCode) startPlay();
}

void HeadlessShell::watchBackend() {
    if (!(m_request.install || m_request.verify) || signedIn() || m_backendOnline.value_or(true)) {
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
    const PasswordSource passwords(m_password, m_request.passwordFromInput, STDIN_FILENO, m_interrupted.get(),
                                   m_prompts);
    const PasswordSource::Outcome outcome =
        passwords.read("Password for " + m_request.user + ": ", password, error);
    // The interruption's message is queued already and ends the run.
    if (outcome == PasswordSource::Outcome::Interrupted) return;
    if (outcome == PasswordSource::Outcome::Failed) {
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

void HeadlessShell::issueVerify() {
    switch (m_controller.requestVerify(m_request.repair)) {
        case ClientCore::EProductRequest::Queued:
            m_installIssued = true;
            m_installRetry.reset();
            m_view.notice("verifying every installed file...");
            break;
        case ClientCore::EProductRequest::Busy:
            // An update the engine scheduled itself before it heard of the verify.
            m_installRetry = std::chrono::steady_clock::now() + std::chrono::milliseconds(INSTALL_RETRY_MS);
            break;
        case ClientCore::EProductRequest::NotInstalled:
            finish(CliRequest::EXIT_NOT_INSTALLED, "the game is not installed: there is nothing to verify");
            break;
    }
}

void HeadlessShell::onVerified(const ShellMessage& report) {
    const std::vector<std::string> missing = report.texts("missing");
    const std::vector<std::string> damaged = report.texts("damaged");
    const size_t wrong = missing.size() + damaged.size();
    if (wrong == 0) {
        m_installDone = true;
        m_view.notice("every installed file is intact");
        if (!m_request.play) finish(CliRequest::EXIT_SUCCESS_CODE);
    } else if (report.integer("repairing") == 0) {
        m_installDone = true;
        finish(CliRequest::EXIT_FILES_DAMAGED,
               std::to_string(wrong) + " files are missing or damaged; not repaired (--no-repair)");
    } else {
        m_view.notice(std::to_string(wrong) + " files are missing or damaged; fetching them again");
    }
}

void HeadlessShell::onUninstalled(const ShellMessage& outcome) {
    using Outcome = ProductUninstallResultStruct::Outcome;
    const std::vector<std::string> kept = outcome.texts("kept");
    const std::vector<std::string> failures = outcome.texts("failed");
    const std::string failed = Poco::cat(std::string(", "), failures.begin(), failures.end());
    switch (static_cast<Outcome>(outcome.integer("outcome", static_cast<int64_t>(Outcome::Failed)))) {
        case Outcome::Removed:
            if (!kept.empty()) {
                m_view.notice("kept " + std::to_string(kept.size()) + " files the install did not place: " +
                              Poco::cat(std::string(" "), kept.begin(), kept.end()));
            }
            finish(CliRequest::EXIT_SUCCESS_CODE, "uninstalled: the game's files and records are removed");
            break;
        case Outcome::NotInstalled:
            finish(CliRequest::EXIT_SUCCESS_CODE, "the game is not installed: there is nothing to remove");
            break;
        case Outcome::GameRunning:
            finish(CliRequest::EXIT_GAME_BUSY, "not uninstalled: the game is running (" + outcome.text("detail") + ")");
            break;
        case Outcome::InstallRunning:
            finish(CliRequest::EXIT_GAME_BUSY, "not uninstalled: an install of the game runs");
            break;
        case Outcome::Aborted:
            finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::Aborted),
                   UNINSTALL_INTERRUPTED);
            break;
        case Outcome::Failed:
            finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::DiskAccessError),
                   "not uninstalled completely: could not remove " + failed + "; the records stay for another run");
            break;
    }
}

void HeadlessShell::onSignOut(const ShellMessage& outcome) {
    switch (static_cast<RefreshTokenProvider::ERemoval>(outcome.integer("outcome"))) {
        case RefreshTokenProvider::ERemoval::Forgotten:
            finish(CliRequest::EXIT_SUCCESS_CODE, "signed out: the stored sign-in of this account is forgotten");
            break;
        case RefreshTokenProvider::ERemoval::NoneStored:
            finish(CliRequest::EXIT_SUCCESS_CODE, "signed out: no sign-in was stored, there was nothing to forget");
            break;
        case RefreshTokenProvider::ERemoval::Failed:
            finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::DiskAccessError),
                   "the stored sign-in could not be forgotten (see the log)");
            break;
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
    int exitStatus = CliRequest::EXIT_USAGE;
    std::string error;
    if (!GameSelection::Choose(m_request, *product, offer, selection, exitStatus, error)) {
        finish(exitStatus, error);
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
    if (m_request.offline && (!product || product->revisions.empty())) {
        finish(CliRequest::EXIT_PLAY_FAILED, "the game is not installed: --offline plays only an installed game");
        return;
    }
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
    if (!m_launchSettled) finish(CliRequest::EXIT_PLAY_FAILED, "the game could not be started; see the log for why");
}

void HeadlessShell::onTaskOpened() {
    if (!m_playIssued) return;
    m_launchSettled = true;
    // The desktop has the document or the address; there is nothing to wait for.
    finish(CliRequest::EXIT_SUCCESS_CODE);
}

void HeadlessShell::onLaunchFailed(const std::string& taskName, const std::string& reason) {
    if (!m_playIssued) return;
    m_launchSettled = true;
    const std::string what = m_request.playTask.empty() ? "the game" : "the play task '" + taskName + "'";
    finish(CliRequest::EXIT_PLAY_FAILED, what + " could not be started: " + reason);
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

void HeadlessShell::onInterrupt(int signalNumber) {
    // Its outcome would have ended the run: the removal is still going on.
    if (m_uninstallIssued) {
        finish(CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::Aborted),
               UNINSTALL_INTERRUPTED);
        return;
    }
    const bool installRunning = m_installIssued && !m_installDone;
    finish(installRunning ? CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::Aborted)
                          : CliRequest::EXIT_SIGNAL_BASE + signalNumber,
           installRunning ? "interrupted: the install stops and resumes at the next start" : "interrupted");
}

void HeadlessShell::finish(int exitCode, const std::string& message) {
    if (m_exitCode) return;
    if (!message.empty() && exitCode == CliRequest::EXIT_SUCCESS_CODE) {
        m_view.notice(message);
    } else if (!message.empty()) {
        m_view.error(message);
    }
    m_exitCode = exitCode;
}

}  // namespace VantisClient
