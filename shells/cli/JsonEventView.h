// The headless shell's output for programs (--json): one JSON object per line
// on the output for each event, in the order the terminal would show them,
// and no human text there. Events: "title", "state" (the card's state line
// and what its progress is doing, in the terminal's words), "progress" (step, percent, bytes done and total, speed, time left),
// "installResult", "backend", "signInRequired", "signIn", "gameStarted",
// "gameEnded", "warning", "notice", "error". Failures and warnings are also
// written as text to the error stream. --info's report is one object of its
// own, without an "event" member.
// Thread-safety: none; the shell calls it from its main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "cli/CardChanges.h"
#include "cli/IShellView.h"
#include "cli/JsonLine.h"
#include "common/ProgressMeter.h"

namespace VantisClient {

class JsonEventView : public IShellView {
public:
    // Progress events come at each further percent, at each step, or after
    // this long without one, so that a long install does not flood the reader.
    static const std::chrono::seconds PROGRESS_INTERVAL;

    JsonEventView(std::ostream& events, std::ostream& errors,
                  ProgressMeter::Clock clock = std::chrono::steady_clock::now);

    void show(const ShellMessage& message) override;
    void error(const std::string& text) override;
    void notice(const std::string& text) override;
    void showReport(const GameReport& report) override;

private:
    void showPageUpdate(const std::string& text);
    void showProgress(const ShellMessage& message);
    bool progressDue(int64_t step, int64_t percent) const;
    void showApiStatus(const ShellMessage& message);
    // The text on the error stream and the event on the output.
    void problem(const char* event, const std::string& text);
    void emit(const JsonLine& line);

    std::ostream& m_events;
    std::ostream& m_errors;
    ProgressMeter::Clock m_clock;
    ProgressMeter m_meter;
    CardChanges m_card;
    bool m_progressShown = false;
    int64_t m_progressStep = 0;
    int64_t m_progressPercent = 0;
    std::chrono::steady_clock::time_point m_progressTime;
    bool m_apiStatusShown = false;
    int64_t m_apiStatus = 0;
};

}  // namespace VantisClient
