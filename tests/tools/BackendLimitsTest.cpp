// What the backend keeps in memory stays within its bounds, and what it
// matches costs time in proportion to the input: the stores and the fault-path
// matcher on their own.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backend/FaultInjector.h"
#include "backend/PathPattern.h"
#include "backend/ProblemReportStore.h"
#include "backend/TokenStore.h"
#include "support/Sandbox.h"

using VantisClient::Backend::FaultInjector;
using VantisClient::Backend::PathPattern;
using VantisClient::Backend::ProblemReportStore;
using VantisClient::Backend::ServedRequest;
using VantisClient::Backend::TokenStore;

TEST(BackendPathPatternTest, MatchesLikeARegularExpressionSearch) {
    struct Case {
        const char* pattern;
        std::string path;
        bool matches;
    };
    const Case cases[] = {
        {"", "/anything", true},
        {"^/content/", "/content/games/1/product.json", true},
        {"^/content/", "/x/content/", false},
        {"config\\.json$", "/vantis-client-config.json", true},
        {"config\\.json$", "/vantis-client-configXjson", false},
        {"config\\.json$", "/vantis-client-config.json/more", false},
        {"config", "/vantis-client-config.json", true},
        {"/depots/[0-9]+/[^/]+\\.bin$", "/games/1/os/linux/depots/42/abc.bin", true},
        {"/depots/[0-9]+/[^/]+\\.bin$", "/games/1/os/linux/depots/x/abc.bin", false},
        {"^/(games|redists)/", "/redists/packages/x", true},
        {"^/(games|redists)/", "/users/1", false},
        {"^/a(bc)*d$", "/abcbcd", true},
        {"^/a(bc)*d$", "/abcbd", false},
        {"^/a{2,3}$", "/aaa", true},
        {"^/a{2,3}$", "/aaaa", false},
        {"^/a{2}$", "/aa", true},
        {"^/a{2,}$", "/aaaaaa", true},
        {"^/x{$", "/x{", true},
        {"\\d\\d", "/a1b2", false},
        {"\\w+\\s", "/a b", true},
        {"^/(?:ab)?c$", "/c", true},
        {"^/.*?x$", "/abx", true},
        {"[]a]", "/]", true},
        {"[a-]", "/-", true},
        {"^/(a+)+$", "/" + std::string(5000, 'a') + "!", false},
        {"(a*)*b", std::string(5000, 'a'), false},
        {"(.*a){20}", std::string(5000, 'a'), true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.pattern) + " on " + test.path.substr(0, 60));
        PathPattern pattern;
        std::string error;
        ASSERT_TRUE(PathPattern::Compile(test.pattern, pattern, error)) << error;
        EXPECT_EQ(test.matches, pattern.matches(test.path));
    }
}

TEST(BackendPathPatternTest, RefusesWhatItCannotMatchFaithfully) {
    const std::string refused[] = {
        "(a", "a)", "[abc", "*a", "a++", "(?=a)", "(?<n>a)", "(?i)a", "(\\w)\\1", "\\bword", "[[:alpha:]]",
        "[z-a]", "a{5,2}", "a{2000}", "(((a{100}){100}){100})", "x\\", std::string(2000, 'a'),
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(text.substr(0, 60));
        PathPattern pattern;
        std::string error;
        EXPECT_FALSE(PathPattern::Compile(text, pattern, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(BackendServedLogTest, KeepsTheNewestEntriesWithinItsBudget) {
    const size_t budget = 64 * 1024;
    FaultInjector faults(budget);
    for (int i = 0; i < 2000; ++i) {
        ServedRequest served;
        served.listener = "api";
        served.method = "GET";
        served.path = "/" + std::to_string(i) + "/" + std::string(10000, 'p');
        served.range = "bytes=" + std::string(1000, '1');
        faults.record(served);
    }
    EXPECT_LE(faults.servedBytes(), budget);
    const std::vector<ServedRequest> served = faults.served();
    ASSERT_GT(served.size(), 10u);
    EXPECT_EQ(0u, served.back().path.find("/1999/")) << "the newest is kept";
    EXPECT_EQ(FaultInjector::SERVED_PATH_LIMIT + 3, served.back().path.size()) << "cut, with a mark";
    EXPECT_LE(served.back().range.size(), FaultInjector::SERVED_FIELD_LIMIT + 3);
    faults.clearServed();
    EXPECT_EQ(0u, faults.servedBytes());
}

TEST(BackendTokenStoreTest, DropsWhatExpiredAndKeepsEachUserWithinItsLimit) {
    int64_t now = 1000;
    TokenStore tokens(60, [&now] { return now; });
    std::vector<std::string> codes;
    for (int i = 0; i < 10; ++i) {
        tokens.issue("player");
        codes.push_back(tokens.issueCode("player", "vantisclient://login_success"));
    }
    EXPECT_EQ(10u, tokens.accessTokenCount());
    EXPECT_EQ(10u, tokens.codeCount());

    now += TokenStore::CODE_LIFETIME_SECONDS + 1;
    const std::string access = tokens.issue("player").accessToken;
    tokens.issueCode("player", "vantisclient://login_success");
    EXPECT_EQ(1u, tokens.accessTokenCount()) << "expired access tokens are gone";
    EXPECT_EQ(1u, tokens.codeCount()) << "expired codes are gone";
    std::string user;
    EXPECT_TRUE(tokens.userOfAccessToken(access, user));
    EXPECT_FALSE(tokens.redeemCode(codes[0], "", user));

    // A refresh token in use survives however many sign-ins follow; an unused one gives way.
    const std::string inUse = tokens.issue("visitor").refreshToken;
    const std::string unused = tokens.issue("visitor").refreshToken;
    for (size_t i = 0; i < 2 * TokenStore::PER_USER_LIMIT; ++i) {
        tokens.issue("visitor");
        if (i % 100 == 0) {
            EXPECT_TRUE(tokens.userOfRefreshToken(inUse, user));
        }
    }
    EXPECT_TRUE(tokens.userOfRefreshToken(inUse, user));
    EXPECT_FALSE(tokens.userOfRefreshToken(unused, user));
    EXPECT_LE(tokens.refreshTokenCount(), 2 * TokenStore::PER_USER_LIMIT) << "both users within their limits";
    EXPECT_LE(tokens.accessTokenCount(), 2 * TokenStore::PER_USER_LIMIT);
}

class BackendReportStoreTest : public VantisTest::SandboxTest {};

TEST_F(BackendReportStoreTest, WritesEveryReportButKeepsOnlyTheRecentInMemory) {
    ProblemReportStore store(sandbox.path("reports"), 1000, 3000);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(store.add("{\"n\": " + std::to_string(i) + "}", std::string(400, 'A')));
    }
    EXPECT_FALSE(store.add("{\"n\": \"too large\"}", std::string(2000, 'A')));
    EXPECT_LE(store.recentBytes(), 3000u);
    const auto recent = store.reports();
    ASSERT_FALSE(recent.empty());
    EXPECT_EQ("{\"n\": 19}", recent.back().message);
    const std::string written = sandbox.readFile("reports/reports.jsonl");
    EXPECT_EQ(20, std::count(written.begin(), written.end(), '\n')) << "every accepted report, none refused";
}
