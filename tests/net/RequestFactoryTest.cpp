#include <gtest/gtest.h>

#include "common/Constants.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HostProvider.h"
#include "net/RequestFactory.h"
#include "net/UrlPrinter.h"
#include "support/Sandbox.h"

using VantisClient::Http::HostProvider;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::RequestFactory;
using VantisClient::Http::UrlPrinter;

namespace {

class RequestFactoryTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        HostProvider::Instance()->setHost("products", "products.test:8443");
        HostProvider::Instance()->setHost("auth", "auth.test");
        HostProvider::Instance()->setHost("users", "users.test:9000");
        VantisClient::Http::HostProvider::Instance()->setConfigHost("config.test:7443");
    }
};

}  // namespace

TEST_F(RequestFactoryTest, BuildsEveryBackendRequestOnItsHostAndPort) {
    const struct {
        HttpRequest request;
        const char* url;
        int32_t timeout;
    } cases[] = {
        {RequestFactory::getManifestUrl("42"), "https://products.test:8443/games/42/os/linux/rootManifests", 10},
        {RequestFactory::getDepotManifestUrl("42", "m1"), "https://products.test:8443/games/42/os/linux/manifests/m1",
         10},
        {RequestFactory::getDepotBinaryFileUrl("42", "d", "ab/cd"),
         "https://products.test:8443/games/42/os/linux/depots/d/ab/cd", 10},
        {RequestFactory::getRedistributablesMainManifest(),
         "https://products.test:8443/redists/packages/manifests/files/repository.json", 10},
        {RequestFactory::getRedistributableManifest("r.json"),
         "https://products.test:8443/redists/packages/manifests/files/r.json", 10},
        {RequestFactory::getRedistributableBinary("p", "f.bin"),
         "https://products.test:8443/redists/packages/p/files/f.bin", 10},
        {RequestFactory::getUserDetails(7), "https://users.test:9000/users/7", 5},
        {RequestFactory::getUserOwnProduct("42"), "https://products.test:8443/licences?gameId=42", 5},
        {RequestFactory::getAPIStatus(), "https://config.test:7443/vantis-client-config.json", 5},
        {RequestFactory::getManifestOrBinaryFile("HTTP://cdn.test/a/b?x=1"), "http://cdn.test:80/a/b?x=1", 10},
        {RequestFactory::getManifestOrBinaryFile("https://cdn.test:4443/m"), "https://cdn.test:4443/m", 10},
        {RequestFactory::getWebPageAvailable("https://web.test/a/b"), "http://web.test/a/b", 2},
        {RequestFactory::getWebPageAvailable("http://web.test:18080/gameview/dist/1"),
         "http://web.test:18080/gameview/dist/1", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.url, UrlPrinter::UrlToString(c.request));
        EXPECT_EQ(c.timeout, c.request.timeout) << c.url;
        EXPECT_EQ(HttpRequest::HTTP_METHOD_GET, c.request.method) << c.url;
        EXPECT_EQ(0, c.request.resendAttempts) << c.url;
    }
}

TEST_F(RequestFactoryTest, ExchangeTokenEncodesAnyCodeAndNeverPrintsSecrets) {
    const std::string code = "a&b+c#d=e f" + std::string(3000, 'x');
    HttpRequest request = RequestFactory::getExchangeTokenRequest(code);
    EXPECT_EQ("auth.test", request.host);
    EXPECT_EQ(0, request.port);
    // A short outage of the auth host is ridden out as for the other token requests.
    EXPECT_EQ(RequestFactory::TOKEN_REQUEST_RESENDS, request.resendAttempts);
    const std::string target = UrlPrinter::RequestTarget(request);
    EXPECT_NE(std::string::npos, target.find("&code=a%26b%2Bc%23d%3De%20f" + std::string(3000, 'x') + "&"));
    EXPECT_NE(std::string::npos, target.find("redirect_uri=vantisclient%3A%2F%2Flogin_success"));
    EXPECT_NE(std::string::npos, target.find(std::string("client_secret=") + VantisClient::CLIENT_SECRET));
    const std::string printed = UrlPrinter::UrlToString(request);
    EXPECT_EQ(std::string::npos, printed.find(VantisClient::CLIENT_SECRET));
    EXPECT_EQ(std::string::npos, printed.find("xxx"));
    EXPECT_NE(std::string::npos, printed.find("grant_type=authorization_code"));
}

TEST_F(RequestFactoryTest, ContentLinksAreTakenOverHttpsOnlyAndARefusalNamesTheHostNotTheQuery) {
    VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    const struct {
        const char* link;
        bool accepted;
        const char* logged;
    } cases[] = {
        {"https://cdn.test/content/a.bin?signature=s3cr3t", true, ""},
        {"HTTPS://cdn.test:8443/content/a.bin?signature=s3cr3t", true, ""},
        {"http://cdn.test/content/a.bin?signature=s3cr3t", false,
         "Refused the link for file a.bin to host 'cdn.test' over 'http'"},
        {"ftp://cdn.test/content/a.bin?signature=s3cr3t", false,
         "Refused the link for file a.bin to host 'cdn.test' over 'ftp'"},
        {"/content/a.bin?signature=s3cr3t", false, "Malformed link /content/a.bin?signature=***: it names no host"},
        {"https://[cdn.test/content/a.bin?signature=s3cr3t", false, "Malformed link https://[cdn.test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        EXPECT_EQ(c.accepted, RequestFactory::AcceptsContentLink(c.link, "file a.bin"));
        const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        if (c.accepted) {
            EXPECT_EQ("", log);
            continue;
        }
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        EXPECT_EQ(std::string::npos, log.find("s3cr3t")) << log;
    }
}

TEST(HostProviderTest, DefaultsToTheBuiltInHostsUntilOverridden) {
    VantisTest::Sandbox sandbox;
    HostProvider* hosts = HostProvider::Instance();
    EXPECT_EQ(VantisClient::API_HOST, hosts->getProductsHost());
    EXPECT_EQ(VantisClient::API_HOST, hosts->getAuthHost());
    EXPECT_EQ(std::string(VantisClient::WEB_HOST) + "/gameview/dist/", hosts->getGamecardHost());
    hosts->setHost("gamecards", "cards.test/x");
    hosts->setHost("unknown", "ignored.test");
    hosts->setConfigHost("config.test");
    EXPECT_EQ("cards.test/x", hosts->getGamecardHost());
    HostProvider::Reset();
    EXPECT_EQ(std::string(VantisClient::WEB_HOST) + "/gameview/dist/", hosts->getGamecardHost());
    EXPECT_EQ(VantisClient::API_STATUS_ENDPOINT_HOST_PRODUCTION, hosts->getConfigHost());
}
