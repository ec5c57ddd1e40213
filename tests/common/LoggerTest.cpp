#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

class LoggerTest : public VantisTest::SandboxTest {
protected:
    std::string logFile() { return sandbox.path("Logs/VantisClient.log"); }
    void start() { Logger::Start("VantisClient", logFile()); }
    std::string recent() { return RecentMemoryBufferChannel::Instance().getContents(); }
    static size_t count(const std::string& text, const std::string& what) {
        size_t found = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
        return found;
    }
};

}  // namespace

TEST_F(LoggerTest, LinesBeforeStartGoNowhere) {
    Logger::LogError("early %d", 1);
    EXPECT_EQ("Default", Logger::Name());
    start();
    EXPECT_EQ(std::string::npos, recent().find("early 1"));
    EXPECT_EQ("VantisClient", Logger::Name());
}

TEST_F(LoggerTest, StartTwiceChangesNothing) {
    start();
    Logger::Start("Other", sandbox.path("Other/other.log"));
    Logger::LogInfo("after");
    EXPECT_EQ(1u, count(recent(), "Log started. Application version: 0.1.0.373 ("));
    EXPECT_EQ(1u, count(recent(), "[VantisClient][Information]: after\n"));
    EXPECT_FALSE(Poco::File(sandbox.path("Other")).exists());
}

TEST_F(LoggerTest, LineFormatAndPriorities) {
    start();
    Logger::LogInfo("i");
    Logger::LogWarning("w");
    Logger::LogError("e");
    Logger::LogFatal("f");
    std::istringstream lines(recent());
    std::vector<std::string> written;
    for (std::string line; std::getline(lines, line);) written.push_back(line);
    ASSERT_EQ(5u, written.size());
    const char* const stamp = "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ";
    const char* const expected[] = {"\\[VantisClient\\]\\[Information\\]: i$", "\\[VantisClient\\]\\[Warning\\]: w$",
                                    "\\[VantisClient\\]\\[Error\\]: e$", "\\[VantisClient\\]\\[Fatal\\]: f$"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_THAT(written[i + 1], ::testing::MatchesRegex(std::string(stamp) + expected[i]));
    }
    std::string contents = recent();
    EXPECT_NE(std::string::npos, contents.find("Log started. Application version: 0.1.0.373 ("));
}

TEST_F(LoggerTest, LongTextIsCutAt16383Characters) {
    start();
    std::string text(20000, 'x');
    Logger::LogInfo("%s", text.c_str());
    std::string contents = recent();
    size_t at = contents.find("]: x");
    ASSERT_NE(std::string::npos, at);
    size_t end = contents.find('\n', at);
    EXPECT_EQ(16383u, end - (at + 3));
}

TEST_F(LoggerTest, PercentInLoggedDataIsNotADirective) {
    start();
    const char* serverText = "100% done %s %n %x";
    Logger::LogInfo("%s", serverText);
    EXPECT_NE(std::string::npos, recent().find("]: 100% done %s %n %x\n"));
}

TEST_F(LoggerTest, MemoryBufferKeepsTheLast49Lines) {
    start();
    RecentMemoryBufferChannel::Instance().Clear();
    for (int i = 1; i <= 60; ++i) Logger::LogInfo("line %d", i);
    std::string contents = recent();
    EXPECT_EQ(49u, count(contents, "\n"));
    EXPECT_EQ(std::string::npos, contents.find("]: line 11\n"));
    EXPECT_NE(std::string::npos, contents.substr(0, contents.find('\n')).find("]: line 12"));
    EXPECT_EQ(contents.size() - 1, contents.rfind('\n'));
    EXPECT_NE(std::string::npos, contents.find("]: line 60\n"));
}

TEST_F(LoggerTest, EmptyMemoryBufferGivesEmptyContents) { EXPECT_EQ("", recent()); }

TEST_F(LoggerTest, NamedChannelsFollowTheConfigurationExactly) {
    sandbox.writeFile("Config.json", R"({"loggingChannels": ["HttpTraffic", "timer"], "other": 1})");
    start();
    EXPECT_TRUE(Logger::IsChannelEnabled("HttpTraffic"));
    EXPECT_FALSE(Logger::IsChannelEnabled("Security"));
    EXPECT_FALSE(Logger::IsChannelEnabled("Timer"));  // listed only as "timer"
    Logger::LogChannelInfo("Security", "secret %d", 1);
    Logger::LogChannelInfo("Timer", "timed");
    Logger::LogChannelInfo("HttpTraffic", "GET %s", "/x");
    Logger::LogChannelError("HttpTraffic", "bad");
    std::string contents = recent();
    EXPECT_EQ(std::string::npos, contents.find("secret"));
    EXPECT_EQ(std::string::npos, contents.find("timed"));
    EXPECT_NE(std::string::npos, contents.find("[HttpTraffic][Information]: GET /x\n"));
    EXPECT_NE(std::string::npos, contents.find("[HttpTraffic][Error]: bad\n"));
}

TEST_F(LoggerTest, MalformedOrMissingConfigurationEnablesNothing) {
    for (const char* config : {"{not json", "[\"HttpTraffic\"]", "{\"loggingChannels\": 3}", ""}) {
        Logger::Reset();
        if (*config != '\0') {
            sandbox.writeFile("Config.json", config);
        } else {
            Poco::File(sandbox.path("Config.json")).remove();
        }
        start();
        EXPECT_FALSE(Logger::IsChannelEnabled("HttpTraffic")) << config;
    }
}

TEST_F(LoggerTest, FileBranchWritesTheLogFileForTheOwnerOnly) {
    // A log left readable by everybody (as older versions made it) is closed too.
    sandbox.writeFile("Logs/VantisClient.log", "old line\n");
    ASSERT_EQ(0, ::chmod(logFile().c_str(), 0777));
    for (bool existing : {true, false}) {
        Logger::Reset();
        if (!existing) Poco::File(logFile()).remove();
        start();
        Logger::LogWarning("to the file");
        Logger::Close();
        std::string contents = VantisTest::ReadWholeFile(logFile());
        EXPECT_NE(std::string::npos, contents.find("[VantisClient][Warning]: to the file\n"));
        struct stat status {};
        ASSERT_EQ(0, ::stat(logFile().c_str(), &status));
        EXPECT_EQ(0600u, status.st_mode & 0777u) << (existing ? "existing" : "new");
    }
}

TEST_F(LoggerTest, LogFileIsRotatedPastFiveMegabytes) {
    start();
    std::string text(16000, 'r');
    for (int i = 0; i < 360; ++i) Logger::LogInfo("%s", text.c_str());
    Logger::Close();
    EXPECT_TRUE(Poco::File(logFile() + ".0").exists());
    EXPECT_LT(Poco::File(logFile()).getSize(), 5u * 1024 * 1024);
}

TEST_F(LoggerTest, UnwritableLogDirectoryKeepsTheOtherBranches) {
    // Nobody, not even root, can create a directory there.
    Logger::Start("VantisClient", "/proc/vantis-logs/VantisClient.log");
    Logger::LogInfo("still buffered");
    EXPECT_NE(std::string::npos, recent().find("]: still buffered\n"));
}

TEST_F(LoggerTest, SyslogBranchReceivesTheBareText) {
    Poco::Net::DatagramSocket collector(Poco::Net::SocketAddress("127.0.0.1", 0));
    collector.setReceiveTimeout(Poco::Timespan(10, 0));
    Logger::SetRemoteLogHost("127.0.0.1:" + std::to_string(collector.address().port()));
    start();
    Logger::LogError("remote %s", "line");
    std::string received;
    char buffer[2048];
    // The start line arrives first; read until ours shows up.
    for (int i = 0; i < 5 && received.find("remote line") == std::string::npos; ++i) {
        int length = collector.receiveBytes(buffer, sizeof(buffer));
        received.assign(buffer, static_cast<size_t>(length));
    }
    EXPECT_NE(std::string::npos, received.find("remote line"));
    EXPECT_EQ(std::string::npos, received.find("[VantisClient][Error]"));
}
