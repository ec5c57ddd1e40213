// Problem reports against the real backend's collector: what arrives, with
// which log lines, and that no secret of the network layer travels with them.
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <Poco/JSON/Parser.h>
#include <Poco/Net/HTTPResponse.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "RecordingListener.h"
#include "common/BuildInfo.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "net/HttpManager.h"
#include "net/RequestFactory.h"
#include "support/WaitFor.h"

using Poco::Net::HTTPResponse;
using VantisClient::HttpManager;
using VantisClient::Logger;
using VantisClient::ProblemReporter;
using VantisClient::Backend::ProblemReport;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::IHttpClient;
using VantisTest::WaitFor;

namespace {

class ProblemReporterBackendTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        startBackend();
    }

    void TearDown() override {
        // The client leaves before the backend stops, so that no keep-alive
        // connection of its own is still being served then.
        HttpManager::Shutdown();
        BackendTest::TearDown();
    }

    void startReporting(unsigned int interval) {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        reporter().setEndpoint("http://" + server->context().webAuthority() + "/problem.php");
        reporter().setComplainInterval(interval);
    }

    static ProblemReporter& reporter() { return ProblemReporter::Instance(); }
    static bool idle() { return WaitFor([] { return !reporter().isSending(); }, 30000); }

    std::vector<ProblemReport> stored() const { return server->context().reports.reports(); }
    bool arrived(size_t count) const {
        return WaitFor([&] { return stored().size() >= count; }, 30000) && idle();
    }

    // A token grant through the client's own HTTP path, which logs the traffic.
    std::string requestToken(std::map<std::string, std::string> grant) {
        HttpRequest request;
        request.protocol = HttpRequest::PROTOCOL_HTTPS;
        request.host = "127.0.0.1";
        request.port = static_cast<uint16_t>(server->apiPort());
        request.path = "token";
        request.params = std::move(grant);
        request.params["client_id"] = server->context().options.clientId;
        request.params["client_secret"] = server->context().options.clientSecret;
        return exchange(request);
    }

    std::string exchange(HttpRequest& request) {
        Poco::SharedPtr<VantisTest::RecordingListener> listener = new VantisTest::RecordingListener();
        Poco::SharedPtr<IHttpClient::IResponseListener> target(listener);
        HttpManager::Instance()->sendRequest(request, target, false);
        EXPECT_TRUE(WaitFor([&] {
            HttpManager::ProcessDataThread();
            return listener->count() > 0;
        }));
        return listener->count() > 0 ? listener->at(0).body : std::string();
    }
};

Poco::JSON::Object::Ptr parse(const std::string& text) {
    Poco::JSON::Parser parser;
    return parser.parse(text).extract<Poco::JSON::Object::Ptr>();
}

}  // namespace

TEST_F(ProblemReporterBackendTest, EveryKindArrivesWithItsFieldsAndTheRecentLogLines) {
    startReporting(0);
    const struct {
        std::function<void()> raise;
        const char* kind;
        const char* ownArguments;
    } cases[] = {
        {[] { reporter().miniManifestFailedParsing("1207658924", "Sample", "unexpected \"}\" at 3"); },
         "MiniManifest-Failed-Parsing",
         R"({"gid":"1207658924","gameName":"Sample","errorBuffer":"unexpected \"}\" at 3"})"},
        {[] { reporter().redistDefinitionNotFound("1207658924", "directx"); }, "Redist-Definition-Not-Found",
         R"({"gid":"1207658924","redistName":"directx"})"},
        {[] {
             reporter().depotManifestUrlFailed("1207658924", "Sample", "https://h/m", HTTPResponse::HTTP_NOT_FOUND,
                                               true, VantisClient::FetchFailed);
         },
         "Depot-Manifest-Url-Fetch-Failed",
         R"({"gid":"1207658924","gameName":"Sample","url":"https://h/m","httpStatus":404,"isRedist":true})"},
        {[] {
             reporter().depotManifestUrlFailed("1207658924", "Sample", "https://h/m", HTTPResponse::HTTP_OK, false,
                                               VantisClient::ParsingFailed);
         },
         "Depot-Manifest-Url-Parsing-Failed",
         R"({"gid":"1207658924","gameName":"Sample","url":"https://h/m","httpStatus":200,"isRedist":false})"},
        {[] {
             reporter().depotManifestUrlFailed("1207658924", "Sample", "https://h/m", HTTPResponse::HTTP_OK, false,
                                               static_cast<VantisClient::ManifestFetchingProblem>(7));
         },
         "Depot-Manifest-Url-?",
         R"({"gid":"1207658924","gameName":"Sample","url":"https://h/m","httpStatus":200,"isRedist":false})"},
        {[] {
             reporter().permanentDownloadFailure("1207658924", "Sample", "bin/game", "https://h/p",
                                                 HTTPResponse::HTTP_SERVICE_UNAVAILABLE, 5);
         },
         "Permanent-Download-Failure",
         R"({"gid":"1207658924","gameName":"Sample","filePath":"bin/game","url":"https://h/p","httpStatus":503,
             "downloadErrorCount":5})"},
        {[] { reporter().persistentHashMismatch("1207658924", "Sample", "bin/game", "https://h/p"); },
         "Hash-Mismatch",
         R"({"gid":"1207658924","gameName":"Sample","filePath":"bin/game","probableSourceUrl":"https://h/p"})"},
        {[] {
             reporter().failedGettingFileUrl("1207658924", "Sample", "bin/game", "https://h/l",
                                             HTTPResponse::HTTP_FORBIDDEN);
         },
         "Failed-Getting-File-Url",
         R"({"gid":"1207658924","gameName":"Sample","filePath":"bin/game","url":"https://h/l","httpStatus":403})"},
    };
    size_t count = 0;
    for (const auto& c : cases) {
        const std::string marker = std::string("before the report ") + c.kind;
        Logger::LogInfo("%s", marker.c_str());
        c.raise();
        ASSERT_TRUE(arrived(++count)) << c.kind;
        const ProblemReport report = stored().back();
        Poco::JSON::Object::Ptr message = parse(report.message);
        EXPECT_EQ(2u, message->size());
        EXPECT_EQ(c.kind, message->getValue<std::string>("ProblemReport"));
        Poco::JSON::Object::Ptr arguments = message->getObject("Arguments");
        Poco::JSON::Object::Ptr expected = parse(c.ownArguments);
        expected->set("clientVersion", VantisClient::BuildInfo::Version());
        expected->set("osIdentification", ProblemReporter::osIdentification());
        expected->set("os", "linux");
        EXPECT_EQ(expected->size(), arguments->size()) << c.kind;
        for (const std::string& key : expected->getNames()) {
            EXPECT_EQ(expected->get(key).toString(), arguments->get(key).toString()) << c.kind << " " << key;
            EXPECT_EQ(expected->get(key).type(), arguments->get(key).type()) << c.kind << " " << key;
        }
        EXPECT_TRUE(report.logDecoded);
        EXPECT_NE(std::string::npos, report.log.find("][Information]: " + marker + "\n")) << c.kind;
    }
}

TEST_F(ProblemReporterBackendTest, AHashMismatchArrivesByteForByte) {
    startReporting(0);
    reporter().persistentHashMismatch("1207658924", "The \"Sample\" Game", "Games\\Sample\\bin\\game.exe",
                                      "https://127.0.0.1/content/part?sig=1");
    ASSERT_TRUE(arrived(1));
    EXPECT_EQ(std::string("{\"Arguments\":{\"clientVersion\":\"") + VantisClient::BuildInfo::Version() + "\",\n" +
                  "\"filePath\":\"Games\\\\Sample\\\\bin\\\\game.exe\",\n"
                  "\"gameName\":\"The \\\"Sample\\\" Game\",\n"
                  "\"gid\":\"1207658924\",\n"
                  "\"os\":\"linux\",\n"
                  "\"osIdentification\":\"" + ProblemReporter::osIdentification() + "\",\n" +
                  "\"probableSourceUrl\":\"https://127.0.0.1/content/part?sig=1\"\n"
                  "},\n"
                  "\"ProblemReport\":\"Hash-Mismatch\"\n"
                  "}",
              stored()[0].message);
}

TEST_F(ProblemReporterBackendTest, OnlyTheFirstReportOfAnIntervalArrives) {
    startReporting(ProblemReporter::DEFAULT_COMPLAIN_INTERVAL);
    reporter().redistDefinitionNotFound("1207658924", "first");
    ASSERT_TRUE(arrived(1));
    reporter().redistDefinitionNotFound("1207658924", "second");
    // A third report from a later interval would arrive after the second; none comes.
    reporter().setComplainInterval(0);
    reporter().redistDefinitionNotFound("1207658924", "third");
    ASSERT_TRUE(arrived(2));
    ASSERT_EQ(2u, stored().size());
    EXPECT_NE(std::string::npos, stored()[0].message.find("\"redistName\":\"first\""));
    EXPECT_NE(std::string::npos, stored()[1].message.find("\"redistName\":\"third\""));
    EXPECT_NE(std::string::npos,
              stored()[1].log.find("]: Discarding problem report because 0s elapsed since last sending\n"));
}

TEST_F(ProblemReporterBackendTest, NoSecretOfTheNetworkLayerReachesTheCollector) {
    sandbox.writeFile("Config.json", R"({"loggingChannels":["HttpTraffic","Security"]})");
    startReporting(0);
    const std::string code = "c0de-7f3a9e61";
    std::vector<std::string> secrets = {server->context().options.clientSecret, code};

    // The client's own traffic, with the HTTP traffic channel on: a password grant,
    // a refresh, a code exchange and a request carrying the bearer token.
    Poco::JSON::Object::Ptr granted =
        parse(requestToken({{"grant_type", "password"}, {"username", "player"}, {"password", "secret"}}));
    const std::string refreshToken = granted->getValue<std::string>("refresh_token");
    secrets.push_back(granted->getValue<std::string>("access_token"));
    secrets.push_back(refreshToken);
    Poco::JSON::Object::Ptr refreshed =
        parse(requestToken({{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}}));
    secrets.push_back(refreshed->getValue<std::string>("access_token"));
    secrets.push_back(refreshed->getValue<std::string>("refresh_token"));
    requestToken(
        {{"grant_type", "authorization_code"}, {"code", code}, {"redirect_uri", "vantisclient://login_success"}});
    HttpRequest manifest = VantisClient::Http::RequestFactory::getManifestUrl("1207658924");
    VantisClient::Http::RequestFactory::targetSecureHost(manifest, server->context().apiAuthority());
    manifest.headers.emplace("Authorization", "Bearer " + secrets[2]);
    // The answer hands out a signed link, which works for anyone who holds it.
    const std::string link = parse(exchange(manifest))->getValue<std::string>("link");
    secrets.push_back(link.substr(link.find("signature=") + 10));

    reporter().permanentDownloadFailure("1207658924", "Sample", "bin/game", "https://127.0.0.1/part?signature=s1gn",
                                        HTTPResponse::HTTP_NOT_FOUND, 3);
    secrets.push_back("s1gn");
    ASSERT_TRUE(arrived(1));
    const ProblemReport report = stored()[0];
    std::string everything = report.message + "\n" + report.log + "\n" +
                             VantisTest::ReadFileBytes(sandbox.path("reports/reports.jsonl"));
    // The traffic is there, masked: the search below is not vacuous.
    EXPECT_NE(std::string::npos, report.log.find("password=***"));
    EXPECT_NE(std::string::npos, report.log.find("refresh_token=***"));
    EXPECT_NE(std::string::npos, report.log.find("code=***"));
    EXPECT_NE(std::string::npos, report.log.find("Authorization:***"));
    EXPECT_NE(std::string::npos, report.log.find("\"access_token\":\"***\""));
    EXPECT_NE(std::string::npos, report.log.find("signature=***"));
    for (const std::string& secret : secrets) {
        ASSERT_FALSE(secret.empty());
        EXPECT_EQ(std::string::npos, everything.find(secret)) << secret;
    }
    // The password is "secret": once the parameter name "client_secret" is gone, the word must be too.
    for (size_t at; (at = everything.find("client_secret")) != std::string::npos;) everything.erase(at, 13);
    EXPECT_EQ(std::string::npos, everything.find("secret"));
}

TEST_F(ProblemReporterBackendTest, ReportsFromSeveralThreadsAtOnceArriveWhole) {
    startReporting(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 5; ++i) {
                reporter().persistentHashMismatch("1207658924", "thread " + std::to_string(t), std::to_string(i),
                                                  "https://127.0.0.1/p");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_TRUE(arrived(1));
    const std::vector<ProblemReport> reports = stored();
    EXPECT_LE(reports.size(), 30u);
    for (const ProblemReport& report : reports) {
        EXPECT_EQ("Hash-Mismatch", parse(report.message)->getValue<std::string>("ProblemReport"));
    }
    // One rewrite at a time: the file is whole and holds the last time.
    EXPECT_FALSE(parse(sandbox.readFile("Config.json"))->getValue<std::string>("lastReportTime").empty());
}
