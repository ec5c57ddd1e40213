// What the built vantis-client tells, against the real backend: --json events
// that parse and follow the run, --quiet, the state words of a first install
// and of an installed game, and --info with and without the backend.
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "HeadlessClientFixture.h"
#include "catalogue/CatalogueLayout.h"

namespace VantisTest {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

// The game of these tests says something and ends with its own status.
const int GAME_EXIT_STATUS = 3;

bool shows(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every line of `text` as a JSON object; a line that does not parse fails the test.
std::vector<Poco::JSON::Object::Ptr> jsonLines(const std::string& text) {
    std::vector<Poco::JSON::Object::Ptr> objects;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        try {
            objects.push_back(Poco::JSON::Parser().parse(line).extract<Poco::JSON::Object::Ptr>());
        } catch (const Poco::Exception& error) {
            ADD_FAILURE() << "not a JSON object: " << line << " (" << error.displayText() << ")";
        }
    }
    return objects;
}

std::string eventOf(const Poco::JSON::Object::Ptr& line) { return line->optValue<std::string>("event", ""); }

// The index of the first event named `event` at or after `from`; the size when there is none.
size_t findEvent(const std::vector<Poco::JSON::Object::Ptr>& lines, const std::string& event, size_t from = 0) {
    for (size_t index = from; index < lines.size(); ++index) {
        if (eventOf(lines[index]) == event) return index;
    }
    return lines.size();
}

class HeadlessOutputTest : public HeadlessClientTest {
protected:
    // The bytes of the game id's depots in the language (or neutral), as the
    // product manifest lists them.
    uint64_t depotBytes(const std::string& gameId, const std::string& language) const {
        const Poco::JSON::Object::Ptr manifest = ParseJson(
            ReadFileBytes(catalogue() + "/" + VantisClient::Catalogue::CatalogueLayout::ProductManifestPath(SampleGame::BASE_ID)));
        const Poco::JSON::Array::Ptr depots = manifest->getObject("product")->getArray("depots");
        uint64_t bytes = 0;
        for (size_t index = 0; index < depots->size(); ++index) {
            const Poco::JSON::Object::Ptr depot = depots->getObject(static_cast<unsigned>(index));
            const Poco::JSON::Array::Ptr gameIds = depot->getArray("gameIDs");
            if (!gameIds) continue;  // a redistributable
            const std::string served = depot->getArray("languages")->getElement<std::string>(0);
            if (gameIds->getElement<std::string>(0) != gameId || (served != language && served != "Neutral")) continue;
            bytes += depot->getValue<uint64_t>("size");
        }
        return bytes;
    }

    void SetUp() override {
        HeadlessClientTest::SetUp();
        WriteFileBytes(input("bin/game"),
                                   "#!/bin/sh\necho 'the game talks'\nexit " + std::to_string(GAME_EXIT_STATUS) + "\n");
        ASSERT_EQ(0, chmod(input("bin/game").c_str(), 0755));
        repack(42);
    }
};

TEST_F(HeadlessOutputTest, JsonEventsTellTheInstallAndThePlayInOrderAndNothingElseIsOnTheOutput) {
    // The rate keeps the download long enough to be seen moving on a fast machine.
    const ClientRun run = this->run(SignIn("player", PASSWORD, {"--install", "--play", "--json", "--limit-rate=2M"}));
    ASSERT_EQ(0, run.status) << run;
    expectInstalledAsTheSource("en", true);
    // The game's own words go to the error stream: the output is the events'.
    EXPECT_TRUE(shows(run.errors, "the game talks")) << run;
    const std::vector<Poco::JSON::Object::Ptr> lines = jsonLines(run.output);

    const size_t signIn = findEvent(lines, "signIn");
    ASSERT_LT(signIn, lines.size()) << run.output;
    EXPECT_TRUE(lines[signIn]->getValue<bool>("succeeded"));
    EXPECT_EQ("player", lines[signIn]->getValue<std::string>("account"));
    size_t installing = findEvent(lines, "state", signIn);
    ASSERT_LT(installing, lines.size()) << run.output;
    EXPECT_EQ("Not installed", lines[installing]->getValue<std::string>("state"));
    installing = findEvent(lines, "state", installing + 1);
    ASSERT_LT(installing, lines.size()) << run.output;
    EXPECT_EQ("Installing", lines[installing]->getValue<std::string>("state"));

    const size_t result = findEvent(lines, "installResult", installing);
    ASSERT_LT(result, lines.size()) << run.output;
    EXPECT_EQ(0, lines[result]->getValue<int>("result"));
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    size_t downloads = 0;
    for (size_t index = installing; index < result; ++index) {
        if (eventOf(lines[index]) != "progress" || lines[index]->getValue<std::string>("step") != "Downloading") continue;
        ++downloads;
        EXPECT_LE(bytesDone, lines[index]->getValue<uint64_t>("bytesDone")) << "bytes went back at line " << index;
        bytesDone = lines[index]->getValue<uint64_t>("bytesDone");
        if (bytesTotal == 0) bytesTotal = lines[index]->getValue<uint64_t>("bytesTotal");
        EXPECT_EQ(bytesTotal, lines[index]->getValue<uint64_t>("bytesTotal"));
    }
    EXPECT_LT(1u, downloads) << run.output;
    // The total counts every file the install placed: the game's and its support files.
    EXPECT_EQ(BytesBelow(installDirectory()) + BytesBelow(sandbox.path("input/base/support")), bytesTotal);

    // The card says so before the result is told, as on the terminal.
    const size_t upToDate = findEvent(lines, "state", installing + 1);
    ASSERT_LT(upToDate, result) << run.output;
    EXPECT_EQ("Up to date", lines[upToDate]->getValue<std::string>("state"));
    const size_t started = findEvent(lines, "gameStarted", result);
    ASSERT_LT(started, lines.size()) << run.output;
    EXPECT_EQ("Play", lines[started]->getValue<std::string>("task"));
    EXPECT_LT(0, lines[started]->getValue<int>("pid"));
    const size_t ended = findEvent(lines, "gameEnded", started);
    ASSERT_LT(ended, lines.size()) << run.output;
    EXPECT_EQ(GAME_EXIT_STATUS, lines[ended]->getValue<int>("exitStatus"));
    EXPECT_EQ(lines.size(), findEvent(lines, "error")) << run.output;
}

TEST_F(HeadlessOutputTest, QuietPrintsNothingOnSuccessAndOnlyTheErrorOnFailure) {
    const struct {
        const char* name;
        Launch launch;
        int status;
        const char* error;
    } cases[] = {
        {"wrong password", SignIn("player", "not the password", {"--install", "--quiet"}), ExitStatus::SIGN_IN_FAILED,
         "sign-in failed"},
        {"install", SignIn("player", PASSWORD, {"--install", "--quiet"}), 0, ""},
        {"no such play task", OnStoredToken({"--play=Nothing", "--quiet"}), ExitStatus::PLAY_FAILED,
         "no play task named 'Nothing'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ClientRun run = this->run(c.launch);
        EXPECT_EQ(c.status, run.status) << run;
        EXPECT_EQ("", run.output) << run;
        if (c.status == 0) {
            EXPECT_EQ("", run.errors) << run;
        } else {
            EXPECT_TRUE(shows(run.errors, c.error)) << run;
        }
    }
}

TEST_F(HeadlessOutputTest, StateWordsTellWhatIsInstalled) {
    const struct {
        const char* name;
        Launch launch;
        int status;
        std::vector<std::string> shown;
        std::vector<std::string> notShown;
    } steps[] = {
        {"nothing installed yet",
         SignIn("player", PASSWORD, {"--play"}),
         ExitStatus::PLAY_FAILED,
         {"Backend online.\n", "Signed in as player.\n", "Not installed\n"},
         {"Up to date", "Game card ("}},
        {"the first install",
         OnStoredToken({"--install"}),
         0,
         {"Not installed\n", "\nInstalling ", "Up to date\n"},
         {"Updating"}},
        {"installed",
         OnStoredToken({"--install", "--debugLaunch"}),
         0,
         {"Up to date\n", "Game card (Remote): "},
         {"Installing", "Not installed"}},
    };
    // Where the user means to install the game: the engine knows it before an install.
    std::filesystem::create_directories(installDirectory());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const ClientRun run = this->run(step.launch);
        EXPECT_EQ(step.status, run.status) << run;
        for (const std::string& part : step.shown) EXPECT_TRUE(shows(run.output, part)) << part << "\n" << run;
        for (const std::string& part : step.notShown) EXPECT_FALSE(shows(run.output, part)) << part << "\n" << run;
    }
}

TEST_F(HeadlessOutputTest, InfoTellsWhatIsInstalledAndWhatIsOfferedAlsoWithoutTheBackend) {
    std::filesystem::create_directories(installDirectory());
    const ClientRun before = run(SignIn("player", PASSWORD, {"--info"}));
    ASSERT_EQ(0, before.status) << before;
    EXPECT_TRUE(shows(before.output, "Sample Game (game 1207658924)\n")) << before;
    EXPECT_TRUE(shows(before.output, "Install directory: " + installDirectory() + "\n")) << before;
    EXPECT_TRUE(shows(before.output, "Installed: nothing\n")) << before;
    EXPECT_TRUE(shows(before.output, "Offered languages: en, de\n")) << before;
    const std::string dlc = "  1207658925 Sample DLC: en " + std::to_string(depotBytes(SampleGame::DLC_ID, "en")) +
                            " bytes, de " + std::to_string(depotBytes(SampleGame::DLC_ID, "de")) + " bytes\n";
    EXPECT_TRUE(shows(before.output, dlc)) << dlc << before;
    EXPECT_EQ(0u, EntriesIn(installDirectory()));

    ASSERT_EQ(0, run(OnStoredToken({"--install", "--language=de"})).status);
    const ClientRun after = run(OnStoredToken({"--info"}));
    ASSERT_EQ(0, after.status) << after;
    EXPECT_TRUE(shows(after.output, "Installed: version 42, language de, ")) << after;
    EXPECT_TRUE(shows(after.output, "  1207658925 Sample DLC\n")) << after;
    EXPECT_TRUE(shows(after.output, "Play tasks: Play (primary), Manual\n")) << after;
    EXPECT_TRUE(shows(after.output, "Offered content:\n  1207658924 Sample Game: en ")) << after;

    server->stop();
    for (const char* form : {"text", "json"}) {
        SCOPED_TRACE(form);
        std::vector<std::string> options = {"--info"};
        if (std::string(form) == "json") options.push_back("--json");
        const ClientRun offline = run(OnStoredToken(options));
        ASSERT_EQ(0, offline.status) << offline;
        if (std::string(form) == "text") {
            EXPECT_TRUE(shows(offline.output, "Installed: version 42, language de, ")) << offline;
            EXPECT_TRUE(shows(offline.output, "Offered: not known: the backend cannot be reached\n")) << offline;
            continue;
        }
        const std::vector<Poco::JSON::Object::Ptr> lines = jsonLines(offline.output);
        ASSERT_EQ(1u, lines.size()) << offline;
        const Poco::JSON::Object::Ptr installed = lines[0]->getObject("installed");
        ASSERT_TRUE(installed) << offline;
        EXPECT_EQ(42, installed->getValue<int>("version"));
        EXPECT_EQ("de", installed->getValue<std::string>("language"));
        // The game's files and its support files, as the install placed them.
        EXPECT_EQ(BytesBelow(installDirectory()) + BytesBelow(sandbox.path("input/base/support")),
                  installed->getValue<uint64_t>("bytesOnDisk"));
        EXPECT_EQ(2u, installed->getArray("content")->size());
        EXPECT_TRUE(lines[0]->isNull("offer"));
        EXPECT_EQ("the backend cannot be reached", lines[0]->getValue<std::string>("offerProblem"));
    }
}

}  // namespace
}  // namespace VantisTest
