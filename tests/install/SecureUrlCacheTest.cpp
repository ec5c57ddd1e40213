#include <gtest/gtest.h>

#include "install/SecureUrlCache.h"

namespace VantisClient {
namespace {

SecureUrlInfo link(const std::string& product, const std::string& file, const std::string& url, bool redist = false) {
    SecureUrlInfo info(product, file, redist);
    info.url = url;
    return info;
}

TEST(SecureUrlCacheTest, TokenizeTakesTheFirstAndLastComponents) {
    const struct {
        const char* url;
        const char* product;  // "kept" when the product is left as it was
        const char* file;
    } cases[] = {
        {"12/ab", "12", "ab"},     {"a/b/c", "a", "c"}, {"c", "kept", "c"}, {" 12 / ab ", "12", "ab"},
        {"12/", "12", ""}, {"", "kept", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        std::string product = "kept";
        std::string file = "old";
        SecureUrlCache::tokenizeUrl(c.url, product, file);
        EXPECT_EQ(c.product, product);
        EXPECT_EQ(c.file, file);
    }
}

TEST(SecureUrlCacheTest, KeepsTheFirstLinkOfAPairAndFindsByBothKeys) {
    SecureUrlCache cache;
    EXPECT_EQ("{  }", cache.dumpContents());
    cache.addItem(link("12", "ab", "https://first"));
    cache.addItem(link("12", "ab", "https://second"));
    cache.addItem(link("", "ab", "https://unkeyed", true));

    EXPECT_EQ("https://first", cache.findBinaryFileInCache({"12", "ab"}).value().url);
    EXPECT_EQ("https://unkeyed", cache.findBinaryFileInCache({"", "ab"}).value().url);
    EXPECT_FALSE(cache.findBinaryFileInCache({"13", "ab"}).isSpecified());
    EXPECT_EQ("{ (12, ab) -> https://first; (, ab)(r) -> https://unkeyed;  }", cache.dumpContents());
    cache.clear();
    EXPECT_FALSE(cache.findBinaryFileInCache({"12", "ab"}).isSpecified());
}

TEST(SecureUrlCacheTest, ALinkIsRemovedOnlyWhileTheCacheStillHoldsIt) {
    SecureUrlCache cache;
    cache.addItem(link("12", "ab", "https://fresh"));
    // A late answer about the link the fresh one replaced.
    EXPECT_FALSE(cache.removeLink(link("12", "ab", "https://dead")));
    EXPECT_TRUE(cache.findBinaryFileInCache({"12", "ab"}).isSpecified());
    EXPECT_TRUE(cache.removeLink(link("12", "ab", "https://fresh")));
    EXPECT_FALSE(cache.findBinaryFileInCache({"12", "ab"}).isSpecified());
    EXPECT_FALSE(cache.removeLink(link("12", "ab", "https://fresh")));
}

}  // namespace
}  // namespace VantisClient
