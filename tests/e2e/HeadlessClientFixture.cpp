#include "HeadlessClientFixture.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "support/WaitFor.h"

extern char** environ;

namespace VantisTest {

namespace fs = std::filesystem;

Launch SignIn(const std::string& user, const std::string& password, std::vector<std::string> options) {
    options.insert(options.begin(), "--user=" + user);
    return Launch{SampleGame::BASE_ID, true, password, options};
}

Launch OnStoredToken(std::vector<std::string> options) { return Launch{SampleGame::BASE_ID, true, "", options}; }

std::ostream& operator<<(std::ostream& stream, const ClientRun& run) {
    return stream << "status " << run.status << "\n--- stdout\n" << run.output << "--- stderr\n" << run.errors;
}

bool PollUntil(const std::function<bool()>& condition, int timeoutMs) {
    return WaitFor(
        [&] {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(POLL_INTERVAL_MS));
            return false;
        },
        timeoutMs);
}

uint64_t BytesBelow(const std::string& directory) {
    uint64_t bytes = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const uintmax_t size = fs::is_regular_file(it->symlink_status()) ? fs::file_size(it->path(), error) : 0;
        if (!error) bytes += size;
        error.clear();
    }
    return bytes;
}

size_t EntriesIn(const std::string& directory) {
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    return error ? 0 : static_cast<size_t>(std::distance(entries, fs::directory_iterator()));
}

void HeadlessClientTest::SetUp() {
    GameBackendTest::SetUp();
    startBackend();
    m_apiPort = server->apiPort();
    fs::create_directories(sandbox.path("runs"));
}

std::unique_ptr<ClientProcess> HeadlessClientTest::start(const Launch& launch) {
    std::vector<std::string> arguments = {VANTIS_TEST_BIN_DIR "/vantis-client", "--skipServiceRunningCheck",
                                          "--gameId=" + launch.gameId};
    if (!launch.throughUpdater) arguments.push_back("--runWithoutUpdating");
    if (launch.withPath) arguments.push_back("--path=" + installDirectory());
    arguments.insert(arguments.end(), launch.options.begin(), launch.options.end());
    const std::string name = sandbox.path("runs/" + std::to_string(++m_runs));
    m_outputPath = name + ".out";
    m_errorPath = name + ".err";
    auto client = std::make_unique<ClientProcess>(arguments, environment(launch.password), m_outputPath, m_errorPath,
                                                  launch.input, sandbox.root());
    EXPECT_TRUE(client->started()) << client->error();
    return client;
}

ClientRun HeadlessClientTest::finish(ClientProcess& client, int timeoutMs) {
    ClientRun run;
    run.status = client.wait(timeoutMs);
    run.output = ReadFileBytes(m_outputPath);
    run.errors = ReadFileBytes(m_errorPath);
    EXPECT_NE(ClientProcess::TIMED_OUT, run.status) << "killed after " << timeoutMs << " ms\n" << run;
    return run;
}

std::string HeadlessClientTest::outputSoFar() const { return ReadFileBytes(m_outputPath); }
std::string HeadlessClientTest::errorsSoFar() const { return ReadFileBytes(m_errorPath); }

void HeadlessClientTest::slowDownloads(int delayMs) {
    const std::string rule = R"({"listener": "api", "action": "delay", "path": "^/content/objects/", "delayMs": )" +
                             std::to_string(delayMs) + "}";
    ASSERT_EQ(200, control("POST", "faults", rule).status);
}

void HeadlessClientTest::removeFaults() { ASSERT_EQ(200, control("DELETE", "faults").status); }

std::vector<std::string> HeadlessClientTest::environment(const std::string& password) const {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VANTIS_", 7) != 0) entries.push_back(*entry);
    }
    entries.push_back("VANTIS_HOME=" + home);
    entries.push_back("VANTIS_BUNDLE=" + Poco::Path(VANTIS_TEST_BIN_DIR).makeDirectory().popDirectory().toString());
    entries.push_back("VANTIS_CONFIG_HOST=127.0.0.1:" + std::to_string(m_apiPort));
    // Reachability from the machine's routes is not what these tests are about.
    entries.push_back("VANTIS_ONLINE=1");
    if (!password.empty()) entries.push_back("VANTIS_PASSWORD=" + password);
    return entries;
}

}  // namespace VantisTest
