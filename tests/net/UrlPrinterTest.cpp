#include <gtest/gtest.h>

#include "net/UrlPrinter.h"

using VantisClient::Http::HttpRequest;
using VantisClient::Http::UrlPrinter;

namespace {

HttpRequest request(HttpRequest::Protocol protocol, const std::string& host, uint16_t port, const std::string& path,
                    std::map<std::string, std::string> params = {}) {
    HttpRequest built;
    built.protocol = protocol;
    built.host = host;
    built.port = port;
    built.path = path;
    built.params = std::move(params);
    return built;
}

}  // namespace

TEST(UrlPrinterTest, PrintsSchemeHostPortPathAndParametersInNameOrder) {
    const struct {
        HttpRequest request;
        const char* expected;
    } cases[] = {
        {request(HttpRequest::PROTOCOL_HTTPS, "h", 0, "a/b"), "https://h/a/b"},
        {request(HttpRequest::PROTOCOL_HTTP, "h", 8080, "a"), "http://h:8080/a"},
        {request(HttpRequest::PROTOCOL_HTTP, "h", 0, "a", {{"b", "2"}, {"a", "1"}}), "http://h/a?a=1&b=2"},
        {request(HttpRequest::PROTOCOL_HTTP, "h", 0, "a", {{"flag", ""}, {"x", "y"}}), "http://h/a?flag&x=y"},
        {request(HttpRequest::PROTOCOL_HTTPS, "h", 0, "token", {{"password", "p&code=x w"}, {"username", "u"}}),
         "https://h/token?password=***&username=u"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, UrlPrinter::UrlToString(c.request));
}

TEST(UrlPrinterTest, SendsParametersPercentEncodedAfterThePathsOwnQuery) {
    EXPECT_EQ("/token?password=a%26b%2Bc%23d%3De%20f&user=%C3%A9",
              UrlPrinter::RequestTarget(request(HttpRequest::PROTOCOL_HTTPS, "h", 0, "token",
                                                {{"password", "a&b+c#d=e f"}, {"user", "\xC3\xA9"}})));
    EXPECT_EQ("/licences?gameId=1&x=1",
              UrlPrinter::RequestTarget(request(HttpRequest::PROTOCOL_HTTPS, "h", 0, "licences?gameId=1", {{"x", "1"}})));
    EXPECT_EQ("/plain", UrlPrinter::RequestTarget(request(HttpRequest::PROTOCOL_HTTPS, "h", 0, "plain")));
}

TEST(UrlPrinterTest, RangeIsTheRangeHeaderWhateverItsCase) {
    HttpRequest ranged;
    EXPECT_EQ("", UrlPrinter::RangeToString(ranged));
    ranged.headers.emplace("range", "bytes=0-99");
    EXPECT_EQ("bytes=0-99", UrlPrinter::RangeToString(ranged));
}

TEST(HttpRequestTest, IdsAreHexMicrosecondsKeptByCopiesAndStampsAccumulate) {
    HttpRequest first;
    EXPECT_FALSE(first.requestId.empty());
    EXPECT_EQ(std::string::npos, first.requestId.find_first_not_of("0123456789ABCDEF"));
    // More than nine years of microseconds since the epoch of ids.
    EXPECT_GT(std::stoull(first.requestId, nullptr, 16), 9ULL * 365 * 24 * 3600 * 1000000);
    HttpRequest copy = first;
    EXPECT_EQ(first.requestId, copy.requestId);
    first.addTimeStamp("X-Schedule-Time");
    first.addTimeStamp("X-Schedule-Time");
    EXPECT_EQ(2u, first.headers.count("x-schedule-time"));
    EXPECT_NE(std::string::npos, first.lastHeader("X-Schedule-Time").find(" GMT"));
}
