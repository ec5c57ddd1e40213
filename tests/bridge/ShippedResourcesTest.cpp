#include <memory>
#include <string>

#include <Poco/JSON/Object.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "bridge/WebCacheSeeder.h"
#include "common/ApplicationEnvironment.h"
#include "platform/LinuxApplicationPaths.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"

using VantisClient::ApplicationEnvironment;

namespace {

// The real application-support root, with this build tree as the bundle.
class BuildTreePaths : public VantisClient::LinuxApplicationPaths {
public:
    std::string bundleDirectory() override { return VANTIS_TEST_BUNDLE_DIR; }
};

class ShippedResourcesTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { VantisClient::Platform::SetPaths(std::make_shared<BuildTreePaths>()); }
};

}  // namespace

TEST_F(ShippedResourcesTest, EveryResourceTheShellsNameIsInTheBundle) {
    struct Case {
        const char* name;
        const char* type;
        std::string holds;
    } cases[] = {
        {"fallbackPage", "htm", "\"UpdateLayout\""},
        {"gameview", "js", "receiveMessage"},
        {"loginpage", "js", "sendMessage"},
        {"GreenDot", "png", "\x89PNG\r\n\x1a\n"},
        {"YellowDot", "png", "\x89PNG\r\n\x1a\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string contents = VantisTest::ReadWholeFile(ApplicationEnvironment::GetResourcePath(c.name, c.type));
        EXPECT_NE(std::string::npos, contents.find(c.holds));
    }
    const Poco::JSON::Object::Ptr defaults =
        VantisTest::ParseJson(VantisTest::ReadWholeFile(ApplicationEnvironment::GetResourcePath("Defaults", "json")));
    ASSERT_TRUE(defaults);
    EXPECT_EQ(2, defaults->getValue<int>("partsInFlight"));
}

TEST_F(ShippedResourcesTest, TheFallbackPageNeedsNoOtherFile) {
    const std::string page = VantisTest::ReadWholeFile(ApplicationEnvironment::GetResourcePath("fallbackPage", "htm"));
    ASSERT_FALSE(page.empty());
    for (const char* reference : {"src=", "href=", "@import", "url("}) {
        EXPECT_EQ(std::string::npos, page.find(reference)) << reference;
    }
}

TEST_F(ShippedResourcesTest, TheSeedHoldsTheCardTheBackendServes) {
    const std::string gameId = VantisTest::SampleGame::BASE_ID;
    ASSERT_TRUE(VantisClient::WebCacheSeeder::seed(gameId));
    for (const char* file : {"index.html", "card.css", "card-format.js", "card.js"}) {
        SCOPED_TRACE(file);
        const std::string served = VantisTest::ReadWholeFile(std::string(VANTIS_TEST_GAMECARD_DIR) + "/" + file);
        ASSERT_FALSE(served.empty());
        EXPECT_EQ(served, sandbox.readFile("WebCache/" + gameId + "/" + file));
    }
}
