#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/json/Serializer.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

class RecordingDocument : public ISerializable {
public:
    uint64_t getCurrentVersion() override { return 1; }
    void serialize(json&) override {}
    bool deserializeFromVersion(const json& document, uint64_t version) override {
        receivedVersion = version;
        name = document->optValue<std::string>("name", "");
        return true;
    }
    uint64_t receivedVersion = 0;
    std::string name;
};

class SerializerTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }
};

}  // namespace

TEST_F(SerializerTest, ObjectsReceiveTheDocumentVersion) {
    RecordingDocument unversioned;
    ASSERT_TRUE(Serializer::DeserializeFromBuffer(unversioned, R"({"name": "a"})", Serializer::JSON));
    EXPECT_EQ(1u, unversioned.receivedVersion);
    EXPECT_EQ("a", unversioned.name);
    RecordingDocument versioned;
    ASSERT_TRUE(Serializer::DeserializeFromBuffer(versioned, std::string(R"({"version": 3})"), Serializer::JSON));
    EXPECT_EQ(3u, versioned.receivedVersion);
}

TEST_F(SerializerTest, TopLevelArrayIsRejectedAndLogged) {
    ISerializable::json document;
    EXPECT_FALSE(Serializer::DeserializeFromBuffer(document, "[1, 2]", Serializer::JSON));
    RecordingDocument object;
    EXPECT_FALSE(Serializer::DeserializeFromBuffer(object, "{\"broken\": ", Serializer::JSON));
    EXPECT_EQ(0u, object.receivedVersion);
    // Each failure is one whole line naming what went wrong.
    std::string contents = RecentMemoryBufferChannel::Instance().getContents();
    EXPECT_NE(std::string::npos, contents.find("[VantisClient][Error]: Error: Bad cast exception: "));
    EXPECT_NE(std::string::npos, contents.find("[VantisClient][Error]: Error: JSON Exception: unexpected end of text.\n"));
}

TEST_F(SerializerTest, UnknownTypeFailsAtOnce) {
    ISerializable::json document;
    RecordingDocument object;
    RecentMemoryBufferChannel::Instance().Clear();
    EXPECT_FALSE(Serializer::DeserializeFromBuffer(document, "{}", 1));
    EXPECT_FALSE(Serializer::DeserializeFromBuffer(object, "{}", 2));
    EXPECT_TRUE(document.isNull());
    EXPECT_EQ("", RecentMemoryBufferChannel::Instance().getContents());
    EXPECT_EQ(0u, object.receivedVersion);
}

TEST_F(SerializerTest, TextStopsAtTheFirstZeroByte) {
    std::string text("{\"name\": \"cut\"}\0garbage that is not json", 40);
    RecordingDocument object;
    EXPECT_TRUE(Serializer::DeserializeFromBuffer(object, text, Serializer::JSON));
    EXPECT_EQ("cut", object.name);
}

TEST_F(SerializerTest, FetchVersionErrors) {
    EXPECT_THROW(ISerializable::FetchVersion(ISerializable::json()), Poco::NullPointerException);
    ISerializable::json document;
    ASSERT_TRUE(Serializer::DeserializeFromBuffer(document, R"({"version": "x"})", Serializer::JSON));
    EXPECT_ANY_THROW(ISerializable::FetchVersion(document));
}
