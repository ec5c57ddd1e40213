#include <sys/stat.h>

#include <climits>
#include <memory>
#include <string>

#include <Poco/File.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/NumberParser.h>
#include <Poco/Timestamp.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/RecentMemoryBufferChannel.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::ProblemReporter;

namespace {

const Poco::Int64 SECOND = 1000000;

// Reports go to a loopback listener of the test's own that never answers: the
// connection waits in its queue while the report is written and closed.
class ProblemReporterTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        pointAt(*sink);
    }

    void TearDown() override { ASSERT_TRUE(idle()); }

    void pointAt(const Poco::Net::ServerSocket& listener) {
        reporter().setEndpoint("http://127.0.0.1:" + std::to_string(listener.address().port()) + "/problem.php");
    }

    static ProblemReporter& reporter() { return ProblemReporter::Instance(); }
    static bool idle() {
        return VantisTest::WaitFor([] { return !reporter().isSending(); }, 30000);
    }
    static std::string logged() { return VantisClient::RecentMemoryBufferChannel::Instance().getContents(); }
    static bool wasLogged(const std::string& text) { return logged().find(text) != std::string::npos; }
    // A report whose text names `tag`; the tag shows in the "Sending" line once it went out.
    static void report(const std::string& tag) { reporter().redistDefinitionNotFound("1207658924", tag); }
    static bool wasSent(const std::string& tag) {
        return wasLogged("]: Sending problem report: {\"Arguments\":{") && wasLogged("\"redistName\":\"" + tag + "\"");
    }

    void writeLastReportTime(const std::string& jsonValue) {
        sandbox.writeFile("Config.json", "{\"lastReportTime\":" + jsonValue + ",\"updateChannel\":\"beta\"}");
    }
    static std::string quoted(Poco::Int64 microseconds) { return "\"" + std::to_string(microseconds) + "\""; }

    Poco::JSON::Object::Ptr config() const {
        Poco::JSON::Parser parser;
        return parser.parse(sandbox.readFile("Config.json")).extract<Poco::JSON::Object::Ptr>();
    }
    Poco::Int64 storedTime() const {
        return Poco::NumberParser::parse64(config()->getValue<std::string>("lastReportTime"));
    }

    std::unique_ptr<Poco::Net::ServerSocket> sink{
        new Poco::Net::ServerSocket(Poco::Net::SocketAddress("127.0.0.1", 0))};
};

}  // namespace

TEST_F(ProblemReporterTest, ReportsAreSpacedByTheComplainInterval) {
    // The last report went out ten seconds ago.
    const struct {
        unsigned int interval;
        bool sent;
    } cases[] = {{0, true}, {5, true}, {10, true}, {11, false}, {ProblemReporter::DEFAULT_COMPLAIN_INTERVAL, false},
                 {UINT_MAX, false}};
    for (const auto& c : cases) {
        ProblemReporter::Reset();
        pointAt(*sink);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        const Poco::Int64 tenSecondsAgo = Poco::Timestamp().epochMicroseconds() - 10 * SECOND;
        writeLastReportTime(quoted(tenSecondsAgo));
        reporter().setComplainInterval(c.interval);
        const std::string tag = "interval " + std::to_string(c.interval);
        report(tag);
        ASSERT_TRUE(idle());
        EXPECT_EQ(c.sent, wasSent(tag)) << tag;
        EXPECT_EQ(!c.sent, wasLogged("]: Discarding problem report because 10s elapsed since last sending\n")) << tag;
        EXPECT_EQ(c.sent, storedTime() > tenSecondsAgo) << tag;
    }
}

TEST_F(ProblemReporterTest, ALastReportTimeInTheFutureDoesNotSilenceReports) {
    const Poco::Int64 before = Poco::Timestamp().epochMicroseconds();
    writeLastReportTime(quoted(before + 86400 * SECOND));
    report("after a clock change");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(wasSent("after a clock change"));
    EXPECT_GE(storedTime(), before);
    EXPECT_LE(storedTime(), Poco::Timestamp().epochMicroseconds());
    // From now on the interval counts again.
    report("right after");
    EXPECT_TRUE(wasLogged("]: Discarding problem report because 0s elapsed since last sending\n"));
}

TEST_F(ProblemReporterTest, AnUnreadableLastReportTimeCountsAsNever) {
    int round = 0;
    for (const char* value : {"\"abc\"", "\"\"", "\"-5\"", "\"12a\"", "12345", "null"}) {
        ProblemReporter::Reset();
        pointAt(*sink);
        writeLastReportTime(value);
        const std::string tag = "time " + std::to_string(++round);
        report(tag);
        ASSERT_TRUE(idle());
        EXPECT_TRUE(wasSent(tag)) << value;
    }
}

TEST_F(ProblemReporterTest, TheSendTimeIsStoredBesideTheOtherSettingsForTheOwnerOnly) {
    for (bool existing : {false, true}) {
        ProblemReporter::Reset();
        pointAt(*sink);
        if (existing) {
            sandbox.writeFile("Config.json", R"({"loggingChannels":["Timer"],"updateChannel":"beta"})");
            ASSERT_EQ(0, ::chmod(sandbox.path("Config.json").c_str(), 0777));
        }
        const Poco::Int64 before = Poco::Timestamp().epochMicroseconds();
        report("stored");
        ASSERT_TRUE(idle());
        Poco::JSON::Object::Ptr written = config();
        EXPECT_EQ(existing ? 3u : 1u, written->size());
        EXPECT_GE(storedTime(), before);
        if (existing) {
            EXPECT_EQ("beta", written->getValue<std::string>("updateChannel"));
            EXPECT_EQ("Timer", written->getArray("loggingChannels")->getElement<std::string>(0));
        }
        struct stat status {};
        ASSERT_EQ(0, ::stat(sandbox.path("Config.json").c_str(), &status));
        EXPECT_EQ(0600u, status.st_mode & 0777u);
    }
}

TEST_F(ProblemReporterTest, AConfigurationThatDoesNotParseIsLeftAlone) {
    const std::string broken = "{\"updateChannel\": \"beta\", \"loggingChannels\": [";
    sandbox.writeFile("Config.json", broken);
    report("first");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(wasSent("first"));
    EXPECT_TRUE(wasLogged("[Warning]: Unable to read json contents from " + sandbox.path("Config.json") + "\n"));
    EXPECT_EQ(broken, sandbox.readFile("Config.json"));
    // The time lives on in memory.
    report("second");
    EXPECT_TRUE(wasLogged("]: Discarding problem report because 0s elapsed since last sending\n"));
}

TEST_F(ProblemReporterTest, AReportRaisedWhileOneIsInFlightIsDropped) {
    // A listener whose queue is full: the report's connection waits unanswered, so it stays in flight.
    std::unique_ptr<Poco::Net::ServerSocket> full(
        new Poco::Net::ServerSocket(Poco::Net::SocketAddress("127.0.0.1", 0), 0));
    Poco::Net::StreamSocket queued(full->address());
    pointAt(*full);
    reporter().setComplainInterval(0);

    report("in flight");
    ASSERT_TRUE(VantisTest::WaitFor([] { return wasSent("in flight"); }));
    ASSERT_TRUE(reporter().isSending());
    const Poco::Int64 firstTime = storedTime();
    report("dropped");
    EXPECT_GT(storedTime(), firstTime);  // the interval counts from the dropped one too

    full.reset();  // refuses the waiting connection
    ASSERT_TRUE(idle());
    EXPECT_TRUE(wasLogged("[Warning]: Error during sending problem report: "));
    EXPECT_FALSE(wasSent("dropped"));
    EXPECT_FALSE(wasLogged("Discarding problem report"));

    pointAt(*sink);
    report("next");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(wasSent("next"));
}
