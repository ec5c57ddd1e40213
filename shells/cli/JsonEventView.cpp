#include "cli/JsonEventView.h"

#include <algorithm>
#include <cmath>

#include "bridge/InstallNotificationText.h"
#include "cli/GameReport.h"
#include "cli/TerminalView.h"
#include "common/Logger.h"
#include "install/EInstallStatusCode.h"

namespace VantisClient {

const std::chrono::seconds JsonEventView::PROGRESS_INTERVAL(1);

JsonEventView::JsonEventView(std::ostream& events, std::ostream& errors, ProgressMeter::Clock clock)
    : m_events(events), m_errors(errors), m_clock(clock), m_meter(clock) {}

void JsonEventView::show(const ShellMessage& message) {
    const std::string& name = message.name;
    if (name == ShellMessage::WEB_VIEW_UPDATE) {
        showPageUpdate(message.text("webViewUpdate"));
    } else if (name == ShellMessage::INSTALL_PROGRESS) {
        showProgress(message);
    } else if (name == ShellMessage::ON_PRODUCT_INSTALL_RESULT) {
        const int64_t result = message.integer("result", -1);
        m_meter.reset();
        m_progressShown = false;
        emit(JsonLine("installResult")
                 .number("result", result)
                 .text("text", InstallNotificationText(result))
                 .text("product", message.text("productName")));
    } else if (name == ShellMessage::API_STATUS_CODE_CHANGED) {
        showApiStatus(message);
    } else if (name == ShellMessage::LOAD_LOGIN_PAGE) {
        emit(JsonLine("signInRequired"));
    } else if (name == ShellMessage::SIGNED_IN) {
        emit(JsonLine("signIn").flag("succeeded", true).text("account", message.text("userName")).text(
            "userId", message.text("userId")));
    } else if (name == ShellMessage::SIGN_IN_FAILED) {
        emit(JsonLine("signIn").flag("succeeded", false).flag("credentialsRejected",
                                                               message.integer("credentialsRejected") != 0));
    } else if (name == ShellMessage::PLAY_TASK_OPENED) {
        emit(JsonLine("taskOpened").text("task", message.text("name")));
    } else if (name == ShellMessage::ON_PRODUCT_VERIFIED) {
        emit(JsonLine("verified")
                 .texts("missing", message.texts("missing"))
                 .texts("damaged", message.texts("damaged"))
                 .flag("repairing", message.integer("repairing") != 0));
    } else if (name == ShellMessage::GAME_STARTED) {
        emit(JsonLine("gameStarted").text("task", message.text("task")).number("pid", message.integer("pid", 0)));
    } else if (name == ShellMessage::GAME_ENDED) {
        JsonLine ended("gameEnded");
        ended.text("task", message.text("task"));
        const int64_t status = message.integer("exitStatus", -1);
        if (status < 0) {
            ended.null("exitStatus");
        } else {
            ended.number("exitStatus", status);
        }
        emit(ended);
    }
}

void JsonEventView::error(const std::string& text) { problem("error", text); }

void JsonEventView::notice(const std::string& text) { problem("notice", text); }

void JsonEventView::showReport(const GameReport& report) { emit(report.json()); }

void JsonEventView::showPageUpdate(const std::string& text) {
    std::string unreadable;
    if (!m_card.read(text, unreadable)) {
        if (unreadable.empty()) return;
        Logger::LogWarning("Unreadable page update: %s", unreadable.c_str());
        problem("warning", "unreadable page update: " + unreadable);
        return;
    }
    if (m_card.titleChanged()) emit(JsonLine("title").text("title", m_card.title()));
    if (m_card.stateChanged() && !m_card.state().empty()) emit(JsonLine("state").text("state", m_card.state()));
    // The terminal's progress line begins with it.
    if (m_card.activityChanged() && !m_card.activity().empty()) {
        emit(JsonLine("state").text("state", m_card.activity()));
    }
}

void JsonEventView::showProgress(const ShellMessage& message) {
    const int64_t step = message.integer("status", 0);
    double fraction = 0;
    try {
        fraction = message.values["progress"].convert<double>();
    } catch (const Poco::Exception&) {
        return;
    }
    fraction = std::isfinite(fraction) ? std::min(1.0, std::max(0.0, fraction)) : 0.0;
    const uint64_t bytesTotal = static_cast<uint64_t>(std::max<int64_t>(0, message.integer("bytesTotal", 0)));
    const uint64_t bytesDone = static_cast<uint64_t>(std::llround(static_cast<double>(bytesTotal) * fraction));
    // Only a transfer has a speed.
    if (step == static_cast<int64_t>(EInstallStatusCode::Downloading)) {
        m_meter.addSample(bytesDone, bytesTotal);
    } else {
        m_meter.reset();
    }
    const int64_t percent = static_cast<int64_t>(fraction * 100);
    if (!progressDue(step, percent)) return;
    m_progressShown = true;
    m_progressStep = step;
    m_progressPercent = percent;
    m_progressTime = m_clock();
    JsonLine line("progress");
    line.text("step", GetInstallStatusCodeName(static_cast<EInstallStatusCode>(step)))
        .real("percent", fraction * 100)
        .number("bytesDone", static_cast<int64_t>(bytesDone))
        .number("bytesTotal", static_cast<int64_t>(bytesTotal))
        .real("bytesPerSecond", m_meter.bytesPerSecond());
    uint64_t secondsLeft = 0;
    if (m_meter.secondsLeft(secondsLeft)) {
        line.number("secondsLeft", static_cast<int64_t>(secondsLeft));
    } else {
        line.null("secondsLeft");
    }
    emit(line);
}

bool JsonEventView::progressDue(int64_t step, int64_t percent) const {
    return !m_progressShown || step != m_progressStep || percent != m_progressPercent ||
           m_clock() - m_progressTime >= PROGRESS_INTERVAL;
}

void JsonEventView::showApiStatus(const ShellMessage& message) {
    const int64_t status = message.integer("apiStatusCode", 0);
    if (m_apiStatusShown && status == m_apiStatus) return;
    m_apiStatusShown = true;
    m_apiStatus = status;
    emit(JsonLine("backend").text("status", TerminalView::ApiStatusWord(status)).number("code", status));
}

void JsonEventView::problem(const char* event, const std::string& text) {
    m_errors << "vantis-client: " << text << std::endl;
    emit(JsonLine(event).text("message", text));
}

void JsonEventView::emit(const JsonLine& line) { m_events << line.str() << '\n' << std::flush; }

}  // namespace VantisClient
