#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/ScopeTimer.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

class ScopeTimerTest : public VantisTest::SandboxTest {
protected:
    void start(const char* config) {
        sandbox.writeFile("Config.json", config);
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        RecentMemoryBufferChannel::Instance().Clear();
    }
};

}  // namespace

TEST_F(ScopeTimerTest, SilentWhenTheTimerChannelIsOff) {
    start(R"({"loggingChannels": ["HttpTraffic"]})");
    { ScopeTimer timer("Fetching product from DB"); }
    EXPECT_EQ("", RecentMemoryBufferChannel::Instance().getContents());
}

TEST_F(ScopeTimerTest, NestedTimersStartOutermostFirstAndEndInnermostFirst) {
    start(R"({"loggingChannels": ["Timer"]})");
    {
        ScopeTimer outer("outer");
        ScopeTimer inner(std::string("inner"));
    }
    std::string contents = RecentMemoryBufferChannel::Instance().getContents();
    size_t outerStart = contents.find("[Timer][Information]: outer started...\n");
    size_t innerStart = contents.find("[Timer][Information]: inner started...\n");
    // The durations depend on the machine; only the lines' order and shape are fixed.
    size_t innerEnd = contents.find("[Timer][Information]: inner took ");
    size_t outerEnd = contents.find("[Timer][Information]: outer took ");
    ASSERT_NE(std::string::npos, outerStart);
    ASSERT_NE(std::string::npos, innerEnd);
    ASSERT_NE(std::string::npos, outerEnd);
    EXPECT_LT(outerStart, innerStart);
    EXPECT_LT(innerStart, innerEnd);
    EXPECT_LT(innerEnd, outerEnd);
    EXPECT_NE(std::string::npos, contents.find(" milliseconds\n", outerEnd));
}

TEST(ScopeTimerUnitTest, DurationsAreWholeMillisecondsTruncated) {
    const struct {
        Poco::Timestamp::TimeDiff microseconds;
        unsigned long milliseconds;
    } cases[] = {{0, 0}, {999, 0}, {1000, 1}, {1999, 1}, {2000, 2}, {61000000, 61000}};
    for (const auto& c : cases) EXPECT_EQ(c.milliseconds, ScopeTimer::Milliseconds(c.microseconds)) << c.microseconds;
}
