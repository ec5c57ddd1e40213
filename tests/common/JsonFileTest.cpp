#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/json/JsonFile.h"
#include "support/Sandbox.h"

using VantisClient::JsonFile;

namespace {

class JsonFileTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }

    std::string config() const { return sandbox.path("Config.json"); }

    unsigned mode() const {
        struct stat status {};
        EXPECT_EQ(0, ::stat(config().c_str(), &status));
        return status.st_mode & 0777u;
    }

    Poco::JSON::Object::Ptr read() const {
        Poco::JSON::Object::Ptr object;
        EXPECT_TRUE(JsonFile::Read(config(), object));
        return object;
    }

    // Every name in the sandbox root but the logs.
    std::vector<std::string> rootEntries() const {
        std::vector<std::string> names;
        for (Poco::DirectoryIterator it(sandbox.root()), end; it != end; ++it) {
            if (it.name() != "Logs") names.push_back(it.name());
        }
        return names;
    }

    static std::string warningFor(const std::string& path) {
        return "[Warning]: Unable to read json contents from " + path + "\n";
    }
};

}  // namespace

TEST_F(JsonFileTest, AMissingFileReadsAsAnEmptyObject) {
    Poco::JSON::Object::Ptr object;
    EXPECT_TRUE(JsonFile::Read(config(), object));
    ASSERT_FALSE(object.isNull());
    EXPECT_EQ(0u, object->size());
}

TEST_F(JsonFileTest, UpdateKeepsOtherMembersAndEndsOwnerOnly) {
    for (const char* before : {"", R"({"loggingChannels":["Timer"],"updateChannel":"beta","lastReportTime":"1"})"}) {
        if (*before != '\0') {
            sandbox.writeFile("Config.json", before);
            ASSERT_EQ(0, ::chmod(config().c_str(), 0777));
        }
        for (const char* value : {"2", "3"}) {
            ASSERT_TRUE(JsonFile::Update(config(), [value](Poco::JSON::Object& o) { o.set("lastReportTime", value); }));
            EXPECT_EQ(0600u, mode()) << before;
            Poco::JSON::Object::Ptr written = read();
            EXPECT_EQ(value, written->getValue<std::string>("lastReportTime"));
            EXPECT_EQ(*before == '\0' ? 1u : 3u, written->size()) << before;
        }
        EXPECT_EQ(std::vector<std::string>{"Config.json"}, rootEntries());
    }
    EXPECT_EQ("beta", read()->getValue<std::string>("updateChannel"));
}

TEST_F(JsonFileTest, AFileThatIsNoJsonObjectIsLeftByteForByte) {
    for (const char* text : {"{\"updateChannel\": \"beta\", ", "[\"loggingChannels\"]", "\"text\"", "", "  "}) {
        sandbox.writeFile("Config.json", text);
        ASSERT_EQ(0, ::chmod(config().c_str(), 0640));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        Poco::JSON::Object::Ptr object;
        EXPECT_FALSE(JsonFile::Read(config(), object)) << text;
        bool changed = false;
        EXPECT_FALSE(JsonFile::Update(config(), [&changed](Poco::JSON::Object&) { changed = true; })) << text;
        EXPECT_FALSE(changed);
        EXPECT_EQ(text, sandbox.readFile("Config.json"));
        EXPECT_EQ(0640u, mode());
        EXPECT_EQ(std::vector<std::string>{"Config.json"}, rootEntries());
        EXPECT_NE(std::string::npos,
                  VantisClient::RecentMemoryBufferChannel::Instance().getContents().find(warningFor(config())));
    }
}

TEST_F(JsonFileTest, ATemporaryFileLeftByACrashDisturbsNothing) {
    // What a crash between writing and renaming leaves: the old file whole, and a half-written neighbour.
    sandbox.writeFile("Config.json", R"({"updateChannel":"beta"})");
    sandbox.writeFile("Config.json.tmp-Ab12Cd", R"({"updateChannel":"al)");
    EXPECT_EQ("beta", read()->getValue<std::string>("updateChannel"));
    ASSERT_TRUE(JsonFile::Update(config(), [](Poco::JSON::Object& o) { o.set("lastReportTime", "5"); }));
    Poco::JSON::Object::Ptr written = read();
    EXPECT_EQ("beta", written->getValue<std::string>("updateChannel"));
    EXPECT_EQ("5", written->getValue<std::string>("lastReportTime"));
    EXPECT_EQ(R"({"updateChannel":"al)", sandbox.readFile("Config.json.tmp-Ab12Cd"));
}

TEST_F(JsonFileTest, AnUpdateThatCannotBeWrittenFails) {
    EXPECT_FALSE(JsonFile::Update(sandbox.path("missing/Config.json"), [](Poco::JSON::Object&) {}));
    EXPECT_FALSE(Poco::File(sandbox.path("missing")).exists());
}

TEST_F(JsonFileTest, ConcurrentUpdatesKeepEveryMemberAndReadersSeeWholeFiles) {
    const int writers = 4;
    const int rounds = 25;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([this, w] {
            for (int round = 1; round <= rounds; ++round) {
                EXPECT_TRUE(JsonFile::Update(
                    config(), [w, round](Poco::JSON::Object& o) { o.set("writer" + std::to_string(w), round); }));
            }
        });
    }
    threads.emplace_back([this] {
        for (int i = 0; i < 200; ++i) {
            Poco::JSON::Object::Ptr object;
            EXPECT_TRUE(JsonFile::Read(config(), object));
        }
    });
    for (std::thread& thread : threads) thread.join();
    Poco::JSON::Object::Ptr written = read();
    for (int w = 0; w < writers; ++w) EXPECT_EQ(rounds, written->getValue<int>("writer" + std::to_string(w)));
    EXPECT_EQ(0600u, mode());
    EXPECT_EQ(std::vector<std::string>{"Config.json"}, rootEntries());
}
