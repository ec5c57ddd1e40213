#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "bridge/ShellMessage.h"
#include "cli/TerminalView.h"

using VantisClient::ShellMessage;
using VantisClient::TerminalView;
using VantisTest::FakeClock;

namespace {

const char* const TITLE = R"("Title": {"Label": "Sample Game", "Subtitle": "Deluxe Edition"})";

std::string layout(const std::string& members) {
    return R"({"Command": "UpdateLayout", "Arguments": {)" + members + "}}";
}

std::string stateLabel(const std::string& label, bool visible) {
    return R"("GameStateLabel": {"Label": ")" + label + R"(", "Visible": )" + (visible ? "true" : "false") + "}";
}

// A progress message as the game card bridge sends it, with its hidden state label.
std::string progressLayout(double percent, const std::string& rightLabel) {
    return layout(std::string(TITLE) + ", " + stateLabel("", false) +
                  R"(, "Progress": {"LeftLabelText": "Updating", "ProgressBarEnabled": true, "ProgressValue": )" +
                  std::to_string(percent) + R"(, "RightLabelText": ")" + rightLabel + R"("})");
}

ShellMessage pageUpdate(const std::string& text) {
    ShellMessage message(ShellMessage::WEB_VIEW_UPDATE);
    message.values["webViewUpdate"] = text;
    return message;
}

ShellMessage installResult(int result) {
    ShellMessage message(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
    message.values["result"] = result;
    message.values["productName"] = std::string("Sample Game");
    message.values["iconPath"] = std::string();
    return message;
}

ShellMessage apiStatus(int status) {
    ShellMessage message(ShellMessage::API_STATUS_CODE_CHANGED);
    message.values["apiStatusCode"] = status;
    message.values["gamecardEndpoint"] = std::string("127.0.0.1:18080/gameview/dist");
    return message;
}

std::string bar(int filled) { return "[" + std::string(filled, '#') + std::string(30 - filled, '-') + "]"; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

class TerminalViewTest : public ::testing::Test {
protected:
    // What `message` adds to the output.
    std::string shownBy(TerminalView& view, const ShellMessage& message) {
        const size_t before = output.str().size();
        view.show(message);
        return output.str().substr(before);
    }

    std::ostringstream output;
    std::ostringstream errors;
    FakeClock clock;
};

}  // namespace

TEST_F(TerminalViewTest, TitleAndStateLinesArePrintedWhenTheyChange) {
    TerminalView view(output, errors, {}, clock.function());
    const struct {
        std::string layoutText;
        std::string expected;
    } steps[] = {
        // The card's "Offline" means that nobody is signed in.
        {layout(std::string(TITLE) + ", " + stateLabel("Offline", true)), "Sample Game — Deluxe Edition\nSigned out\n"},
        {layout(std::string(TITLE) + ", " + stateLabel("Offline", true)), ""},
        {layout(std::string(TITLE) + ", " + stateLabel("Not installed", true)), "Not installed\n"},
        {layout(std::string(TITLE) + ", " + stateLabel("Up to date", true)), "Up to date\n"},
        // An update in progress carries no state label, and a progress message a hidden one.
        {layout(TITLE), ""},
        {layout(std::string(TITLE) + ", " + stateLabel("", false)), ""},
        {layout(std::string(TITLE) + ", " + stateLabel("Up to date", true)), "Up to date\n"},
        {layout(R"("Title": {"Label": "Other Game", "Subtitle": ""}, )" + stateLabel("Up to date", true)),
         "Other Game\n"},
    };
    for (const auto& step : steps)
        EXPECT_EQ(step.expected, shownBy(view, pageUpdate(step.layoutText))) << step.layoutText;
    EXPECT_EQ("", errors.str());
}

TEST_F(TerminalViewTest, ProgressOnATerminalIsOneLineRedrawnInPlace) {
    TerminalView view(output, errors, {true}, clock.function());
    EXPECT_EQ("Sample Game — Deluxe Edition\n" + std::string("\r") + bar(12) +
                  " Updating  40%  60.0 MiB / 150.0 MiB  -- MiB/s  --:-- left",
              shownBy(view, pageUpdate(progressLayout(40, "40% (150 MB)"))));
    clock.set(2);
    const std::string halfWay = bar(15) + " Updating  50%  75.0 MiB / 150.0 MiB  7.5 MiB/s  0:10 left";
    EXPECT_EQ("\r" + halfWay, shownBy(view, pageUpdate(progressLayout(50, "50% (150 MB)"))));
    clock.set(3);
    // A shorter drawing blanks out what the longer one left.
    const std::string finalizing = bar(30) + " Updating 100%  FINALIZING";
    EXPECT_EQ("\r" + finalizing + std::string(halfWay.size() - finalizing.size(), ' '),
              shownBy(view, pageUpdate(progressLayout(100, "FINALIZING"))));

    // Other lines start below the bar, on the output and on the error stream alike.
    EXPECT_EQ("\n", shownBy(view, installResult(0)));
    EXPECT_EQ("Sample Game: Installation Complete.\n", errors.str());
    EXPECT_EQ("Up to date\n",
              shownBy(view, pageUpdate(layout(std::string(TITLE) + ", " + stateLabel("Up to date", true)))));
}

TEST_F(TerminalViewTest, ProgressElsewhereIsAPlainLineAtEachTenthOrAfterAQuietWhile) {
    TerminalView view(output, errors, {}, clock.function());
    const struct {
        double atSeconds;
        double percent;
        const char* rightLabel;
    } steps[] = {
        {0, 0, "INITIALIZING"},  {0.5, 0, "INITIALIZING"}, {1, 10, "10% (150 MB)"},   {2, 12, "12% (150 MB)"},
        {3, 21, "21% (150 MB)"}, {9, 23, "23% (150 MB)"},  {9.5, 24, "24% (150 MB)"}, {10, 100, "FINALIZING"},
    };
    for (const auto& step : steps) {
        clock.set(step.atSeconds);
        view.show(pageUpdate(progressLayout(step.percent, step.rightLabel)));
    }
    const std::vector<std::string> shown = lines(output.str());
    ASSERT_EQ(6u, shown.size()) << output.str();
    EXPECT_EQ("Sample Game — Deluxe Edition", shown[0]);
    EXPECT_EQ("Updating   0%  INITIALIZING", shown[1]);
    EXPECT_EQ(0u, shown[2].find("Updating  10%  15.0 MiB / 150.0 MiB")) << shown[2];
    EXPECT_EQ(0u, shown[3].find("Updating  21%")) << shown[3];
    EXPECT_EQ(0u, shown[4].find("Updating  23%")) << shown[4];
    EXPECT_EQ("Updating 100%  FINALIZING", shown[5]);
    EXPECT_EQ(std::string::npos, output.str().find('\r'));
}

TEST_F(TerminalViewTest, InstallResultsGoToTheErrorStreamWithTheirTexts) {
    TerminalView view(output, errors, {}, clock.function());
    const struct {
        int result;
        const char* expected;
    } cases[] = {
        {0, "Sample Game: Installation Complete.\n"},
        {1, "Sample Game: Installation Aborted!\n"},
        {4, "Sample Game: Installation failed: out of disk space\n"},
        {8, "Sample Game: Game isn't supported by Vantis\n"},
        {42, "Sample Game: the install ended with result 42\n"},
    };
    for (const auto& each : cases) {
        errors.str("");
        view.show(installResult(each.result));
        EXPECT_EQ(each.expected, errors.str());
    }
    EXPECT_EQ("", output.str());
}

TEST_F(TerminalViewTest, UnreadablePageUpdatesAreWarningsAndTheViewCarriesOn) {
    TerminalView view(output, errors, {true}, clock.function());
    const char* const unreadable[] = {
        "{not json",
        "",
        "[1, 2]",
        R"({"Command": "UpdateLayout"})",
        R"({"Command": "UpdateLayout", "Arguments": [1]})",
        R"({"Command": "UpdateLayout", "Arguments": {"Progress": {"ProgressValue": "most"}}})",
    };
    for (const char* text : unreadable) {
        errors.str("");
        EXPECT_EQ("", shownBy(view, pageUpdate(text))) << text;
        EXPECT_EQ(0u, errors.str().find("warning: unreadable page update: ")) << text;
        EXPECT_EQ(1u, lines(errors.str()).size()) << text;
    }
    EXPECT_EQ("Sample Game — Deluxe Edition\n", shownBy(view, pageUpdate(layout(TITLE))));
}

TEST_F(TerminalViewTest, BackendStatusIsAWordShownWhenItChanges) {
    TerminalView view(output, errors, {}, clock.function());
    EXPECT_EQ("Backend online.\n", shownBy(view, apiStatus(1)));
    EXPECT_EQ("", shownBy(view, apiStatus(1)));
    EXPECT_EQ("Backend offline.\n", shownBy(view, apiStatus(2)));
    EXPECT_EQ("Backend unknown.\n", shownBy(view, apiStatus(0)));
}

TEST_F(TerminalViewTest, EachMessageHasItsLineAndQuietLeavesOnlyFailures) {
    ShellMessage card(ShellMessage::LOAD_GAME_CARD);
    card.values["gameCardType"] = std::string("Remote");
    card.values["gameCardPath"] = std::string("http://127.0.0.1:1/1207658924/index.html");
    ShellMessage signedIn(ShellMessage::SIGNED_IN);
    signedIn.values["userName"] = std::string("player");
    ShellMessage refused(ShellMessage::SIGN_IN_FAILED);
    refused.values["credentialsRejected"] = 1;
    ShellMessage unreachable(ShellMessage::SIGN_IN_FAILED);
    unreachable.values["credentialsRejected"] = 0;
    ShellMessage started(ShellMessage::GAME_STARTED);
    started.values["task"] = std::string("Play");
    started.values["pid"] = 4242;
    ShellMessage ended(ShellMessage::GAME_ENDED);
    ended.values["task"] = std::string("Play");
    ended.values["exitStatus"] = 143;
    ShellMessage endedUnknown(ShellMessage::GAME_ENDED);
    endedUnknown.values["task"] = std::string("Play");
    endedUnknown.values["exitStatus"] = -1;
    const struct {
        const char* name;
        ShellMessage message;
        const char* output;
        const char* debugOutput;
        const char* quietErrors;
    } cases[] = {
        {"the card's address is a developer's detail", card, "",
         "Game card (Remote): http://127.0.0.1:1/1207658924/index.html\n", ""},
        {"signed in", signedIn, "Signed in as player.\n", "Signed in as player.\n", ""},
        {"credentials refused", refused, "Sign-in refused by the backend.\n", "Sign-in refused by the backend.\n", ""},
        {"backend unreachable", unreachable, "Sign-in failed: the backend could not be reached.\n",
         "Sign-in failed: the backend could not be reached.\n", ""},
        {"game started", started, "Started Play (process 4242).\n", "Started Play (process 4242).\n", ""},
        {"game ended", ended, "Play ended with exit status 143.\n", "Play ended with exit status 143.\n", ""},
        {"game ended, status lost", endedUnknown, "Play ended.\n", "Play ended.\n", ""},
        {"install complete", installResult(0), "", "", ""},
        {"install failed", installResult(5), "", "", "Sample Game: Installation failed: connection problem\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const TerminalView::Style style : {TerminalView::Style{}, TerminalView::Style{false, false, true},
                                                TerminalView::Style{false, true, false}}) {
            output.str("");
            errors.str("");
            TerminalView view(output, errors, style, clock.function());
            view.show(c.message);
            EXPECT_EQ(style.quiet ? "" : style.debugLaunch ? c.debugOutput : c.output, output.str());
            if (style.quiet) {
                EXPECT_EQ(c.quietErrors, errors.str());
            }
        }
    }
    TerminalView quiet(output, errors, {false, true, false}, clock.function());
    errors.str("");
    quiet.notice("waiting for the backend");
    quiet.error("sign-in failed");
    EXPECT_EQ("vantis-client: sign-in failed\n", errors.str());
}
