// The help and the manual page against the parser and the exit statuses in
// the code: every option the parser accepts is documented in both, both name
// the same options and statuses, and the page renders without warnings.
#include <cctype>
#include <csignal>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "cli/CliHelp.h"
#include "cli/CliRequest.h"
#include "common/CmdlineOptions.h"
#include "common/EReturnCode.h"
#include "install/EInstallResult.h"

namespace VantisClient {
namespace {

using Words = std::set<std::string>;

// What a command prints; its standard error too when the command says "2>&1".
std::string outputOf(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    if (!pipe) return output;
    char buffer[4096];
    for (size_t got = 0; (got = std::fread(buffer, 1, sizeof(buffer), pipe.get())) > 0;) output.append(buffer, got);
    return output;
}

// The page as a reader sees it, on lines long enough that no option is broken.
std::string renderedPage() {
    return outputOf("groff -man -Tascii -P-cbou -rLL=300n '" VANTIS_TEST_MAN_PAGE "'");
}

bool isNameCharacter(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '-'; }

// Every "--name" in the text.
Words optionsIn(const std::string& text) {
    Words options;
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        size_t end = at + 2;
        if (end >= text.size() || !std::isalpha(static_cast<unsigned char>(text[end]))) continue;
        while (end < text.size() && isNameCharacter(text[end])) ++end;
        options.insert(text.substr(at, end - at));
    }
    return options;
}

// The numbers that open the lines of the section under `heading`, which ends
// at the next line that does not start with a blank.
Words statusesIn(const std::string& text, const std::string& heading) {
    Words statuses;
    std::istringstream lines(text.substr(text.find(heading) + heading.size()));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && (line.empty() || line[0] == ' ')) {
        const size_t first = line.find_first_not_of(' ');
        const size_t last = line.find_first_not_of("0123456789", first);
        if (first != std::string::npos && last != first && last != std::string::npos && line[last] == ' ') {
            statuses.insert(line.substr(first, last - first));
        }
    }
    return statuses;
}

Words parsedOptions() {
    Words options;
    for (const std::string& name : CmdlineOptions::TableOptionNames()) options.insert("--" + name);
    for (const CmdlineOptions::ExtraOption& option : CliRequest::Options()) options.insert("--" + option.name);
    return options;
}

Words codedStatuses() {
    Words statuses;
    for (int code : {CliRequest::EXIT_SUCCESS_CODE, CliRequest::EXIT_STOPPED, CliRequest::EXIT_SIGN_IN_FAILED,
                     CliRequest::EXIT_PLAY_FAILED, CliRequest::EXIT_BACKEND_UNUSABLE, CliRequest::EXIT_NOT_INSTALLED,
                     CliRequest::EXIT_FILES_DAMAGED, CliRequest::EXIT_GAME_BUSY, CliRequest::EXIT_USAGE,
                     CliRequest::EXIT_SIGNAL_BASE + SIGINT, CliRequest::EXIT_SIGNAL_BASE + SIGTERM}) {
        statuses.insert(std::to_string(code));
    }
    for (int result = static_cast<int>(EInstallResult::Aborted); result <= static_cast<int>(EInstallResult::UnknownGame);
         ++result) {
        statuses.insert(std::to_string(CliRequest::EXIT_INSTALL_FAILED_BASE + result));
    }
    // The start-up's codes the shell ends with, as the system reports them; it
    // hands over to the updater in place, so never with RC_LAUNCHING_UPDATER.
    for (int code : {RC_UPDATER_RUNNING, RC_ANOTHER_INSTANCE_RUNNING, RC_GAME_ID_NOT_RECOGNIZED}) {
        statuses.insert(std::to_string(code & 0xFF));
    }
    return statuses;
}

const char* const LOG_FILE = "/home/someone/.local/share/Vantis/Logs/VantisClient.log";

}  // namespace

TEST(CliHelp, EveryOptionTheParserAcceptsIsInTheHelpAndTheManualPage) {
    const Words help = optionsIn(CliHelp::Text(LOG_FILE, "/home/someone/.local/share/Vantis"));
    const Words page = optionsIn(renderedPage());
    for (const std::string& option : parsedOptions()) {
        EXPECT_EQ(1u, help.count(option)) << option << " is missing in --help";
        EXPECT_EQ(1u, page.count(option)) << option << " is missing in the manual page";
    }
    EXPECT_EQ(help, page);
}

TEST(CliHelp, TheHelpAndTheManualPageNameEveryStatusTheClientEndsWith) {
    const std::string help = CliHelp::Text(LOG_FILE, "/home/someone/.local/share/Vantis");
    const Words documented = statusesIn(help, "Exit status:");
    EXPECT_EQ(codedStatuses(), documented);
    EXPECT_EQ(documented, statusesIn(renderedPage(), "EXIT STATUS"));
    EXPECT_NE(std::string::npos, help.find(LOG_FILE));
}

TEST(CliHelp, TheManualPageRendersWithoutWarnings) {
    EXPECT_EQ("", outputOf("groff -ww -z -man '" VANTIS_TEST_MAN_PAGE "' 2>&1"));
    EXPECT_NE(std::string::npos, renderedPage().find("vantis-client - install, update and play"));
}

}  // namespace VantisClient
