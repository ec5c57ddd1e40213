#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include <Poco/File.h>
#include <Poco/Net/ServerSocket.h>
#include <gtest/gtest.h>

#include "FakeService.h"
#include "ServiceTestSupport.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "service/ProtobufWriter.h"
#include "service/VantisServiceInterface.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

class VantisServiceInterfaceTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        RecentMemoryBufferChannel::Instance().Clear();
        Poco::File(gameDir()).createDirectories();
    }

    std::string trigger() const { return sandbox.path("vantisservice.txt"); }
    std::string gameDir() const { return sandbox.path("Games/Zorv"); }
    static size_t logged(const std::string& text) {
        const std::string lines = RecentMemoryBufferChannel::Instance().getContents();
        size_t found = 0;
        for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1)) ++found;
        return found;
    }
    static timespec modifiedAt(const std::string& path) {
        struct stat status = {};
        ::lstat(path.c_str(), &status);
        return status.st_mtim;
    }
    static bool sameTime(const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
    // An old modification time, so that a touch is seen.
    static void age(const std::string& path) {
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW);
    }
};

TEST_F(VantisServiceInterfaceTest, TriggerFileIsCreatedAndTouchedOnlyWhenItIsOurs) {
    VantisServiceInterface service(trigger(), 1);
    const mode_t previousMask = ::umask(077);
    EXPECT_TRUE(service.startService());
    ::umask(previousMask);
    EXPECT_EQ(0644, VantisTest::ModeOf(trigger()));

    age(trigger());
    EXPECT_TRUE(service.startService());
    EXPECT_FALSE(sameTime(timespec{1000000000, 0}, modifiedAt(trigger())));

    EXPECT_TRUE(service.stopService());
    EXPECT_FALSE(Poco::File(trigger()).exists());
    EXPECT_TRUE(service.stopService());
    EXPECT_EQ(2u, logged("Requesting service to start"));
    EXPECT_EQ(2u, logged("Requesting service to stop"));
    EXPECT_EQ(0u, logged("[Warning]"));
}

TEST_F(VantisServiceInterfaceTest, TriggerPathThatIsNotOurFileIsRefused) {
    const std::string victim = sandbox.path("victim");
    const std::string missingTarget = sandbox.path("would-be-created");
    struct Case {
        const char* name;
        std::function<void()> plant;
    };
    const Case cases[] = {
        {"link to a file", [&] { ASSERT_EQ(0, ::symlink(victim.c_str(), trigger().c_str())); }},
        {"link to nothing", [&] { ASSERT_EQ(0, ::symlink(missingTarget.c_str(), trigger().c_str())); }},
        {"directory", [&] { ASSERT_EQ(0, ::mkdir(trigger().c_str(), 0755)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.writeFile("victim", "keep");
        ASSERT_EQ(0, ::chmod(victim.c_str(), 0600));
        age(victim);
        c.plant();
        RecentMemoryBufferChannel::Instance().Clear();

        EXPECT_FALSE(VantisServiceInterface(trigger(), 1).startService());
        EXPECT_EQ(1u, logged("[Warning]: Failed to modify file's modification date"));
        EXPECT_TRUE(sameTime(timespec{1000000000, 0}, modifiedAt(victim)));
        EXPECT_EQ(0600, VantisTest::ModeOf(victim));
        EXPECT_EQ("keep", sandbox.readFile("victim"));
        EXPECT_FALSE(Poco::File(missingTarget).exists());
        Poco::File(trigger()).remove(true);
    }
}

TEST_F(VantisServiceInterfaceTest, TriggerFileOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
    sandbox.writeFile("vantisservice.txt", "");
    ASSERT_EQ(0, ::chown(trigger().c_str(), VantisTest::OTHER_UID, VantisTest::OTHER_UID));
    age(trigger());

    EXPECT_FALSE(VantisServiceInterface(trigger(), 1).startService());
    EXPECT_EQ(1u, logged("[Warning]: Failed to modify file's modification date"));
    EXPECT_TRUE(sameTime(timespec{1000000000, 0}, modifiedAt(trigger())));
}

TEST_F(VantisServiceInterfaceTest, NoServiceUsesTenTriesAndReportsOneError) {
    uint16_t closedPort = 0;
    {
        Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
        closedPort = probe.address().port();
    }
    EXPECT_FALSE(VantisServiceInterface(trigger(), closedPort).requestServiceToFixPrivileges(gameDir()));
    // Every failed attempt asks for the service again.
    EXPECT_EQ(10u, logged("Requesting service to start"));
    EXPECT_EQ(10u, logged("Debug exception during requestServiceToFixPrivileges: "));
    EXPECT_EQ(1u, logged("[Error]"));
    EXPECT_EQ(1u, logged("[Error]: Sending data to service failed: "));
    EXPECT_EQ(1u, logged("[Warning]: Sending data to service failed, aborting"));
    EXPECT_TRUE(Poco::File(trigger()).exists());
}

TEST_F(VantisServiceInterfaceTest, SilentServiceUsesUpTheBudgetOnOneConnection) {
    // Listening but never accepting: the kernel completes the connection, nobody answers.
    Poco::Net::ServerSocket silent(Poco::Net::SocketAddress("127.0.0.1", 0));
    EXPECT_FALSE(VantisServiceInterface(trigger(), silent.address().port()).requestServiceToFixPrivileges(gameDir()));
    EXPECT_EQ(1u, logged("Request for service to fix privileges sent, waiting for response..."));
    EXPECT_EQ(9u, logged("Exception during ProtobufReader::readWholePacket: "));
    EXPECT_EQ(1u, logged("[Warning]: Sending data to service failed, aborting"));
}

TEST_F(VantisServiceInterfaceTest, OnlyTheAcceptanceOfThisVeryRequestIsSuccess) {
    using Responder = VantisTest::FakeService::Responder;
    struct Case {
        const char* name;
        Responder respond;
        bool expected;
        int connections;  // an answer ends the request; a closed connection costs an attempt and a read: 5 rounds
    };
    const auto answering = [](pb::Response::Code code) -> Responder {
        return [code](const pb::Header& r, ProtobufWriter& w, Poco::Net::StreamSocket&) {
            w.sendGenericResponse(r, code);
        };
    };
    const Case cases[] = {
        {"acceptance", answering(pb::Response::OK), true, 1},
        {"refusal", answering(pb::Response::FORBIDDEN), false, 1},
        {"bad request", answering(pb::Response::BAD_REQUEST), false, 1},
        {"internal error", answering(pb::Response::INTERNAL_ERROR), false, 1},
        {"acceptance of another request",
         [](const pb::Header& r, ProtobufWriter& w, Poco::Net::StreamSocket&) {
             w.sendGenericResponse(VantisTest::RequestHeader(r.type(), r.oseq() + 1), pb::Response::OK);
         },
         false, 1},
        {"answer of another type",
         [](const pb::Header& r, ProtobufWriter& w, Poco::Net::StreamSocket&) {
             w.sendLibraryInfoResponse(r.oseq(), "/somewhere");
         },
         false, 1},
        {"answer without rseq",
         [](const pb::Header&, ProtobufWriter&, Poco::Net::StreamSocket& s) {
             pb::Header answer;
             answer.set_sort(1);
             answer.set_type(ds::FIX_DIRECTORY_PRIVILEGES_RESPONSE);
             VantisTest::SendAll(s, VantisTest::FrameBytes(answer));
         },
         false, 1},
        {"closing without an answer", [](const pb::Header&, ProtobufWriter&, Poco::Net::StreamSocket&) {}, false, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecentMemoryBufferChannel::Instance().Clear();
        VantisTest::FakeService fake(c.respond);
        EXPECT_EQ(c.expected, VantisServiceInterface(trigger(), fake.port()).requestServiceToFixPrivileges(gameDir()));
        EXPECT_EQ(c.connections, fake.connections());
        EXPECT_EQ(c.expected ? 1u : 0u, logged("Sending data to service complete response "));
    }
}

TEST_F(VantisServiceInterfaceTest, OnlyAbsoluteDirectoriesAreSent) {
    sandbox.writeFile("Games/readme.txt", "x");
    ASSERT_EQ(0, ::symlink(gameDir().c_str(), sandbox.path("Games/link").c_str()));
    VantisTest::FakeService fake([](const pb::Header& r, ProtobufWriter& w, Poco::Net::StreamSocket&) {
        w.sendGenericResponse(r, pb::Response::OK);
    });
    VantisServiceInterface service(trigger(), fake.port());
    for (const std::string& path : {std::string(), std::string("Games/Zorv"), sandbox.path("Games/readme.txt"),
                                    sandbox.path("Games/missing"), sandbox.path("Games/link")}) {
        EXPECT_FALSE(service.requestServiceToFixPrivileges(path)) << path;
    }
    EXPECT_EQ(0, fake.connections());
    EXPECT_FALSE(Poco::File(trigger()).exists());
    EXPECT_TRUE(service.requestServiceToFixPrivileges(gameDir()));
}

}  // namespace
