// The headless shell: runs the client in a terminal. It observes the shell
// messages and performs them on its main thread: the terminal view shows the
// card, the login page is filled in as a browser would (--user), and the
// user's request is carried out through the controller (--install, --verify,
// --uninstall, --play, --offline, --sign-out, --info). What the run shows goes
// through a view (text, JSON events, quiet). SIGINT and SIGTERM (interrupt())
// abort a running install and quit through the normal shutdown handshake;
// they end a password prompt at once. The shell learns every outcome from the
// messages; it sleeps until the next one, or until it has something to ask
// again.
// Thread-safety: onShellMessage and interrupt may be called from any thread;
// everything else runs on the thread that calls run().
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>

#include "app/BaseAppDelegate.h"
#include "app/ClientStartup.h"
#include "bridge/IShellMessageObserver.h"
#include "cli/CliRequest.h"
#include "cli/GameSelection.h"
#include "cli/IShellView.h"
#include "common/FileDescriptor.h"

namespace VantisClient {

class HeadlessShell : public IShellMessageObserver {
public:
    static const char* const INTERRUPT_MESSAGE;
    // The shell's own message that follows a launch request: every message the
    // launch posted is ahead of it.
    static const char* const LAUNCH_SETTLED_MESSAGE;
    // While the engine refuses the install (an update it scheduled itself is
    // returning), it is asked this often.
    static constexpr int INSTALL_RETRY_MS = 200;
    // While an install waits for a usable backend, it is asked this often.
    static constexpr int BACKEND_RECHECK_SECONDS = 5;

    // `password` is the one the environment held when the client started, if
    // any; `prompts` is where a password is asked for.
    HeadlessShell(const CliRequest& request, std::optional<std::string> password, IShellView& view,
                  std::ostream& prompts);

    // Starts the engine, carries out the request and quits; the exit status.
    int run(ClientStartup& startup);
    void onShellMessage(const ShellMessage& message) override;
    // The user asked the client to stop with `signalNumber`.
    void interrupt(int signalNumber);

private:
    std::optional<ShellMessage> nextMessage();
    // When the shell has to act without a message; unset: only a message wakes it.
    std::optional<std::chrono::steady_clock::time_point> nextDeadline() const;
    void handle(const ShellMessage& message);
    void onSignInFailed();
    void onOffer(const ShellMessage& offer);
    void onLaunchSettled();
    void onTaskOpened();
    void onLaunchFailed(const std::string& taskName, const std::string& reason);
    void advance();
    // An install or a verify needs a usable backend: while there is none, the status is
    // asked again now and then, and the run ends after the user's limit.
    void watchBackend();
    void showCardWhenReady();
    void signInThroughLoginPage();
    void issueInstall();
    void issueVerify();
    void onVerified(const ShellMessage& report);
    void onUninstalled(const ShellMessage& outcome);
    void onSignOut(const ShellMessage& outcome);
    void onInstallResult(int64_t result);
    void startPlay();
    // --info: once the sign-in has settled, the offer is asked for when it can
    // be, and the report shown.
    void advanceInfo();
    void reportInfo(const ShellMessage* offer, const std::string& whyNoOffer);
    void onInterrupt(int signalNumber);
    void finish(int exitCode, const std::string& message = std::string());
    bool signedIn() const { return m_controller.getLoginState() == SignedIn; }

    const CliRequest m_request;
    const std::optional<std::string> m_password;
    // Readable once the user has interrupted: ends a wait for the password.
    FileDescriptor m_interrupted;
    IShellView& m_view;
    std::ostream& m_prompts;
    BaseAppDelegate m_controller;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<ShellMessage> m_queue;

    bool m_cardRequested = false;
    bool m_cardShown = false;
    bool m_installIssued = false;
    bool m_installDone = false;
    bool m_playIssued = false;
    bool m_uninstallIssued = false;
    bool m_codeSignInStarted = false;
    // Failures of sign-ins that had ended before the login page's code was
    // handed over (the stored token's), still queued then: not the code's.
    int m_earlierSignInFailures = 0;
    bool m_engineInitialized = false;
    bool m_offerRequested = false;
    // The launch's outcome arrived: a program started, a document opened, or why not.
    bool m_launchSettled = false;
    std::optional<GameSelection> m_selection;
    std::optional<int> m_exitCode;
    std::optional<std::chrono::steady_clock::time_point> m_installRetry;
    // The backend's status as last heard; unknown before the first check.
    std::optional<bool> m_backendOnline;
    std::optional<std::chrono::steady_clock::time_point> m_backendWaitStarted;
    std::chrono::steady_clock::time_point m_lastBackendCheck;
};

}  // namespace VantisClient
