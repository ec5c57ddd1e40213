#include "cli/TerminalView.h"

#include <exception>

#include <Poco/Exception.h>

#include "bridge/InstallNotificationText.h"
#include "cli/GameReport.h"
#include "common/Logger.h"

namespace VantisClient {
namespace {

const char* const API_STATUS_WORDS[] = {"unknown", "online", "offline"};
const int64_t API_STATUS_COUNT = sizeof(API_STATUS_WORDS) / sizeof(API_STATUS_WORDS[0]);
const char* const PROGRAM = "vantis-client: ";

}  // namespace

TerminalView::TerminalView(std::ostream& output, std::ostream& errors, Style style, ProgressMeter::Clock clock)
    : m_output(style.quiet ? m_discarded : output),
      m_errors(errors),
      m_style(style),
      m_progress(m_output, style.isTerminal, std::move(clock)) {}

std::string TerminalView::InstallResultText(int64_t result) { return InstallNotificationText(result); }

std::string TerminalView::ApiStatusWord(int64_t status) {
    if (status < 0 || status >= API_STATUS_COUNT) return "status " + std::to_string(status);
    return API_STATUS_WORDS[status];
}

void TerminalView::show(const ShellMessage& message) {
    if (message.name == ShellMessage::WEB_VIEW_UPDATE) {
        showPageUpdate(message.text("webViewUpdate"));
    } else if (message.name == ShellMessage::ON_PRODUCT_INSTALL_RESULT) {
        showInstallResult(message);
    } else if (message.name == ShellMessage::API_STATUS_CODE_CHANGED) {
        showApiStatus(message);
    } else if (message.name == ShellMessage::LOAD_LOGIN_PAGE) {
        printLine(m_output, "Sign-in required.");
    } else if (message.name == ShellMessage::LOAD_GAME_CARD) {
        showGameCard(message);
    } else if (message.name == ShellMessage::SIGNED_IN) {
        printLine(m_output, "Signed in as " + message.text("userName") + ".");
    } else if (message.name == ShellMessage::SIGN_IN_FAILED) {
        showSignInFailed(message);
    } else if (message.name == ShellMessage::GAME_STARTED) {
        printLine(m_output, "Started " + message.text("task") + " (process " + message.text("pid") + ").");
    } else if (message.name == ShellMessage::GAME_ENDED) {
        showGameEnded(message);
    } else if (message.name == ShellMessage::PLAY_TASK_OPENED) {
        printLine(m_output, "Opened " + message.text("name") + ".");
    } else if (message.name == ShellMessage::ON_PRODUCT_VERIFIED) {
        for (const std::string& path : message.texts("missing")) printLine(m_output, "missing: " + path);
        for (const std::string& path : message.texts("damaged")) printLine(m_output, "damaged: " + path);
    }
}

void TerminalView::error(const std::string& text) { printLine(m_errors, PROGRAM + text); }

void TerminalView::notice(const std::string& text) {
    if (!m_style.quiet) printLine(m_errors, PROGRAM + text);
}

void TerminalView::showReport(const GameReport& report) {
    m_progress.interrupt();
    m_output << report.text() << std::flush;
}

void TerminalView::showPageUpdate(const std::string& text) {
    std::string problem;
    if (!m_card.read(text, problem)) {
        if (!problem.empty()) warn(problem);
        return;
    }
    if (m_card.titleChanged()) printLine(m_output, m_card.title());
    if (m_card.stateChanged() && !m_card.state().empty()) printLine(m_output, m_card.state());
    if (!m_card.progress()) {
        m_progress.end();
        return;
    }
    try {
        m_progress.show(*m_card.progress());
    } catch (const Poco::Exception& error) {
        warn(error.displayText());
    } catch (const std::exception& error) {
        warn(error.what());
    }
}

void TerminalView::showInstallResult(const ShellMessage& message) {
    const int64_t result = message.integer("result", -1);
    if (m_style.quiet && result == 0) return;
    std::string text = InstallResultText(result);
    if (text.empty()) text = "the install ended with result " + std::to_string(result);
    const std::string productName = message.text("productName");
    printLine(m_errors, productName.empty() ? text : productName + ": " + text);
}

void TerminalView::showApiStatus(const ShellMessage& message) {
    const int64_t status = message.integer("apiStatusCode", 0);
    if (m_apiStatusShown && status == m_apiStatus) return;
    m_apiStatusShown = true;
    m_apiStatus = status;
    printLine(m_output, "Backend " + ApiStatusWord(status) + ".");
}

void TerminalView::showGameCard(const ShellMessage& message) {
    if (!m_style.debugLaunch) return;
    printLine(m_output, "Game card (" + message.text("gameCardType") + "): " + message.text("gameCardPath"));
}

void TerminalView::showSignInFailed(const ShellMessage& message) {
    printLine(m_output, message.integer("credentialsRejected") != 0 ? "Sign-in refused by the backend."
                                                                     : "Sign-in failed: the backend could not be reached.");
}

void TerminalView::showGameEnded(const ShellMessage& message) {
    const int64_t status = message.integer("exitStatus", -1);
    printLine(m_output, message.text("task") + " ended" +
                            (status < 0 ? std::string(".") : " with exit status " + std::to_string(status) + "."));
}

void TerminalView::warn(const std::string& problem) {
    Logger::LogWarning("Unreadable page update: %s", problem.c_str());
    printLine(m_errors, "warning: unreadable page update: " + problem);
}

void TerminalView::printLine(std::ostream& stream, const std::string& line) {
    m_progress.interrupt();
    stream << line << '\n' << std::flush;
}

}  // namespace VantisClient
