// The headless shell's screen: shows each shell message as terminal text. The
// game card's layout messages become a title line and a state line, each
// printed when it changes, and a progress line while an install runs; install
// results go to the error stream, the backend status and the page requests to
// the output. A page message that cannot be read is a warning line, never a
// stop. The streams are given, so that tests can read what was shown.
// Thread-safety: none; the shell calls it from its main thread only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <Poco/JSON/Object.h>

#include "bridge/ShellMessage.h"
#include "cli/ProgressLine.h"
#include "cli/ProgressMeter.h"

namespace VantisClient {

class TerminalView {
public:
    // `isTerminal`: the output is a terminal, where the progress line is
    // redrawn in place.
    TerminalView(std::ostream& output, std::ostream& errors, bool isTerminal,
                 ProgressMeter::Clock clock = std::chrono::steady_clock::now);

    void show(const ShellMessage& message);
    // A line of the shell's own, such as what it did for the user.
    void showLine(const std::string& line) { printLine(m_output, line); }

    // The text for an install result: "Installation Complete." for 0; empty
    // for a value without one.
    static std::string InstallResultText(int64_t result);
    // The backend status as a word: "online" for 1.
    static std::string ApiStatusWord(int64_t status);

private:
    void showPageUpdate(const std::string& text);
    void showLayout(const Poco::JSON::Object& arguments);
    void showTitle(const Poco::JSON::Object::Ptr& title);
    void showState(const Poco::JSON::Object::Ptr& stateLabel);
    void showInstallResult(const ShellMessage& message);
    void showApiStatus(const ShellMessage& message);
    void showGameCard(const ShellMessage& message);
    void warn(const std::string& problem);
    // Finishes a progress line being redrawn before `line` goes out.
    void printLine(std::ostream& stream, const std::string& line);

    std::ostream& m_output;
    std::ostream& m_errors;
    ProgressLine m_progress;
    std::string m_title;
    std::string m_state;
    bool m_apiStatusShown = false;
    int64_t m_apiStatus = 0;
};

}  // namespace VantisClient
