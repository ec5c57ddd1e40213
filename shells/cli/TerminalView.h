// The headless shell's screen: shows each shell message as terminal text. The
// game card's layout messages become a title line and a state line, each
// printed when it changes, and a progress line while an install runs; install
// results and failures go to the error stream, everything else to the output.
// Quiet, only failures are shown. A page message that cannot be read is a
// warning line, never a stop. The streams are given, so that tests can read
// what was shown.
// Thread-safety: none; the shell calls it from its main thread only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/CardChanges.h"
#include "cli/IShellView.h"
#include "cli/ProgressLine.h"
#include "common/ProgressMeter.h"

namespace VantisClient {

class TerminalView : public IShellView {
public:
    struct Style {
        // The output is a terminal, where the progress line is redrawn in place.
        bool isTerminal = false;
        // Failures only: nothing on the output.
        bool quiet = false;
        // Developer details too: where the card comes from.
        bool debugLaunch = false;
    };

    TerminalView(std::ostream& output, std::ostream& errors, Style style,
                 ProgressMeter::Clock clock = std::chrono::steady_clock::now);

    void show(const ShellMessage& message) override;
    void error(const std::string& text) override;
    void notice(const std::string& text) override;
    void showReport(const GameReport& report) override;

    // The text for an install result: "Installation Complete." for 0; empty
    // for a value without one.
    static std::string InstallResultText(int64_t result);
    // The backend status as a word: "online" for 1.
    static std::string ApiStatusWord(int64_t status);

private:
    void showPageUpdate(const std::string& text);
    void showInstallResult(const ShellMessage& message);
    void showApiStatus(const ShellMessage& message);
    void showGameCard(const ShellMessage& message);
    void showSignInFailed(const ShellMessage& message);
    void showGameEnded(const ShellMessage& message);
    void warn(const std::string& problem);
    // Finishes a progress line being redrawn before `line` goes out.
    void printLine(std::ostream& stream, const std::string& line);

    // Where the output goes when the view is quiet.
    std::ostream m_discarded{nullptr};
    std::ostream& m_output;
    std::ostream& m_errors;
    const Style m_style;
    ProgressLine m_progress;
    CardChanges m_card;
    bool m_apiStatusShown = false;
    int64_t m_apiStatus = 0;
};

}  // namespace VantisClient
