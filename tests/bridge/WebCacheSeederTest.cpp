#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/DateTime.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/Zip/Compress.h>
#include <Poco/Zip/ZipUtil.h>
#include <gtest/gtest.h>

#include "bridge/WebCacheSeeder.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "platform/LinuxApplicationPaths.h"
#include "platform/Platform.h"
#include "support/FileProbes.h"
#include "support/Sandbox.h"

using VantisClient::WebCacheSeeder;
using VantisTest::ExistsNoFollow;
using VantisTest::ModeOf;

namespace {

const char* const GAME_ID = "1207658924";

// The real application-support root, with the bundle in the sandbox.
class SandboxBundlePaths : public VantisClient::LinuxApplicationPaths {
public:
    explicit SandboxBundlePaths(std::string bundle) : m_bundle(std::move(bundle)) {}
    std::string bundleDirectory() override { return m_bundle; }

private:
    std::string m_bundle;
};

struct Entry {
    std::string name;
    std::string contents;
    // A Unix link, its target being the contents.
    bool link = false;
};

// Poco's archiver refuses names that climb or are absolute; an archive made by
// anyone else need not. Each entry is written under a stand-in name of the
// same length, which is then replaced wherever the archive holds it.
std::string standIn(size_t index, size_t length) {
    std::string name = "Q" + std::to_string(index);
    name.resize(length, 'Q');
    return name;
}

void replaceAll(std::string& bytes, const std::string& from, const std::string& to) {
    for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
    }
}

// Marks the central directory record of `name` as made on Unix with a link's mode.
void markAsLink(std::string& bytes, const std::string& name) {
    const std::string signature("PK\x01\x02", 4);
    for (size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 1)) {
        const size_t nameLength = Poco::Zip::ZipUtil::get16BitValue(bytes.data(), static_cast<Poco::UInt32>(at + 28));
        if (bytes.compare(at + 46, nameLength, name) != 0) continue;
        bytes[at + 5] = 3;  // made on Unix
        Poco::Zip::ZipUtil::set32BitValue((S_IFLNK | 0777u) << 16, &bytes[0], static_cast<Poco::UInt32>(at + 38));
    }
}

std::string zipOf(const std::vector<Entry>& entries) {
    std::ostringstream out;
    Poco::Zip::Compress compress(out, true);
    for (size_t i = 0; i < entries.size(); ++i) {
        std::istringstream contents(entries[i].contents);
        compress.addFile(contents, Poco::DateTime(), Poco::Path(standIn(i, entries[i].name.size()), Poco::Path::PATH_UNIX),
                         Poco::Zip::ZipCommon::CM_STORE);
    }
    compress.close();
    std::string bytes = out.str();
    for (size_t i = 0; i < entries.size(); ++i) {
        replaceAll(bytes, standIn(i, entries[i].name.size()), entries[i].name);
        if (entries[i].link) markAsLink(bytes, entries[i].name);
    }
    return bytes;
}

class WebCacheSeederTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        VantisClient::Platform::SetPaths(std::make_shared<SandboxBundlePaths>(sandbox.path("bundle")));
    }

    void shipSeed(const std::string& bytes) const { sandbox.writeFile("bundle/.webcache.zip", bytes); }

    std::string cached(const std::string& relative) const {
        return sandbox.path("WebCache/" + std::string(GAME_ID) + relative);
    }

    // Everything in the web-cache directory, sorted.
    std::vector<std::string> webCacheEntries() const {
        std::vector<std::string> names;
        if (ExistsNoFollow(sandbox.path("WebCache"))) Poco::File(sandbox.path("WebCache")).list(names);
        std::sort(names.begin(), names.end());
        return names;
    }

    static bool logged(const std::string& text) {
        return VantisClient::RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }
};

}  // namespace

TEST_F(WebCacheSeederTest, SeedsAGameOnceWithOwnerOnlyPermissions) {
    shipSeed(zipOf({{"index.html", "<html>seed</html>"}, {"css/main.css", "body {}"}, {"img/", ""}}));
    ASSERT_TRUE(WebCacheSeeder::seed(GAME_ID));
    EXPECT_EQ("<html>seed</html>", VantisTest::ReadWholeFile(cached("/index.html")));
    EXPECT_EQ("body {}", VantisTest::ReadWholeFile(cached("/css/main.css")));
    for (const char* directory : {"", "/css", "/img"}) EXPECT_EQ(0700u, ModeOf(cached(directory))) << directory;
    for (const char* file : {"/index.html", "/css/main.css"}) EXPECT_EQ(0600u, ModeOf(cached(file))) << file;
    EXPECT_EQ(std::vector<std::string>{GAME_ID}, webCacheEntries());

    // What the game's directory holds by now is the user's, whatever a newer seed says.
    sandbox.writeFile("WebCache/" + std::string(GAME_ID) + "/index.html", "<html>visited</html>");
    shipSeed(zipOf({{"index.html", "<html>newer seed</html>"}}));
    EXPECT_TRUE(WebCacheSeeder::seed(GAME_ID));
    EXPECT_EQ("<html>visited</html>", VantisTest::ReadWholeFile(cached("/index.html")));
}

TEST_F(WebCacheSeederTest, AHostileOrBrokenArchiveIsRefusedWhole) {
    const std::string outside = sandbox.path("outside");
    struct Case {
        const char* what;
        std::string archive;
        std::string warning;
    } cases[] = {
        {"climbing entry", zipOf({{"index.html", "x"}, {"../../outside", "x"}}), "'../../outside'"},
        {"climbing inside", zipOf({{"index.html", "x"}, {"css/../../../outside", "x"}}), "'css/../../../outside'"},
        {"absolute entry", zipOf({{"index.html", "x"}, {outside, "x"}}), "'" + outside + "'"},
        {"zero byte", zipOf({{"index.html", "x"}, {std::string("a.js\0.png", 9), "x"}}), "'a.js\\0.png'"},
        {"backslash", zipOf({{"index.html", "x"}, {"..\\outside", "x"}}), "'..\\outside'"},
        {"link entry", zipOf({{"index.html", "x"}, {"card.css", outside, true}}), "'card.css'"},
        {"not an archive", "plain text, no archive", "it holds no index.html"},
        {"no entry page", zipOf({{"card.css", "x"}}), "it holds no index.html"},
        {"no archive", "", "Unable to open the web cache seed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        if (c.archive.empty()) {
            ::unlink(sandbox.path("bundle/.webcache.zip").c_str());
        } else {
            shipSeed(c.archive);
        }
        EXPECT_FALSE(WebCacheSeeder::seed(GAME_ID));
        EXPECT_TRUE(webCacheEntries().empty());
        EXPECT_FALSE(ExistsNoFollow(outside));
        EXPECT_TRUE(logged(c.warning)) << VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        EXPECT_TRUE(logged("Unable to copy webcache resources to " + cached("")));
    }
}

TEST_F(WebCacheSeederTest, ALeftOverOfAnInterruptedSeedingIsRemoved) {
    sandbox.writeFile("WebCache/.seed-" + std::string(GAME_ID) + "-h3Xq9z/index.html", "<html>half</html>");
    sandbox.writeFile("WebCache/.seed-12070-a1b2c3/index.html", "another game's");
    shipSeed(zipOf({{"index.html", "<html>seed</html>"}}));
    ASSERT_TRUE(WebCacheSeeder::seed(GAME_ID));
    EXPECT_EQ("<html>seed</html>", VantisTest::ReadWholeFile(cached("/index.html")));
    EXPECT_EQ((std::vector<std::string>{".seed-12070-a1b2c3", GAME_ID}), webCacheEntries());
}

TEST_F(WebCacheSeederTest, OnlyAPlainGameIdNamesADirectory) {
    shipSeed(zipOf({{"index.html", "<html>seed</html>"}}));
    for (const char* gameId : {"", "12a", "../1", "1/2", ".", "123456789012345678901"}) {
        SCOPED_TRACE(gameId);
        EXPECT_FALSE(WebCacheSeeder::seed(gameId));
        EXPECT_TRUE(webCacheEntries().empty());
    }
    EXPECT_TRUE(WebCacheSeeder::seed("12345678901234567890"));
}
