#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "bridge/WebCacheFiller.h"
#include "bridge/WebCacheLayout.h"
#include "bridge/WebCacheWriter.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/Utilities.h"
#include "support/FileProbes.h"
#include "support/WaitFor.h"

using VantisClient::WebCacheFiller;
using VantisTest::ModeOf;

namespace {

const char* const CARD_PAGE = "<html>card</html>";
const char* const CARD_STYLE = "body { color: #eee; }";

// The backend serving a card of its own: index.html and css/main.css.
class WebCacheFillerTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        sandbox.writeFile("Config.json", R"({"loggingChannels": ["HttpTraffic"]})");
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        sandbox.writeFile("card/index.html", CARD_PAGE);
        sandbox.writeFile("card/css/main.css", CARD_STYLE);
        VantisClient::Backend::BackendOptions options;
        options.gamecardDirectory = sandbox.path("card");
        startBackend(options);
        endpoint = "127.0.0.1:" + std::to_string(server->webPort()) + "/gameview/dist";
        base = VantisClient::WebCacheLayout::BaseAddress(endpoint, gameId);
    }

    // Asks for `relative` below the card's base and waits until the filler is done with it.
    void fill(WebCacheFiller& filler, const std::string& relative) {
        ASSERT_TRUE(filler.requestWillBeSent(base + relative, endpoint, gameId));
        ASSERT_TRUE(VantisTest::WaitFor([&filler] { return filler.isIdle(); }));
    }

    std::string cached(const std::string& relative) const { return sandbox.path("WebCache/" + gameId + "/" + relative); }

    static bool logged(const std::string& text) {
        return VantisClient::RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }

    const std::string gameId = VantisTest::SampleGame::BASE_ID;
    std::string endpoint;
    std::string base;
};

}  // namespace

TEST_F(WebCacheFillerTest, AResourceLandsWholeAndOwnerOnlyBelowTheGamesDirectory) {
    WebCacheFiller filler;
    fill(filler, "css/main.css?v=2#top");
    EXPECT_EQ(CARD_STYLE, VantisTest::ReadWholeFile(cached("css/main.css")));
    EXPECT_EQ(0600u, ModeOf(cached("css/main.css")));
    EXPECT_EQ(0700u, ModeOf(cached("css")));
    EXPECT_EQ(0700u, ModeOf(cached("")));
    std::vector<std::string> names;
    Poco::File(cached("css")).list(names);
    EXPECT_EQ(std::vector<std::string>{"main.css"}, names);
    EXPECT_FALSE(filler.requestWillBeSent(base + "../1207658925/index.html", endpoint, gameId));
    EXPECT_FALSE(filler.requestWillBeSent(base + "index.html", endpoint, "../" + gameId));
}

TEST_F(WebCacheFillerTest, AFailedDownloadKeepsTheOlderCopyAndSaysSo) {
    const std::string stylePath = "^/gameview/dist/" + gameId + "/css/main.css$";
    struct Case {
        const char* what;
        std::string relative;
        std::string fault;
    } cases[] = {
        {"not there", "missing.css", ""},
        {"server error", "css/main.css", R"({"listener": "web", "path": ")" + stylePath + R"(", "action": "status", "status": 500})"},
        {"cut short", "css/main.css", R"({"listener": "web", "path": ")" + stylePath + R"(", "action": "truncate", "bytes": 5})"},
        {"dropped", "css/main.css", R"({"listener": "web", "path": ")" + stylePath + R"(", "action": "drop"})"},
    };
    sandbox.writeFile("WebCache/" + gameId + "/css/main.css", "older copy");
    WebCacheFiller filler;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        ASSERT_EQ(200, control("DELETE", "faults").status);
        if (!c.fault.empty()) {
            ASSERT_EQ(200, control("POST", "faults", c.fault).status);
        }
        fill(filler, c.relative);
        EXPECT_TRUE(logged("Failed to download resource with download path " + cached(c.relative)));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(cached("missing.css")));
        EXPECT_EQ("older copy", VantisTest::ReadWholeFile(cached("css/main.css")));
        std::vector<std::string> names;
        Poco::File(cached("css")).list(names);
        EXPECT_EQ(std::vector<std::string>{"main.css"}, names);
    }
}

TEST_F(WebCacheFillerTest, ALinkInsideTheCacheSendsNoWriteOutside) {
    const std::string outside = sandbox.path("outside");
    struct Case {
        const char* what;
        std::string link;
        std::string target;
        std::string relative;
        bool stored;
    } cases[] = {
        {"directory on the way", cached("css"), outside, "css/main.css", false},
        {"the game's directory", sandbox.path("WebCache/" + gameId), outside, "css/main.css", false},
        // Replaced by the download itself, never written through.
        {"the file itself", cached("index.html"), outside + "/index.html", "index.html", true},
    };
    WebCacheFiller filler;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        ASSERT_TRUE(VantisClient::Utilities::DeleteFileOrDirectory(sandbox.path("WebCache")));
        sandbox.writeFile("outside/index.html", "outside's own");
        Poco::File(Poco::Path(c.link).parent()).createDirectories();
        ASSERT_EQ(0, ::symlink(c.target.c_str(), c.link.c_str()));
        fill(filler, c.relative);
        EXPECT_EQ(c.stored, !logged("Failed to download resource with download path " + cached(c.relative)));
        EXPECT_EQ("outside's own", VantisTest::ReadWholeFile(outside + "/index.html"));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(outside + "/main.css"));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(outside + "/css"));
        if (c.stored) {
            EXPECT_EQ(CARD_PAGE, VantisTest::ReadWholeFile(cached(c.relative)));
        }
    }
}

TEST_F(WebCacheFillerTest, AResourceLongerThanTheBoundKeepsTheOlderCopyAndSaysSo) {
    const size_t styleLength = std::string(CARD_STYLE).size();
    sandbox.writeFile("WebCache/" + gameId + "/css/main.css", "older copy");
    {
        WebCacheFiller filler(styleLength - 1);
        fill(filler, "css/main.css");
    }
    EXPECT_TRUE(logged(std::to_string(styleLength) + " bytes exceed the bound of " + std::to_string(styleLength - 1)));
    EXPECT_TRUE(logged("Failed to download resource with download path " + cached("css/main.css")));
    EXPECT_EQ("older copy", VantisTest::ReadWholeFile(cached("css/main.css")));
    WebCacheFiller filler(styleLength);
    fill(filler, "css/main.css");
    EXPECT_EQ(CARD_STYLE, VantisTest::ReadWholeFile(cached("css/main.css")));
}

// An answer that does not announce its length is cut off at the bound while it streams.
TEST_F(WebCacheFillerTest, AStreamWithoutAnnouncedLengthStopsAtTheBound) {
    struct Case {
        const char* what;
        int64_t bound;
        bool stored;
    } cases[] = {
        {"within", 10, true},
        {"one byte over", 9, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        std::istringstream content("0123456789");
        EXPECT_EQ(c.stored, VantisClient::WebCacheWriter::Write(sandbox.path("WebCache"), "bounded.txt", content,
                                                                VantisClient::WebCacheWriter::UNKNOWN_LENGTH, c.bound));
        EXPECT_EQ(c.stored, VantisTest::ExistsNoFollow(sandbox.path("WebCache/bounded.txt")));
        EXPECT_EQ(!c.stored, logged("the content is longer than the bound"));
        ASSERT_TRUE(VantisClient::Utilities::DeleteFileOrDirectory(sandbox.path("WebCache")));
    }
}

// What the cache holds already, all games together, counts against its total
// and its file count; the copy a download replaces does not.
TEST_F(WebCacheFillerTest, TheCacheStaysWithinItsTotalAndItsFileCount) {
    const uint64_t styleLength = std::string(CARD_STYLE).size();
    struct Case {
        const char* what;
        uint64_t totalBytes;
        uint64_t files;
        const char* refusal;
    } cases[] = {
        {"room left", 10 + styleLength, 2, nullptr},
        {"the older copy is replaced, not added", 10 + styleLength, 2, nullptr},
        {"total reached", 10 + styleLength - 1, 3, "bytes left of the web cache's bound"},
        {"file count reached", 1024, 1, "the web cache holds 1 files, its bound"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        ASSERT_TRUE(VantisClient::Utilities::DeleteFileOrDirectory(sandbox.path("WebCache")));
        sandbox.writeFile("WebCache/1207658925/index.html", "0123456789");
        if (std::string(c.what).find("older copy") != std::string::npos) {
            sandbox.writeFile("WebCache/" + gameId + "/css/main.css", std::string(styleLength, 'x'));
        }
        {
            WebCacheFiller filler(WebCacheFiller::MAX_RESOURCE_BYTES, c.totalBytes, c.files);
            fill(filler, "css/main.css");
        }
        if (c.refusal == nullptr) {
            EXPECT_EQ(CARD_STYLE, VantisTest::ReadWholeFile(cached("css/main.css")));
        } else {
            EXPECT_TRUE(logged(c.refusal));
            EXPECT_FALSE(VantisTest::ExistsNoFollow(cached("css/main.css")));
        }
    }
}
