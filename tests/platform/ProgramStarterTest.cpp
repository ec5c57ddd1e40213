// Programs started as the client starts every child, from a test process that
// holds what the client holds: descriptors without close-on-exec (as a library
// opens them), SIGINT and SIGTERM blocked for a watcher thread, an ignored
// signal, and variables of its own.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ProgramStarter.h"
#include "support/ProcessProbe.h"
#include "support/Sandbox.h"

using VantisClient::ProgramStarter;
using VantisTest::ProcessProbe;

namespace {

const char* const NO_SIGNALS = "0000000000000000";

// The state the client is in while it runs, undone when the test ends.
class ClientLikeProcess {
public:
    ClientLikeProcess() {
        m_file = ::open("/dev/null", O_RDONLY);
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGINT);
        sigaddset(&stop, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stop, &m_savedMask);
        m_savedDisposition = ::signal(SIGUSR2, SIG_IGN);
        ::setenv("VANTIS_PROBE_REPLACED", "the client's", 1);
        ::setenv("VANTIS_PROBE_KEPT", "kept", 1);
    }
    ~ClientLikeProcess() {
        ::unsetenv("VANTIS_PROBE_KEPT");
        ::unsetenv("VANTIS_PROBE_REPLACED");
        ::signal(SIGUSR2, m_savedDisposition);
        pthread_sigmask(SIG_SETMASK, &m_savedMask, nullptr);
        ::close(m_socket);
        ::close(m_file);
    }
    ClientLikeProcess(const ClientLikeProcess&) = delete;
    ClientLikeProcess& operator=(const ClientLikeProcess&) = delete;

    bool ready() const { return m_file > STDERR_FILENO && m_socket > STDERR_FILENO; }

private:
    int m_file;
    int m_socket;
    sigset_t m_savedMask;
    sighandler_t m_savedDisposition;
};

// The standard signals (1 to 31) of a /proc signal set. The C library leaves
// its own two internal real-time signals ignored in every child it spawns;
// programs get real-time signals only above them.
unsigned long long standardSignals(const std::string& set) { return std::stoull(set, nullptr, 16) & 0x7FFFFFFFull; }

int count(const std::vector<std::string>& entries, const std::string& prefix) {
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&](const std::string& entry) {
        return entry.compare(0, prefix.size(), prefix) == 0;
    }));
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

class ProgramStarterTest : public VantisTest::SandboxTest {};

}  // namespace

TEST_F(ProgramStarterTest, AChildGetsNoDescriptorOrSignalStateOfTheClientAndStopsOnSigterm) {
    ClientLikeProcess client;
    ASSERT_TRUE(client.ready());
    pid_t pid = 0;
    // A bare name: found on PATH.
    ASSERT_EQ(0, ProgramStarter::Start({"sleep",
                                        {"600"},
                                        sandbox.root(),
                                        {"VANTIS_PROBE_REPLACED=the child's", "VANTIS_PROBE_ADDED=added"}},
                                       pid));
    const ProcessProbe child(pid);
    ASSERT_TRUE(child.awaitProgram("sleep"));

    const std::vector<int> descriptors = child.settledDescriptors(STDERR_FILENO);
    ASSERT_FALSE(descriptors.empty());
    EXPECT_LE(descriptors.back(), STDERR_FILENO) << "descriptor " << descriptors.back() << " of the client leaked";
    EXPECT_EQ(NO_SIGNALS, child.status("SigBlk"));
    EXPECT_EQ(0u, standardSignals(child.status("SigIgn"))) << child.status("SigIgn");
    const std::vector<std::string> environment = child.environment();
    EXPECT_EQ(1, count(environment, "VANTIS_PROBE_REPLACED=the child's"));
    EXPECT_EQ(0, count(environment, "VANTIS_PROBE_REPLACED=the client's"));
    EXPECT_EQ(1, count(environment, "VANTIS_PROBE_ADDED=added"));
    EXPECT_EQ(1, count(environment, "VANTIS_PROBE_KEPT=kept"));
    EXPECT_EQ(realPath(sandbox.root()), realPath("/proc/" + std::to_string(pid) + "/cwd"));
    EXPECT_EQ(pid, ::getpgid(pid));

    ASSERT_EQ(0, ::kill(pid, SIGTERM));
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGTERM, WTERMSIG(status));
}

TEST_F(ProgramStarterTest, WhatCannotBeStartedIsTheSystemsReasonAndNoChild) {
    sandbox.writeFile("plain.txt", "not a program");
    sandbox.writeFile("tool", "#!/bin/sh\n");
    ASSERT_EQ(0, ::chmod(sandbox.path("tool").c_str(), 0755));
    const struct {
        const char* name;
        ProgramStarter::Request request;
        int error;
    } cases[] = {
        {"missing", {sandbox.path("missing"), {}, "", {}}, ENOENT},
        {"not executable", {sandbox.path("plain.txt"), {}, "", {}}, EACCES},
        {"bare name not on PATH", {"vantis-no-such-program", {}, "", {}}, ENOENT},
        {"missing working directory", {sandbox.path("tool"), {}, sandbox.path("gone"), {}}, ENOENT},
    };
    for (const auto& c : cases) {
        pid_t pid = 0;
        EXPECT_EQ(c.error, ProgramStarter::Start(c.request, pid)) << c.name;
        EXPECT_EQ(-1, ::waitpid(-1, nullptr, WNOHANG)) << c.name << ": a child was left behind";
    }
}

TEST_F(ProgramStarterTest, CaptureGivesWhatAProgramPrintedOnlyWhenItEndedWellInTime) {
    struct Case {
        const char* script;
        bool captured;
        const char* outputOrError;
    };
    const Case cases[] = {
        {"printf 'name 1.2 (build)\\n'", true, "name 1.2 (build)\n"},
        {"echo partial; exit 3", false, "it ended with status 3"},
        {"exec sleep 30", false, "it did not end within 300 ms"},
        {"head -c 5000 /dev/zero", false, "it wrote more than 4096 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        ProgramStarter::Request request;
        request.program = "/bin/sh";
        request.arguments = {"-c", c.script};
        std::string output;
        std::string error;
        EXPECT_EQ(c.captured, ProgramStarter::Capture(request, 300, 4096, output, error));
        EXPECT_EQ(c.outputOrError, c.captured ? output : error);
    }
}
