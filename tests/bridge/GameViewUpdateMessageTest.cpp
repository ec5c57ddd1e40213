#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "BridgeFixtures.h"
#include "bridge/GameViewUpdateMessage.h"

namespace VantisClient {
namespace {

using VantisTest::ADDON_GAME_ID;
using VantisTest::BASE_GAME_ID;
using Members = std::vector<std::pair<std::string, std::string>>;

// The builder's layout written out by hand: members in the order given, each
// on its own line, arrays as "[ a, b ]".
std::string object(const Members& members) {
    std::string text = "{";
    for (size_t i = 0; i < members.size(); ++i) {
        text += "\"" + members[i].first + "\":" + members[i].second + (i + 1 < members.size() ? ",\n" : "\n");
    }
    return text + "}";
}

std::string array(const std::vector<std::string>& items) {
    std::string text = "[ ";
    for (size_t i = 0; i < items.size(); ++i) text += (i > 0 ? ", " : "") + items[i];
    return text + " ]";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }
std::string boolean(bool value) { return value ? "true" : "false"; }
std::string option(const std::string& name, int value) {
    return object({{"name", quoted(name)}, {"value", std::to_string(value)}});
}
std::string gameIdEntry(const std::string& gameId, const std::string& name) {
    return object({{"id", quoted(gameId)}, {"name", quoted(name)}});
}
std::string stateLabel(const std::string& label, bool visible) {
    return object({{"Label", quoted(label)}, {"Visible", boolean(visible)}});
}
std::string mainButton(bool enabled, const std::string& reason = "", const std::string& label = "Play") {
    return object({{"Action", quoted(label == "Install" ? "Install" : "Play")},
                   {"Enabled", boolean(enabled)},
                   {"Label", quoted(label)},
                   {"Reason", quoted(reason)}});
}
std::string languageOption(const std::string& code, const std::string& label, int value) {
    return object({{"label", quoted(label)}, {"name", quoted(code)}, {"value", std::to_string(value)}});
}
std::string installControls(bool running, bool paused = false) {
    return object({{"Cancel", boolean(running || paused)}, {"Pause", boolean(running)}, {"Resume", boolean(paused)}});
}
std::string languages(bool enabled, bool visible = true, const std::vector<std::string>& options = {},
                      int selected = 0) {
    return object({{"Enabled", boolean(enabled)},
                   {"Options", array(options.empty() ? std::vector<std::string>{languageOption("en", "English", 0),
                                                                                  languageOption("de", "German", 1)}
                                                     : options)},
                   {"Selected", std::to_string(selected)},
                   {"Visible", boolean(visible)}});
}
std::string dlcs(bool enabled, bool visible = true,
                 const std::vector<std::string>& selected = {gameIdEntry(BASE_GAME_ID, "Zorv")}) {
    return object({{"Addons", array({gameIdEntry(ADDON_GAME_ID, "Zorv Soundtrack")})},
                   {"Enabled", boolean(enabled)},
                   {"Selected", array(selected)},
                   {"Standalones", array({gameIdEntry(BASE_GAME_ID, "Zorv")})},
                   {"Visible", boolean(visible)}});
}
std::string progress(bool barEnabled, const std::string& value, const std::string& rightLabel,
                     const std::string& leftLabel = "Updating") {
    return object({{"LeftLabelText", quoted(leftLabel)},
                   {"ProgressBarEnabled", boolean(barEnabled)},
                   {"ProgressValue", value},
                   {"RightLabelText", quoted(rightLabel)}});
}

// The card of the sample product, signed in and idle; `changes` replace
// sections, and an empty text removes one.
std::string expectedLayout(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> sections = {
        {"DLCs", dlcs(true)},
        {"GameStateLabel", stateLabel("Up to date", true)},
        {"InstallControls", installControls(false)},
        {"Languages", languages(true)},
        {"MainButton", mainButton(true)},
        {"MoreOptions", object({{"Options", array({option("Manual", 1), option("Forum", 2)})}})},
        {"Title", object({{"Label", quoted("Zorv")}, {"Subtitle", quoted("Chapter One")}})},
    };
    for (const auto& change : changes) {
        if (change.second.empty()) {
            sections.erase(change.first);
        } else {
            sections[change.first] = change.second;
        }
    }
    return object({{"Arguments", object(Members(sections.begin(), sections.end()))},
                   {"Command", quoted("UpdateLayout")}});
}

class GameViewUpdateMessageTest : public VantisTest::LoggingTest {};

TEST_F(GameViewUpdateMessageTest, LayoutFollowsProductAndViewState) {
    using Arrange = std::function<void(ProductPresentationData&, GameViewState&, GameViewUpdateMessage*)>;
    const uint64_t mebibyte = 1048576;
    const struct {
        const char* name;
        Arrange arrangeBefore;
        Arrange arrangeMessage;
        std::map<std::string, std::string> changes;
    } cases[] = {
        {"signed in and idle", nullptr, nullptr, {}},
        {"signed out",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) {
             state.onUserStateChanged(false);
         },
         nullptr,
         {{"GameStateLabel", stateLabel("Offline", true)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"update requested, no progress yet",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.updateInProgress(); },
         nullptr,
         {{"GameStateLabel", ""},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"downloading half of 150 MiB",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.updateInProgress(); },
         [mebibyte](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateInstallProgress(EInstallStatusCode::Downloading, 0.5f, 150 * mebibyte);
         },
         {{"Progress", progress(true, "50", "50% (150 MB)")},
          {"GameStateLabel", stateLabel("", false)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"not started",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.updateInProgress(); },
         [](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateInstallProgress(EInstallStatusCode::NotStarted, 0.3f, 7);
         },
         {{"Progress", progress(true, "0", "INITIALIZING")},
          {"GameStateLabel", stateLabel("", false)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"the nameless step 8",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.updateInProgress(); },
         [](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateInstallProgress(static_cast<EInstallStatusCode>(8), 0.3f, 7);
         },
         {{"Progress", progress(true, "100", "FINALIZING")},
          {"GameStateLabel", stateLabel("", false)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"complete",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.updateInProgress(); },
         [](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateInstallProgress(EInstallStatusCode::Complete, 1.0f, 7);
         },
         {{"Progress", progress(false, "100", "")},
          {"GameStateLabel", stateLabel("", false)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)}}},
        {"nothing installed yet",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) { product.revisions.clear(); },
         nullptr,
         {{"GameStateLabel", stateLabel("Not installed", true)},
          {"DLCs", dlcs(true, true, {})},
          {"MainButton", mainButton(true, "", "Install")}}},
        {"never installed, signed out",
         [](ProductPresentationData& product, GameViewState& state, GameViewUpdateMessage*) {
             product.state = EProductState::None;
             state.onUserStateChanged(false);
         },
         nullptr,
         {{"GameStateLabel", stateLabel("Offline", true)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false)},
          {"MainButton", mainButton(false, "sign in to install", "Install")}}},
        {"an install paused",
         [](ProductPresentationData& product, GameViewState& state, GameViewUpdateMessage*) {
             product.revisions.clear();
             state.updateInProgress();
             state.updateComplete(EInstallResult::Aborted);
             state.installPaused();
         },
         nullptr,
         {{"GameStateLabel", stateLabel("Paused", true)},
          {"DLCs", dlcs(true, true, {})},
          {"MainButton", mainButton(false, "the install is paused", "Install")},
          {"InstallControls", installControls(false, true)}}},
        {"the first install downloading",
         [](ProductPresentationData& product, GameViewState& state, GameViewUpdateMessage*) {
             product.revisions.clear();
             state.updateInProgress();
         },
         [mebibyte](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateInstallProgress(EInstallStatusCode::Downloading, 0.5f, 150 * mebibyte);
         },
         {{"Progress", progress(true, "50", "50% (150 MB)", "Installing")},
          {"GameStateLabel", stateLabel("", false)},
          {"Languages", languages(false)},
          {"DLCs", dlcs(false, true, {})},
          {"MainButton", mainButton(false, "an install is in progress", "Install")},
          {"InstallControls", installControls(true)}}},
        {"a label added before the state's own",
         nullptr,
         [](ProductPresentationData&, GameViewState&, GameViewUpdateMessage* message) {
             message->updateGameStateLabel("Server problem", true);
             message->updateGameStateLabel("Up to date", true);
         },
         {{"GameStateLabel", stateLabel("Server problem", true)}}},
        {"game running",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.gameStarted(); },
         nullptr,
         {{"MainButton", mainButton(false, "the game is running")}}},
        {"unplayable",
         [](ProductPresentationData&, GameViewState& state, GameViewUpdateMessage*) { state.gameUnplayable(); },
         nullptr,
         {{"MainButton", mainButton(false, "the game is unplayable")}}},
        {"one language",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) {
             product.availableLanguages.resize(1);
         },
         nullptr,
         {{"Languages", languages(true, false, {languageOption("en", "English", 0)})}}},
        {"installed in the second language",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) { product.language = "de"; },
         nullptr,
         {{"Languages", languages(true, true, {}, 1)}}},
        {"installed in a language no longer offered",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) { product.language = "fr"; },
         nullptr,
         {}},
        {"add-on installed",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) {
             product.revisions.push_back(ADDON_GAME_ID);
         },
         nullptr,
         {{"DLCs",
           dlcs(true, true, {gameIdEntry(BASE_GAME_ID, "Zorv"), gameIdEntry(ADDON_GAME_ID, "Zorv Soundtrack")})}}},
        {"the game whose selectors are hidden",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) {
             product.gameId = SELECTORS_HIDDEN_GAME_ID;
         },
         nullptr,
         {{"Languages", languages(true, false)}, {"DLCs", dlcs(true, false)}}},
        {"no primary play task",
         [](ProductPresentationData& product, GameViewState&, GameViewUpdateMessage*) {
             product.contents.playTasks.erase(product.contents.playTasks.begin());
         },
         nullptr,
         {{"MainButton", mainButton(false, "the game has no primary play task", "Launch")},
          {"MoreOptions", object({{"Options", array({option("Manual", 0), option("Forum", 1)})}})}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProductPresentationData::Ptr product = VantisTest::SampleProduct();
        GameViewState state(true);
        if (c.arrangeBefore) c.arrangeBefore(*product, state, nullptr);
        GameViewUpdateMessage message(*product, state);
        if (c.arrangeMessage) c.arrangeMessage(*product, state, &message);
        std::map<std::string, std::string> changes = c.changes;
        // While an update runs, Play is off with its reason, and Pause and Cancel show.
        if (state.isUpdateInProgress()) {
            changes.emplace("MainButton", mainButton(false, "an update is in progress"));
            changes.emplace("InstallControls", installControls(true));
        }
        EXPECT_EQ(expectedLayout(changes), message.extractJSMessage());
    }
}

TEST_F(GameViewUpdateMessageTest, MissingPrimaryPlayTaskIsLoggedEachTime) {
    ProductPresentationData::Ptr product = VantisTest::SampleProduct();
    product->contents.playTasks.clear();
    GameViewState state(true);
    GameViewUpdateMessage first(*product, state);
    GameViewUpdateMessage second(*product, state);
    const std::string log = recentLog();
    const size_t firstLine = log.find("No primary play task found");
    ASSERT_NE(std::string::npos, firstLine);
    EXPECT_NE(std::string::npos, log.find("No primary play task found", firstLine + 1));
}

TEST_F(GameViewUpdateMessageTest, StateLineShowsTheLastInstallResult) {
    const struct {
        int32_t result;
        const char* label;
    } cases[] = {
        {0, "Up to date"},
        {1, "Installation Aborted"},
        {2, "Installation postponed: game in session"},
        {3, "Installation failed: disk access problem"},
        {4, "Installation failed: out of disk space"},
        {5, "Installation failed: connection problem"},
        {6, "Not authorized"},
        {7, "Server problem"},
        {8, "Game not known to Vantis"},
        {9, ""},
    };
    ProductPresentationData::Ptr product = VantisTest::SampleProduct();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        GameViewState state(true);
        state.updateInProgress();
        state.gameUnplayable();
        state.updateComplete(static_cast<EInstallResult>(c.result));
        GameViewUpdateMessage message(*product, state);
        EXPECT_EQ(expectedLayout({{"GameStateLabel", stateLabel(c.label, true)}}), message.extractJSMessage());
    }
}

TEST_F(GameViewUpdateMessageTest, DetailsAndTransferFiguresJoinTheLayout) {
    const uint64_t mebibyte = 1048576;
    ProductPresentationData::Ptr product = VantisTest::SampleProduct();
    GameViewState state(true);
    state.updateInProgress();
    GameViewUpdateMessage message(*product, state);
    // Figures without a progress bar have nowhere to go.
    message.addTransferFigures(1, 2, 3);
    message.updateInstallProgress(EInstallStatusCode::Downloading, 0.25f, 100 * mebibyte);
    message.addTransferFigures(25 * mebibyte, 100 * mebibyte, 2 * mebibyte);
    GameCardDetails details;
    details.accountName = "player \"one\"";
    details.sizeOnDisk = 42;
    details.offeredSizes[ADDON_GAME_ID]["de"] = 7;
    details.offeredSizes[BASE_GAME_ID]["en"] = 9;
    message.addCardDetails(details);
    const std::string text = message.extractJSMessage();

    const std::string progressText = object({{"BytesDone", std::to_string(25 * mebibyte)},
                                             {"BytesPerSecond", std::to_string(2 * mebibyte)},
                                             {"BytesTotal", std::to_string(100 * mebibyte)},
                                             {"LeftLabelText", quoted("Updating")},
                                             {"ProgressBarEnabled", "true"},
                                             {"ProgressValue", "25"},
                                             {"RightLabelText", quoted("25% (100 MB)")},
                                             {"SecondsLeft", "38"}});
    const std::string detailsText =
        object({{"Account", quoted("player \\\"one\\\"")},
                {"Description", quoted("Chapter One")},
                {"InstallFolder", quoted("/games/zorv")},
                {"Installed", "true"},
                {"SignedIn", "true"},
                {"SizeOnDisk", "42"},
                {"Sizes", object({{BASE_GAME_ID, object({{"en", "9"}})}, {ADDON_GAME_ID, object({{"de", "7"}})}})}});
    EXPECT_NE(std::string::npos, text.find("\"Progress\":" + progressText)) << text;
    EXPECT_NE(std::string::npos, text.find("\"Details\":" + detailsText)) << text;
}

TEST_F(GameViewUpdateMessageTest, SelectorsHiddenGameIdIsNotACatalogueGame) {
    const std::string hidden = SELECTORS_HIDDEN_GAME_ID;
    EXPECT_EQ(10u, hidden.size());
    EXPECT_EQ(std::string::npos, hidden.find_first_not_of("0123456789"));
    EXPECT_NE(BASE_GAME_ID, hidden);
    EXPECT_NE(ADDON_GAME_ID, hidden);
}

}  // namespace
}  // namespace VantisClient
