#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include <string>
#include <vector>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "service/ProtobufReader.h"
#include "service/ProtobufWriter.h"
#include "service/VantisServiceInterface.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

// The real service on a trigger file and an ephemeral port of its own.
class ServiceProgramTest : public VantisTest::SandboxTest {
protected:
    void TearDown() override {
        if (HasFailure()) std::cerr << "vantis-service log:\n" << service.log();
    }

    std::string trigger() const { return sandbox.path("vantisservice.txt"); }

    // Started through the trigger file, as the client does it.
    void startService() {
        ASSERT_TRUE(service.start({"--trigger", trigger(), "--port", "0", "--allow-root"}));
        ASSERT_TRUE(service.waitForLog("Waiting for the trigger file"));
        ASSERT_TRUE(VantisServiceInterface(trigger(), 1).startService());
        port = service.waitForPort();
        ASSERT_NE(0, port);
    }

    // One request on a connection of its own; the answer's header.
    pb::Header ask(const std::function<void(ProtobufWriter&, Poco::Net::StreamSocket&)>& send,
                   std::vector<char>* payload = nullptr) {
        Poco::Net::StreamSocket connection(Poco::Net::SocketAddress("127.0.0.1", port));
        ProtobufWriter writer(connection);
        ProtobufReader reader(connection);
        send(writer, connection);
        pb::Header answer;
        std::vector<char> content;
        ProtobufReader::EReadResult result = ProtobufReader::READ_INCOMPLETE;
        while (result == ProtobufReader::READ_INCOMPLETE) result = reader.readWholePacket(answer, content, 10);
        EXPECT_EQ(ProtobufReader::READ_COMPLETE, result);
        if (payload != nullptr) *payload = content;
        return answer;
    }
    pb::Header askToFix(const std::string& directory, uint32_t oseq = 77) {
        return ask([&](ProtobufWriter& writer, Poco::Net::StreamSocket&) {
            ASSERT_TRUE(writer.sendFixDirectoryPrivilegesRequest(oseq, directory));
        });
    }
    void makeDirectory(const std::string& relative, mode_t mode) {
        Poco::File(sandbox.path(relative)).createDirectories();
        ASSERT_EQ(0, ::chmod(sandbox.path(relative).c_str(), mode));
    }
    void makeFile(const std::string& relative, mode_t mode) {
        sandbox.writeFile(relative, "x");
        ASSERT_EQ(0, ::chmod(sandbox.path(relative).c_str(), mode));
    }

    VantisTest::ServiceProcess service{sandbox.path("service.log")};
    uint16_t port = 0;
};

TEST_F(ServiceProgramTest, StartsThroughTheTriggerRestartsWhenTouchedAndStopsWhenItIsRemoved) {
    startService();
    VantisServiceInterface client(trigger(), port);
    Poco::File(sandbox.path("Games")).createDirectories();
    EXPECT_TRUE(client.requestServiceToFixPrivileges(sandbox.path("Games")));

    // At once after the touch, as the client does at its start: the restarting
    // service must not refuse the connection (which would only touch the file again).
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    ASSERT_TRUE(client.startService());
    EXPECT_TRUE(client.requestServiceToFixPrivileges(sandbox.path("Games")));
    EXPECT_TRUE(service.waitForLog("Trigger file touched: restarting the listener"));
    EXPECT_EQ(port, service.waitForPort(2));
    EXPECT_TRUE(client.requestServiceToFixPrivileges(sandbox.path("Games")));
    EXPECT_EQ(std::string::npos,
              RecentMemoryBufferChannel::Instance().getContents().find("Debug exception during requestServiceToFix"));

    ASSERT_TRUE(client.stopService());
    EXPECT_EQ(0, service.waitForExit());
    const std::string log = service.log();
    EXPECT_NE(std::string::npos, log.find("Trigger file removed: stopping"));
    // One line per request.
    size_t requests = 0;
    for (size_t at = log.find("FIX_DIRECTORY_PRIVILEGES_REQUEST"); at != std::string::npos;
         at = log.find("FIX_DIRECTORY_PRIVILEGES_REQUEST", at + 1)) {
        ++requests;
    }
    EXPECT_EQ(3u, requests);
}

TEST_F(ServiceProgramTest, FixesATreeForItsOwnerWithoutFollowingLinks) {
    makeFile("outside/target.txt", 0400);
    makeDirectory("outside/dir", 0500);
    makeDirectory("Games/Zorv/locked/deeper", 0);
    makeFile("Games/Zorv/locked/inner.txt", 0);
    makeDirectory("Games/Zorv/locked", 0);
    makeFile("Games/Zorv/readonly.txt", 0444);
    makeFile("Games/Zorv/run.sh", 0500);
    ASSERT_EQ(0, ::symlink(sandbox.path("outside/target.txt").c_str(), sandbox.path("Games/Zorv/file-link").c_str()));
    ASSERT_EQ(0, ::symlink(sandbox.path("outside/dir").c_str(), sandbox.path("Games/Zorv/dir-link").c_str()));
    makeDirectory("Games/Zorv", 0500);
    startService();

    EXPECT_TRUE(VantisServiceInterface(trigger(), port).requestServiceToFixPrivileges(sandbox.path("Games/Zorv")));

    struct Expected {
        const char* path;
        int mode;
    };
    const Expected modes[] = {
        {"Games/Zorv", 0700},
        {"Games/Zorv/locked", 0700},
        {"Games/Zorv/locked/deeper", 0700},
        {"Games/Zorv/locked/inner.txt", 0600},
        {"Games/Zorv/readonly.txt", 0644},
        {"Games/Zorv/run.sh", 0700},
        {"outside/target.txt", 0400},
        {"outside/dir", 0500},
    };
    for (const Expected& expected : modes) {
        EXPECT_EQ(expected.mode, VantisTest::ModeOf(sandbox.path(expected.path))) << expected.path;
    }
    EXPECT_TRUE(service.waitForLog("FIX_DIRECTORY_PRIVILEGES_REQUEST oseq "));
}

TEST_F(ServiceProgramTest, RefusesWhatIsNotAnAbsolutePathOfItsOwnDirectory) {
    makeDirectory("Games/Zorv", 0500);
    makeFile("Games/file.txt", 0400);
    ASSERT_EQ(0, ::symlink(sandbox.path("Games/Zorv").c_str(), sandbox.path("Games/link").c_str()));
    struct Case {
        std::string directory;
        pb::Response::Code code;
    };
    const Case cases[] = {
        {"Games/Zorv", pb::Response::BAD_REQUEST},
        {sandbox.path("Games/file.txt"), pb::Response::BAD_REQUEST},
        {sandbox.path("Games/missing"), pb::Response::BAD_REQUEST},
        {sandbox.path("Games/Zorv/../Zorv"), pb::Response::BAD_REQUEST},
        {"/", pb::Response::BAD_REQUEST},
        {sandbox.path("Games/link"), pb::Response::FORBIDDEN},
    };
    startService();
    for (const Case& c : cases) {
        const pb::Header answer = askToFix(c.directory, 31);
        EXPECT_EQ(ds::FIX_DIRECTORY_PRIVILEGES_RESPONSE, answer.type()) << c.directory;
        EXPECT_EQ(31u, answer.GetExtension(pb::Response::rseq)) << c.directory;
        EXPECT_EQ(c.code, answer.GetExtension(pb::Response::code)) << c.directory;
    }
    EXPECT_EQ(0500, VantisTest::ModeOf(sandbox.path("Games/Zorv")));
    EXPECT_EQ(0400, VantisTest::ModeOf(sandbox.path("Games/file.txt")));
}

TEST_F(ServiceProgramTest, RefusesADirectoryOfAnotherOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a directory to another user";
    makeDirectory("Games/Theirs", 0500);
    ASSERT_EQ(0, ::chown(sandbox.path("Games/Theirs").c_str(), VantisTest::OTHER_UID, VantisTest::OTHER_UID));
    startService();

    EXPECT_EQ(pb::Response::FORBIDDEN, askToFix(sandbox.path("Games/Theirs")).GetExtension(pb::Response::code));
    EXPECT_EQ(0500, VantisTest::ModeOf(sandbox.path("Games/Theirs")));
}

TEST_F(ServiceProgramTest, TellsTheLibraryLocationAndRunsNothing) {
    sandbox.writeFile("launch.sh", "#!/bin/sh\ntouch \"$0.ran\"\n");
    ASSERT_EQ(0, ::chmod(sandbox.path("launch.sh").c_str(), 0755));
    startService();

    std::vector<char> payload;
    const pb::Header library =
        ask([](ProtobufWriter& writer, Poco::Net::StreamSocket&) { ASSERT_TRUE(writer.sendLibraryInfoRequest(5)); },
            &payload);
    EXPECT_EQ(ds::LIBRARY_INFO_RESPONSE, library.type());
    EXPECT_EQ(5u, library.GetExtension(pb::Response::rseq));
    ds::LibraryInfoResponse location;
    ASSERT_TRUE(ProtobufReader::ParseLibraryInfoResponse(payload, library, location));
    EXPECT_EQ(sandbox.root(), location.location());

    const pb::Header auth = ask([](ProtobufWriter&, Poco::Net::StreamSocket& connection) {
        VantisTest::SendAll(connection, VantisTest::FrameBytes(VantisTest::RequestHeader(ds::AUTH_INFO_REQUEST, 6)));
    });
    EXPECT_EQ(ds::AUTH_INFO_RESPONSE, auth.type());
    EXPECT_EQ(pb::Response::NOT_IMPLEMENTED, auth.GetExtension(pb::Response::code));

    const pb::Header launch = ask([&](ProtobufWriter& writer, Poco::Net::StreamSocket&) {
        ASSERT_TRUE(writer.sendLaunchElevatedRequest(7, sandbox.path("launch.sh"), "", sandbox.root(), true));
    });
    EXPECT_EQ(ds::LAUNCH_ELEVATED_RESPONSE, launch.type());
    EXPECT_EQ(7u, launch.GetExtension(pb::Response::rseq));
    EXPECT_EQ(pb::Response::NOT_IMPLEMENTED, launch.GetExtension(pb::Response::code));
    EXPECT_FALSE(Poco::File(sandbox.path("launch.sh.ran")).exists());
}

TEST_F(ServiceProgramTest, ClosesTheConnectionOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    startService();
    const std::string frame = VantisTest::FrameBytes(VantisTest::RequestHeader(ds::LIBRARY_INFO_REQUEST, 1));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    // The child uses async-signal-safe calls only: 0 when the service closed
    // (or, with the request unread, reset) the connection without an answer.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(VantisTest::OTHER_UID) != 0 || ::setuid(VantisTest::OTHER_UID) != 0) ::_exit(10);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval timeout = {10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) ::_exit(11);
        if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) ::_exit(12);
        char answer[64];
        const ssize_t received = ::read(fd, answer, sizeof(answer));
        ::_exit(received == 0 || (received < 0 && errno == ECONNRESET) ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(service.waitForLog("uid 65534 is not the service's user"));
    EXPECT_EQ(std::string::npos, service.log().find("LIBRARY_INFO_REQUEST"));
}

TEST_F(ServiceProgramTest, StopsOnSigterm) {
    ASSERT_TRUE(service.start({"--trigger", trigger(), "--port", "0", "--allow-root"}));
    ASSERT_TRUE(service.waitForLog("Waiting for the trigger file"));
    service.signal(SIGTERM);
    EXPECT_EQ(0, service.waitForExit());
    EXPECT_NE(std::string::npos, service.log().find("Stopping on SIGTERM"));
}

TEST_F(ServiceProgramTest, RefusesToRunAsRootUnlessTold) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root is refused";
    ASSERT_TRUE(service.start({"--trigger", trigger(), "--port", "0"}));
    EXPECT_EQ(1, service.waitForExit());
    EXPECT_NE(std::string::npos, service.log().find("Refusing to run as root"));
}

}  // namespace
