// The built vantis-client against a backend having a bad minute: a token
// request answered 503 once still signs in and installs in one run, and an
// install whose backend stays unusable ends with its own status instead of
// waiting for ever.
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "CatalogueFixture.h"
#include "ClientProcess.h"
#include "GameBackendFixture.h"

extern char** environ;

namespace {

namespace ExitStatus = VantisTest::ExitStatus;

using VantisTest::ClientProcess;

// Generous for a sanitizer build on two shared cores; a run that hangs still fails.
const int RUN_TIMEOUT_MS = 120000;

struct Outcome {
    int status = ClientProcess::TIMED_OUT;
    std::string errors;
};

class SignInFaultTest : public VantisTest::GameBackendTest {
protected:
    void SetUp() override {
        GameBackendTest::SetUp();
        startBackend();
        std::filesystem::create_directories(sandbox.path("runs"));
    }

    std::string installDirectory() const override { return sandbox.path("games/Sample Game"); }

    void addFault(const std::string& rule) { ASSERT_EQ(200, control("POST", "faults", rule).status); }

    // One run of the client as "player" with `options`, in a home of its own.
    Outcome runClient(const std::vector<std::string>& options) {
        std::vector<std::string> arguments = {VANTIS_TEST_BIN_DIR "/vantis-client", "--runWithoutUpdating",
                                              "--skipServiceRunningCheck",
                                              "--gameId=" + std::string(VantisTest::SampleGame::BASE_ID),
                                              "--path=" + installDirectory(), "--user=player"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<std::string> variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::strncmp(*entry, "VANTIS_", 7) != 0) variables.push_back(*entry);
        }
        const std::string bin = Poco::Path(VANTIS_TEST_BIN_DIR).makeDirectory().popDirectory().toString();
        variables.insert(variables.end(), {"VANTIS_HOME=" + sandbox.root(), "VANTIS_BUNDLE=" + bin,
                                           "VANTIS_CONFIG_HOST=127.0.0.1:" + std::to_string(server->apiPort()),
                                           "VANTIS_ONLINE=1", "VANTIS_PASSWORD=secret"});
        const std::string errorPath = sandbox.path("runs/errors");
        ClientProcess client(arguments, variables, sandbox.path("runs/output"), errorPath);
        EXPECT_TRUE(client.started()) << client.error();
        Outcome outcome;
        outcome.status = client.wait(RUN_TIMEOUT_MS);
        outcome.errors = VantisTest::ReadFileBytes(errorPath);
        return outcome;
    }
};

}  // namespace

TEST_F(SignInFaultTest, AFirstTokenRequestAnswered503StillSignsInAndInstalls) {
    addFault(R"({"listener": "api", "path": "^/token", "action": "status", "status": 503, "first": 1})");
    const Outcome run = runClient({"--install"});
    ASSERT_EQ(0, run.status) << run.errors;
    expectInstalledAsTheSource("en", true);
}

TEST_F(SignInFaultTest, AnInstallWhoseBackendStaysUnusableEndsWithItsOwnStatusAndSaysWhy) {
    const struct {
        const char* name;
        const char* fault;
    } cases[] = {
        {"configuration not found", R"({"listener": "api", "path": "^/vantis-client-config", "action": "status", "status": 404})"},
        {"configuration cut short", R"({"listener": "api", "path": "^/vantis-client-config", "action": "truncate", "bytes": 3})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        addFault(c.fault);
        const Outcome run = runClient({"--install", "--backend-wait=2"});
        EXPECT_EQ(ExitStatus::BACKEND_UNUSABLE, run.status) << run.errors;
        EXPECT_NE(std::string::npos, run.errors.find("waiting for the backend")) << run.errors;
        EXPECT_NE(std::string::npos, run.errors.find("no usable backend within 2 s")) << run.errors;
    }
}
