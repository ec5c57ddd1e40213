// The built vantis-client installing the sample game through the faults that a
// store's network produces, as the backend's fault rules make them: each
// install completes in one run with the installed tree equal to the source,
// and a link that would leave HTTPS is refused as a server problem.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "CatalogueFixture.h"
#include "ClientProcess.h"
#include "GameBackendFixture.h"

extern char** environ;

namespace VantisClient {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

using VantisTest::ClientProcess;

// Generous for a sanitizer build on two shared cores; a run that hangs still fails.
const int RUN_TIMEOUT_MS = 120000;

struct Scenario {
    const char* name;
    std::vector<std::string> rules;  // fault rules of the api listener, without the listener
    int status;
};

class NetworkFaultTest : public VantisTest::GameBackendTest {
protected:
    void SetUp() override {
        GameBackendTest::SetUp();
        startBackend();
        std::filesystem::create_directories(sandbox.path("users"));
    }

    std::string installDirectory() const override { return home() + "/games/Sample Game"; }
    std::string home() const { return sandbox.path("users/" + m_user); }

    // Installs the game as a user who never ran the client: a root and an
    // install directory of its own, signed in with the password.
    int install(const std::string& user, std::string& errors) {
        m_user = user;
        const std::vector<std::string> arguments = {
            VANTIS_TEST_BIN_DIR "/vantis-client", "--runWithoutUpdating", "--skipServiceRunningCheck",
            std::string("--gameId=") + VantisTest::SampleGame::BASE_ID, "--path=" + installDirectory(),
            "--user=player", "--install"};
        ClientProcess client(arguments, environment(), home() + ".out", home() + ".err");
        EXPECT_TRUE(client.started()) << client.error();
        const int status = client.wait(RUN_TIMEOUT_MS);
        errors = VantisTest::ReadFileBytes(home() + ".err");
        return status;
    }

    std::string log() const { return VantisTest::ReadFileBytes(home() + "/Logs/VantisClient.log"); }

private:
    // The test's own environment (sanitizer options among it) without its VANTIS_ variables.
    std::vector<std::string> environment() const {
        std::vector<std::string> entries;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::strncmp(*entry, "VANTIS_", 7) != 0) entries.push_back(*entry);
        }
        entries.push_back("VANTIS_HOME=" + home());
        entries.push_back("VANTIS_BUNDLE=" + Poco::Path(VANTIS_TEST_BIN_DIR).makeDirectory().popDirectory().toString());
        entries.push_back("VANTIS_CONFIG_HOST=127.0.0.1:" + std::to_string(server->apiPort()));
        entries.push_back("VANTIS_ONLINE=1");
        entries.push_back("VANTIS_PASSWORD=secret");
        return entries;
    }

    std::string m_user;
};

// The line that refused a link, or "" when none did.
std::string RefusalIn(const std::string& log) {
    const size_t found = log.find("Refused the link for ");
    if (found == std::string::npos) return std::string();
    return log.substr(found, log.find('\n', found) - found);
}

TEST_F(NetworkFaultTest, EachInstallOutlastsTheFaultInOneRunOrRefusesAPlainLink) {
    const std::string content = R"("path": "^/content/")";
    const std::string parts = R"("path": "^/content/.*objects/")";
    const std::string links = R"("path": "^/(games|redists)/")";
    // The links to the game's and the redistributable's files, not to manifests.
    const std::string partLinks =
        std::string(R"("path": "/depots/|^/redists/packages/)") + VantisTest::SampleGame::REDIST_NAME + "/\"";
    const Scenario scenarios[] = {
        // The product manifest is the first of them.
        {"first3ContentRequestsDropped", {content + R"(, "action": "drop", "first": 3)"}, 0},
        {"every5thContentAnswerCutShort", {content + R"(, "action": "truncate", "bytes": 100, "every": 5)"}, 0},
        {"first20ContentRequests503", {content + R"(, "action": "status", "status": 503, "first": 20)"}, 0},
        {"first3PartRequests503", {parts + R"(, "action": "status", "status": 503, "first": 3)"}, 0},
        {"linkRequestsDroppedAndFailing",
         {links + R"(, "action": "drop", "first": 2)", links + R"(, "action": "status", "status": 500, "every": 3)",
          links + R"(, "action": "status", "status": 429, "every": 5)"},
         0},
        {"rangesIgnored", {content + R"(, "action": "ignore-range")"}, 0},
        {"trickling", {content + R"(, "action": "trickle", "bytes": 1048576, "every": 2)"}, 0},
        {"resetMidBody", {content + R"(, "action": "reset", "bytes": 1000, "every": 4)"}, 0},
        {"partLinkOverHttp", {partLinks + R"(, "action": "http-link")"}, ExitStatus::SERVER_PROBLEM},
        {"manifestLinkOverHttp", {R"("path": "/rootManifests$", "action": "http-link")"}, ExitStatus::SERVER_PROBLEM},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        resetServed();
        for (const std::string& rule : scenario.rules) {
            ASSERT_EQ(200, control("POST", "faults", R"({"listener": "api", )" + rule + "}").status) << rule;
        }
        std::string errors;
        const auto started = std::chrono::steady_clock::now();
        const int status = install(scenario.name, errors);
        RecordProperty(std::string(scenario.name) + "Ms",
                       std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - started)
                                          .count()));
        EXPECT_EQ(scenario.status, status) << errors << log();
        if (status != scenario.status) continue;
        if (scenario.status == 0) {
            expectInstalledAsTheSource("en", true);
            continue;
        }
        EXPECT_EQ(0u, objectBytesServed()) << "no part of the game was fetched";
        const std::string refusal = RefusalIn(log());
        EXPECT_NE(std::string::npos, refusal.find("to host '127.0.0.1' over 'http'")) << log();
        EXPECT_EQ(std::string::npos, refusal.find("signature")) << refusal;
    }
}

}  // namespace
}  // namespace VantisClient
