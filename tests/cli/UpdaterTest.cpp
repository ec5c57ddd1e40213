#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <gtest/gtest.h>

#include "support/Sandbox.h"

namespace {

const std::string UPDATER = std::string(VANTIS_TEST_LIBEXEC_DIR) + "/vantis-updater";
const char* const RUN_WITHOUT_UPDATING = "--runWithoutUpdating";
const char* const WAIT_FOR_PREVIOUS_INSTANCE = "--waitForPreviousInstance";

using Arguments = std::vector<std::string>;

class UpdaterTest : public VantisTest::SandboxTest {
protected:
    // A client that writes each argument it gets, NUL-terminated, into "arguments".
    std::string writeRecordingClient(const std::string& relative) {
        sandbox.writeFile(relative, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" +
                                        sandbox.path("arguments") + "'\n");
        ::chmod(sandbox.path(relative).c_str(), 0755);
        return sandbox.path(relative);
    }

    Arguments recordedArguments() const {
        const std::string recorded = sandbox.readFile("arguments");
        Arguments arguments;
        for (size_t start = 0, end = 0; (end = recorded.find('\0', start)) != std::string::npos; start = end + 1) {
            arguments.push_back(recorded.substr(start, end - start));
        }
        return arguments;
    }

    // Runs `updater` to its end (the client's end when it started one); its exit status.
    int run(const std::string& updater, const Arguments& arguments,
            const std::map<std::string, std::string>& environment, std::string& errors) const {
        Poco::Pipe errorPipe;
        Poco::ProcessHandle process =
            Poco::Process::launch(updater, arguments, sandbox.root(), nullptr, nullptr, &errorPipe, environment);
        Poco::PipeInputStream errorStream(errorPipe);
        Poco::StreamCopier::copyToString(errorStream, errors);
        return process.wait();
    }

    // The updater placed into a bundle of the sandbox: "<bundle>/libexec/vantis/vantis-updater".
    std::string updaterInBundle(const std::string& bundle) const {
        const std::string directory = sandbox.path(bundle + "/libexec/vantis");
        Poco::File(directory).createDirectories();
        Poco::File(UPDATER).copyTo(directory);
        return directory + "/vantis-updater";
    }
};

}  // namespace

TEST_F(UpdaterTest, StartsTheClientWithItsArgumentsAndTheTwoFlagsOnce) {
    const Arguments given = {"--gameId=12", "--path=/Games/My \"Game\"", "two\nlines", ""};
    const Arguments withFlags = {RUN_WITHOUT_UPDATING, "--gameId=12", WAIT_FOR_PREVIOUS_INSTANCE};
    const std::string namedClient = writeRecordingClient("named-client");
    const std::string bundleClient = writeRecordingClient("bundle/bin/vantis-client");
    writeRecordingClient("own-bundle/bin/vantis-client");
    const struct {
        const char* name;
        std::string updater;
        Arguments arguments;
        std::map<std::string, std::string> environment;
        Arguments expected;
    } cases[] = {
        {"named client",
         UPDATER,
         {"--clientPath=" + namedClient, given[0], given[1], given[2], given[3]},
         {},
         {"--clientPath=" + namedClient, given[0], given[1], given[2], given[3], RUN_WITHOUT_UPDATING,
          WAIT_FOR_PREVIOUS_INSTANCE}},
        {"flags already there",
         UPDATER,
         {"--clientPath=" + namedClient, withFlags[0], withFlags[1], withFlags[2]},
         {},
         {"--clientPath=" + namedClient, withFlags[0], withFlags[1], withFlags[2]}},
        // After a "--" nothing is an option: neither a client path nor a flag.
        {"end of options",
         UPDATER,
         {"--clientPath=" + namedClient, "--", RUN_WITHOUT_UPDATING, "--clientPath=/elsewhere"},
         {},
         {"--clientPath=" + namedClient, RUN_WITHOUT_UPDATING, WAIT_FOR_PREVIOUS_INSTANCE, "--", RUN_WITHOUT_UPDATING,
          "--clientPath=/elsewhere"}},
        {"client of VANTIS_BUNDLE",
         UPDATER,
         {"--gameId=12"},
         {{"VANTIS_BUNDLE", sandbox.path("bundle")}},
         {"--gameId=12", RUN_WITHOUT_UPDATING, WAIT_FOR_PREVIOUS_INSTANCE}},
        {"client of its own bundle",
         updaterInBundle("own-bundle"),
         {"--gameId=12"},
         {{"VANTIS_BUNDLE", ""}},
         {"--gameId=12", RUN_WITHOUT_UPDATING, WAIT_FOR_PREVIOUS_INSTANCE}},
    };
    for (const auto& each : cases) {
        if (Poco::File(sandbox.path("arguments")).exists()) Poco::File(sandbox.path("arguments")).remove(false);
        std::string errors;
        EXPECT_EQ(0, run(each.updater, each.arguments, each.environment, errors)) << each.name << ": " << errors;
        EXPECT_EQ(each.expected, recordedArguments()) << each.name;
    }
}

TEST_F(UpdaterTest, AClientThatCannotStartIsAMessageAndStatusOne) {
    sandbox.writeFile("not-executable", "#!/bin/sh\n");
    const struct {
        std::string client;
        const char* reason;
    } cases[] = {
        {sandbox.path("missing"), "No such file or directory"},
        {sandbox.path("not-executable"), "Permission denied"},
    };
    for (const auto& each : cases) {
        std::string errors;
        EXPECT_EQ(1, run(UPDATER, {"--clientPath=" + each.client}, {}, errors));
        EXPECT_EQ("vantis-updater: cannot start the client " + each.client + ": " + each.reason + "\n", errors);
    }
}
