#include <string>

#include <gtest/gtest.h>

#include "bridge/WebCacheLayout.h"
#include "bridge/WebCacheResource.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "support/Sandbox.h"

using VantisClient::WebCacheResource;

TEST(WebCacheResource, OnlyPlainPathsBelowTheGameCardBaseAreCached) {
    VantisTest::Sandbox sandbox;
    VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    const std::string base = VantisClient::WebCacheLayout::BaseAddress("cards.test:18080/gameview/dist", "42");
    ASSERT_EQ("http://cards.test:18080/gameview/dist/42/", base);

    struct Case {
        std::string address;
        std::string relative;
        bool warned;
    } cases[] = {
        {base + "css/main.css", "css/main.css", false},
        {base + "card.js?v=3#top", "card.js", false},
        {base + "index.html#", "index.html", false},
        {"HTTP://CARDS.TEST:18080/gameview/dist/42/a.png", "a.png", false},
        {base + "fonts/a%20b.woff", "fonts/a b.woff", false},
        // Not one of the card's resources: passed by without a word.
        {base, "", false},
        {base + "?v=1", "", false},
        {"http://other.test:18080/gameview/dist/42/card.js", "", false},
        {"http://cards.test:18081/gameview/dist/42/card.js", "", false},
        {"https://cards.test:18080/gameview/dist/42/card.js", "", false},
        {"file:///gameview/dist/42/card.js", "", false},
        {"http://cards.test:18080/gameview/dist/421/card.js", "", false},
        {"http://cards.test:18080/gameview/dist/4/card.js", "", false},
        {"http://cards.test:18080/gameview/dist/42", "", false},
        {"http://cards.test:18080/avatars/1", "", false},
        {"not an address at all %zz", "", false},
        // Below the base but not a plain path: refused with a warning.
        {base + "../43/card.js", "", true},
        {base + "css/../../43/card.js", "", true},
        {base + "%2e%2e/43/card.js", "", true},
        {base + "%2E%2E%2F43%2Fcard.js", "", true},
        {base + "./card.js", "", true},
        {base + "css//main.css", "", true},
        {base + "/etc/passwd", "", true},
        {base + "css%5Cmain.css", "", true},
        {base + "css\\main.css", "", true},
        {base + "card.js%00.png", "", true},
        {base + "css/", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        EXPECT_EQ(c.relative, WebCacheResource::RelativePath(c.address, base));
        const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        EXPECT_EQ(c.warned, log.find("Not caching") != std::string::npos) << log;
    }
}
