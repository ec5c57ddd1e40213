#include <gtest/gtest.h>

#include "common/SecretRedactor.h"

using VantisClient::SecretRedactor;

TEST(SecretRedactorTest, MasksTheValuesOfSecretQueryParameters) {
    const struct {
        const char* url;
        const char* expected;
    } cases[] = {
        {"https://h/token?client_id=1&client_secret=abc&grant_type=password&password=p%26w&username=u",
         "https://h/token?client_id=1&client_secret=***&grant_type=password&password=***&username=u"},
        {"https://h/token?refresh_token=r1&code=c1", "https://h/token?refresh_token=***&code=***"},
        {"https://h/token?code", "https://h/token?code"},
        {"https://h/token?code=", "https://h/token?code=***"},
        {"https://h/games/1?barcode=x&codes=y", "https://h/games/1?barcode=x&codes=y"},
        {"https://h/a?password=p#fragment", "https://h/a?password=***#fragment"},
        {"https://h/no/query", "https://h/no/query"},
        {"https://cdn/content/objects/ab?expires=99&signature=5f3a&token=t1",
         "https://cdn/content/objects/ab?expires=99&signature=***&token=***"},
        {"https://h/token?grant_type=steam_ticket&steam_ticket=0a0b", "https://h/token?grant_type=steam_ticket&steam_ticket=***"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, SecretRedactor::maskUrl(c.url)) << c.url;
}

TEST(SecretRedactorTest, MasksTheAuthorizationHeaderWhateverItsCase) {
    EXPECT_EQ("***", SecretRedactor::maskHeaderValue("Authorization", "Bearer t0ken"));
    EXPECT_EQ("***", SecretRedactor::maskHeaderValue("authorization", "Bearer t0ken"));
    EXPECT_EQ("bytes=0-9", SecretRedactor::maskHeaderValue("Range", "bytes=0-9"));
}

TEST(SecretRedactorTest, MasksTokenStringsInJsonWithoutParsingIt) {
    const struct {
        const char* json;
        const char* expected;
    } cases[] = {
        {R"({"access_token":"a1","expires_in":3600,"refresh_token" : "r\"1"})",
         R"({"access_token":"***","expires_in":3600,"refresh_token" : "***"})"},
        {R"({"error":"invalid_grant"})", R"({"error":"invalid_grant"})"},
        {R"({"access_token": "never closed)", R"({"access_token": "***")"},
        {R"({"access_token": null})", R"({"access_token": null})"},
        {R"({"link":"https://cdn/o/ab?expires=9&signature=5f3a","next":"https://cdn/o/cd?signature=77"})",
         R"({"link":"https://cdn/o/ab?expires=9&signature=***","next":"https://cdn/o/cd?signature=***"})"},
        {R"({"signature=": "kept", "note": "a?b&token=t1"})", R"({"signature=": "kept", "note": "a?b&token=***"})"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, SecretRedactor::maskJsonTokens(c.json)) << c.json;
}
