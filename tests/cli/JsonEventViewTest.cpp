#include <sstream>
#include <string>
#include <vector>

#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "bridge/ShellMessage.h"
#include "cli/JsonEventView.h"
#include "cli/JsonLine.h"

using VantisClient::JsonEventView;
using VantisClient::JsonLine;
using VantisClient::ShellMessage;
using VantisTest::FakeClock;

namespace {

const uint64_t TOTAL = 3000000;

ShellMessage layout(const std::string& title, const std::string& state) {
    return ShellMessage::WebViewUpdate(R"({"Command": "UpdateLayout", "Arguments": {"Title": {"Label": ")" + title +
                                       R"(", "Subtitle": ""}, "GameStateLabel": {"Label": ")" + state +
                                       R"(", "Visible": )" + (state.empty() ? "false" : "true") + "}}}");
}

ShellMessage progressLayout(const std::string& activity) {
    return ShellMessage::WebViewUpdate(
        R"({"Command": "UpdateLayout", "Arguments": {"GameStateLabel": {"Label": "", "Visible": false}, )"
        R"("Progress": {"LeftLabelText": ")" +
        activity + R"(", "ProgressBarEnabled": true, "ProgressValue": 0, "RightLabelText": "INITIALIZING"}}})");
}

ShellMessage progress(int status, double fraction) {
    ShellMessage message(ShellMessage::INSTALL_PROGRESS);
    message.values["status"] = status;
    message.values["progress"] = fraction;
    message.values["bytesTotal"] = TOTAL;
    return message;
}

std::vector<Poco::JSON::Object::Ptr> parsedLines(const std::string& text) {
    std::vector<Poco::JSON::Object::Ptr> objects;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        objects.push_back(Poco::JSON::Parser().parse(line).extract<Poco::JSON::Object::Ptr>());
    }
    return objects;
}

}  // namespace

TEST(JsonEventViewTest, EveryEventIsOneParsableLineInTheOrderOfTheMessages) {
    std::ostringstream events;
    std::ostringstream errors;
    FakeClock clock;
    JsonEventView view(events, errors, clock.function());

    ShellMessage status(ShellMessage::API_STATUS_CODE_CHANGED);
    status.values["apiStatusCode"] = 1;
    ShellMessage signedIn(ShellMessage::SIGNED_IN);
    signedIn.values["userName"] = std::string("pl\"ayer\n");
    ShellMessage result(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
    result.values["result"] = 0;
    // A name that is no valid UTF-8 (a stray byte, a cut-off sequence) still makes a line that parses.
    result.values["productName"] = std::string("Sample \xff Game \xc3");
    ShellMessage started(ShellMessage::GAME_STARTED);
    started.values["task"] = std::string("Play");
    started.values["pid"] = 4242;
    ShellMessage ended(ShellMessage::GAME_ENDED);
    ended.values["task"] = std::string("Play");
    ended.values["exitStatus"] = 3;

    view.show(status);
    view.show(status);
    view.show(signedIn);
    view.show(layout(R"(Sample \"Quoted\" Game)", "Offline"));
    view.show(layout(R"(Sample \"Quoted\" Game)", "Offline"));
    view.show(progressLayout("Installing"));
    view.show(progressLayout("Installing"));
    view.show(progress(3, 0));
    // Reports within the same percent and second are one event.
    for (double fraction : {0.0, 0.001, 0.25, 0.2501, 0.5}) {
        clock.set(fraction * 10);
        view.show(progress(6, fraction));
    }
    view.show(progress(7, 1));
    view.show(result);
    view.show(layout(R"(Sample \"Quoted\" Game)", "Up to date"));
    view.show(started);
    view.show(ended);
    view.error("the game could not be started");

    const std::vector<Poco::JSON::Object::Ptr> lines = parsedLines(events.str());
    std::vector<std::string> kinds;
    for (const Poco::JSON::Object::Ptr& line : lines) kinds.push_back(line->getValue<std::string>("event"));
    EXPECT_EQ((std::vector<std::string>{"backend", "signIn", "title", "state", "state", "progress", "progress",
                                        "progress", "progress", "progress", "installResult", "state", "gameStarted",
                                        "gameEnded", "error"}),
              kinds)
        << events.str();
    ASSERT_EQ(15u, lines.size());
    EXPECT_EQ("online", lines[0]->getValue<std::string>("status"));
    EXPECT_EQ("pl\"ayer\n", lines[1]->getValue<std::string>("account"));
    EXPECT_TRUE(lines[1]->getValue<bool>("succeeded"));
    EXPECT_EQ("Sample \"Quoted\" Game", lines[2]->getValue<std::string>("title"));
    EXPECT_EQ("Signed out", lines[3]->getValue<std::string>("state"));
    EXPECT_EQ("Installing", lines[4]->getValue<std::string>("state"));

    const struct {
        const char* step;
        uint64_t bytesDone;
        bool timeLeftKnown;
    } expectedProgress[] = {
        {"ScanningInstalledFiles", 0, false},
        {"Downloading", 0, false},
        {"Downloading", TOTAL / 4, true},
        {"Downloading", TOTAL / 2, true},
        {"UpdatingFiles", TOTAL, false},
    };
    for (size_t index = 0; index < 5; ++index) {
        const Poco::JSON::Object::Ptr& line = lines[5 + index];
        SCOPED_TRACE(line->getValue<std::string>("step"));
        EXPECT_EQ(expectedProgress[index].step, line->getValue<std::string>("step"));
        EXPECT_EQ(expectedProgress[index].bytesDone, line->getValue<uint64_t>("bytesDone"));
        EXPECT_EQ(TOTAL, line->getValue<uint64_t>("bytesTotal"));
        EXPECT_EQ(expectedProgress[index].timeLeftKnown, !line->isNull("secondsLeft"));
    }
    // Half of 3 MB in 5 s.
    EXPECT_DOUBLE_EQ(300000.0, lines[8]->getValue<double>("bytesPerSecond"));
    EXPECT_EQ(5, lines[8]->getValue<int>("secondsLeft"));

    EXPECT_EQ(0, lines[10]->getValue<int>("result"));
    EXPECT_EQ("Installation Complete.", lines[10]->getValue<std::string>("text"));
    EXPECT_EQ("Sample \xEF\xBF\xBD Game \xEF\xBF\xBD", lines[10]->getValue<std::string>("product"));
    EXPECT_EQ(4242, lines[12]->getValue<int>("pid"));
    EXPECT_EQ("Play", lines[13]->getValue<std::string>("task"));
    EXPECT_EQ(3, lines[13]->getValue<int>("exitStatus"));
    EXPECT_EQ("the game could not be started", lines[14]->getValue<std::string>("message"));
    EXPECT_EQ("vantis-client: the game could not be started\n", errors.str());
}

TEST(JsonEventViewTest, InvalidUtf8BytesBecomeReplacementCharacters) {
    const char* const REPLACED = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::string valid;
    } cases[] = {
        {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xAE", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xAE"},
        {"a\xFF" "b", std::string("a") + REPLACED + "b"},
        {"cut \xE2\x80", std::string("cut ") + REPLACED + REPLACED},
        {"overlong \xC0\xAF", std::string("overlong ") + REPLACED + REPLACED},
        {"surrogate \xED\xA0\x80", std::string("surrogate ") + REPLACED + REPLACED + REPLACED},
        {std::string("nul\0in", 6), std::string("nul\0in", 6)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, JsonLine::ValidUtf8(c.text)) << c.text;
        const std::string line = JsonLine("x").text("text", c.text).str();
        EXPECT_EQ(c.valid, Poco::JSON::Parser().parse(line).extract<Poco::JSON::Object::Ptr>()->getValue<std::string>(
                               "text"))
            << line;
    }
}
