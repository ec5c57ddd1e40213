// The built vantis-client run as a user or a script runs it, against the real
// backend in the test's process: how a run is launched, what it leaves, and
// the probes the tests poll while it runs.
// Thread-safety: the test's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "CatalogueFixture.h"
#include "ClientProcess.h"
#include "GameBackendFixture.h"

namespace VantisTest {

// Generous for a sanitizer build on two shared cores; a run that hangs still fails.
const int RUN_TIMEOUT_MS = 120000;
// How often a test looks at the backend's record while the client runs: often
// enough to choose a moment, rarely enough to leave the cores to the client.
const int POLL_INTERVAL_MS = 10;
const char* const PASSWORD = "secret";  // the fixture's password of "player"

// How the client is started: the game, whether it is given its directory, the
// password in its environment (none when empty), the options after the fixed
// ones, whether it hands over to the updater as a user's start does, and the
// file on its standard input. It runs in the sandbox's root, where relative
// paths start.
struct Launch {
    std::string gameId = SampleGame::BASE_ID;
    bool withPath = true;
    std::string password;
    std::vector<std::string> options;
    bool throughUpdater = false;
    std::string input = "/dev/null";
};

Launch SignIn(const std::string& user, const std::string& password, std::vector<std::string> options);
Launch OnStoredToken(std::vector<std::string> options);

// What a run of the client left: its status as a shell reports it and what it printed.
struct ClientRun {
    int status = ClientProcess::TIMED_OUT;
    std::string output;
    std::string errors;
};

std::ostream& operator<<(std::ostream& stream, const ClientRun& run);

bool PollUntil(const std::function<bool()>& condition, int timeoutMs = RUN_TIMEOUT_MS);
// The bytes of the files below `directory`, which may change meanwhile.
uint64_t BytesBelow(const std::string& directory);
size_t EntriesIn(const std::string& directory);

class HeadlessClientTest : public GameBackendTest {
protected:
    void SetUp() override;

    std::string installDirectory() const override { return sandbox.path("games/Sample Game"); }

    std::unique_ptr<ClientProcess> start(const Launch& launch);
    // Waits for the client started last; a client that does not end in time is killed.
    ClientRun finish(ClientProcess& client, int timeoutMs = RUN_TIMEOUT_MS);
    ClientRun run(const Launch& launch, int timeoutMs = RUN_TIMEOUT_MS) { return finish(*start(launch), timeoutMs); }
    // What the client started last has printed on standard output and error so far.
    std::string outputSoFar() const;
    std::string errorsSoFar() const;

    // Slows every file part down, so that a test can act while the download runs.
    void slowDownloads(int delayMs);
    void removeFaults();

    // The application-support root is the sandbox, as for a user whose
    // VANTIS_HOME is set; the rest of the test's environment is kept (sanitizer
    // options among it), but none of its own VANTIS_ variables.
    std::vector<std::string> environment(const std::string& password) const;

    std::string home = sandbox.root();

private:
    // Where the client looks for the backend, also after a test has stopped it.
    int m_apiPort = 0;
    int m_runs = 0;
    std::string m_outputPath;
    std::string m_errorPath;
};

}  // namespace VantisTest
