#include "cli/TerminalView.h"

#include <exception>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

#include "bridge/InstallNotificationText.h"
#include "common/Logger.h"

namespace VantisClient {
namespace {

const char* const API_STATUS_WORDS[] = {"unknown", "online", "offline"};
const int64_t API_STATUS_COUNT = sizeof(API_STATUS_WORDS) / sizeof(API_STATUS_WORDS[0]);

const char* const TITLE_SEPARATOR = " \xE2\x80\x94 ";  // an em dash between blanks

}  // namespace

TerminalView::TerminalView(std::ostream& output, std::ostream& errors, bool isTerminal, ProgressMeter::Clock clock)
    : m_output(output), m_errors(errors), m_progress(output, isTerminal, std::move(clock)) {}

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
    }
}

void TerminalView::showPageUpdate(const std::string& text) {
    try {
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr command = parser.parse(text).extract<Poco::JSON::Object::Ptr>();
        // The login page's bridge speaks through the same message; only layouts are shown.
        if (command->optValue<std::string>("Command", "") != "UpdateLayout") return;
        Poco::JSON::Object::Ptr arguments = command->getObject("Arguments");
        if (!arguments) throw Poco::DataFormatException("the layout has no Arguments object");
        showLayout(*arguments);
    } catch (const Poco::Exception& error) {
        warn(error.displayText());
    } catch (const std::exception& error) {
        warn(error.what());
    }
}

void TerminalView::showLayout(const Poco::JSON::Object& arguments) {
    showTitle(arguments.getObject("Title"));
    showState(arguments.getObject("GameStateLabel"));
    Poco::JSON::Object::Ptr progress = arguments.getObject("Progress");
    if (progress) {
        m_progress.show(*progress);
    } else {
        m_progress.end();
    }
}

void TerminalView::showTitle(const Poco::JSON::Object::Ptr& title) {
    if (!title) return;
    const std::string label = title->optValue<std::string>("Label", "");
    const std::string subtitle = title->optValue<std::string>("Subtitle", "");
    const std::string line = subtitle.empty() ? label : label + TITLE_SEPARATOR + subtitle;
    if (line.empty() || line == m_title) return;
    m_title = line;
    printLine(m_output, line);
}

void TerminalView::showState(const Poco::JSON::Object::Ptr& stateLabel) {
    // A hidden or missing label clears the state, so that the same state
    // after an install is shown again.
    const bool visible = stateLabel && stateLabel->optValue<bool>("Visible", false);
    const std::string state = visible ? stateLabel->optValue<std::string>("Label", "") : std::string();
    if (state == m_state) return;
    m_state = state;
    if (!state.empty()) printLine(m_output, state);
}

void TerminalView::showInstallResult(const ShellMessage& message) {
    const int64_t result = message.integer("result", -1);
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
    printLine(m_output, "Game card (" + message.text("gameCardType") + "): " + message.text("gameCardPath"));
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
