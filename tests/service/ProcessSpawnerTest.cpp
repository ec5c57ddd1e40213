#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <Poco/File.h>
#include <Poco/NumberParser.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "common/AbortSignal.h"
#include "service/ProcessSpawner.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

class ProcessSpawnerTest : public VantisTest::SandboxTest {
protected:
    // A /bin/sh script in its own directory of the sandbox.
    std::string writeScript(const std::string& name, const std::string& body) {
        sandbox.writeFile("Support/" + name, "#!/bin/sh\n" + body);
        const std::string path = sandbox.path("Support/" + name);
        EXPECT_EQ(0, ::chmod(path.c_str(), 0755));
        return path;
    }
    pid_t readPid(const std::string& relative) {
        unsigned pid = 0;
        Poco::NumberParser::tryParseUnsigned(sandbox.readFile(relative), pid);
        return static_cast<pid_t>(pid);
    }

    AbortSignal::Ptr abortSignal = new AbortSignal();
};

TEST_F(ProcessSpawnerTest, RunsTheProgramWithSeparateArgumentsInItsDirectoryAndKeepsItsExitStatus) {
    const std::string script = writeScript(
        "installer.sh", "pwd > args.txt\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> args.txt; done\nexit 7\n");
    const std::vector<std::string> arguments = {"/games/My Game", "en", "1, 2", "it's; rm -rf / $(id) `id`", ""};
    ProcessSpawner spawner(script, arguments, abortSignal);
    EXPECT_EQ(-1, spawner.getResult());

    EXPECT_TRUE(spawner.spawnElevated());
    EXPECT_TRUE(spawner.hasStarted());
    EXPECT_EQ(7, spawner.getResult());
    std::string expected = sandbox.path("Support") + "\n";
    for (const std::string& argument : arguments) expected += argument + "\n";
    EXPECT_EQ(expected, sandbox.readFile("Support/args.txt"));
}

TEST_F(ProcessSpawnerTest, ProgramThatCannotStartIsAFailure) {
    sandbox.writeFile("Support/plain.txt", "not a program");
    for (const std::string& path : {sandbox.path("Support/missing"), sandbox.path("Support/plain.txt")}) {
        ProcessSpawner spawner(path, {}, abortSignal);
        EXPECT_FALSE(spawner.spawnElevated()) << path;
        EXPECT_FALSE(spawner.hasStarted()) << path;
        EXPECT_EQ(-1, spawner.getResult()) << path;
    }
}

TEST_F(ProcessSpawnerTest, AbortBeforeTheStartRunsNothing) {
    const std::string script = writeScript("installer.sh", "touch ran\n");
    abortSignal->raise();
    ProcessSpawner spawner(script, {}, abortSignal);
    EXPECT_FALSE(spawner.spawnElevated());
    EXPECT_FALSE(spawner.hasStarted());
    EXPECT_FALSE(Poco::File(sandbox.path("Support/ran")).exists());
}

TEST_F(ProcessSpawnerTest, AbortEndsAProgramThatIgnoresSigtermAndItsHelpers) {
    // The helper starts before the trap, so SIGTERM would end it; the script
    // itself ignores SIGTERM and only SIGKILL ends it.
    const std::string script = writeScript(
        "installer.sh",
        "sleep 600 &\necho $! > helper.pid\ntrap '' TERM\necho $$ > installer.pid\nwhile :; do sleep 1; done\n");
    ProcessSpawner spawner(script, {}, abortSignal);
    std::atomic<bool> returned{false};
    bool spawned = true;
    std::thread task([&] {
        spawned = spawner.spawnElevated();
        returned = true;
    });
    // The program may write its pid before the spawner has noted the start.
    ASSERT_TRUE(VantisTest::WaitFor(
        [&] { return !sandbox.readFile("Support/installer.pid").empty() && spawner.hasStarted(); }));
    const pid_t installer = readPid("Support/installer.pid");
    const pid_t helper = readPid("Support/helper.pid");
    EXPECT_FALSE(returned);

    abortSignal->raise();
    const bool ended = VantisTest::WaitFor([&] { return returned.load(); }, 30000);
    task.join();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(spawned);
    EXPECT_EQ(128 + SIGKILL, spawner.getResult());
    EXPECT_FALSE(VantisTest::IsAlive(installer));
    EXPECT_TRUE(VantisTest::WaitFor([&] { return !VantisTest::IsAlive(helper); }));
}

}  // namespace
