#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <Poco/Base64Encoder.h>
#include <Poco/Exception.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/URI.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "backend/ApiRoutes.h"
#include "support/WaitFor.h"

using VantisClient::Backend::ApiRoutes;
using VantisClient::Backend::BackendOptions;
using VantisTest::HttpResult;
using VantisTest::SampleGame;

namespace {

const std::string PRODUCT = "/games/1207658924/os/linux";
const char* const REDIRECT = "vantisclient://login_success";

std::string base64(const std::string& text) {
    std::ostringstream encoded;
    Poco::Base64Encoder encoder(encoded);
    encoder << text;
    encoder.close();
    return encoded.str();
}

std::string formEncode(const std::string& text) {
    std::string encoded;
    Poco::URI::encode(text, "&=+;/?:@,", encoded);
    return encoded;
}

}  // namespace

class BackendApiTest : public VantisTest::BackendTest {};

TEST_F(BackendApiTest, ConfigurationFilePointsTheClientAtThisBackend) {
    BackendOptions options;
    options.talkInterval = 120;
    options.complainInterval = 30;
    startBackend(options);
    HttpResult reply = BackendTest::api("GET", "/vantis-client-config.json");
    ASSERT_EQ(200, reply.status);
    Poco::JSON::Object::Ptr config = reply.json();
    EXPECT_EQ("online", config->getValue<std::string>("status"));
    EXPECT_EQ("stable", config->getValue<std::string>("channel"));
    EXPECT_EQ(120, config->getValue<int>("talkInterval"));
    EXPECT_EQ(30, config->getValue<int>("complainInterval"));
    Poco::JSON::Object::Ptr endpoints = config->getObject("end_points");
    const std::string apiHost = "127.0.0.1:" + std::to_string(server->apiPort());
    EXPECT_EQ(apiHost, endpoints->getValue<std::string>("auth"));
    EXPECT_EQ(apiHost, endpoints->getValue<std::string>("users"));
    EXPECT_EQ(apiHost, endpoints->getValue<std::string>("products"));
    EXPECT_EQ("127.0.0.1:" + std::to_string(server->webPort()) + "/gameview/dist",
              endpoints->getValue<std::string>("gamecards"));

    ASSERT_EQ(200, control("POST", "status", R"({"status": "offline"})").status);
    EXPECT_EQ("offline", api("GET", "/vantis-client-config.json").json()->getValue<std::string>("status"));
}

TEST_F(BackendApiTest, LoginPageRedirectsWithACodeThatIsExchangedOnce) {
    startBackend();
    const std::string clientId = server->context().options.clientId;
    const std::string query = "client_id=" + clientId + "&redirect_uri=" + REDIRECT + "&response_type=code&layout=client";
    HttpResult page = api("GET", "/auth?" + query);
    ASSERT_EQ(200, page.status);
    EXPECT_NE(std::string::npos, page.body.find("ContinueOffline"));
    EXPECT_NE(std::string::npos, page.body.find("LoadExternalUrl"));
    EXPECT_EQ(400, api("GET", "/auth?client_id=1&redirect_uri=" + std::string(REDIRECT) + "&response_type=code").status);
    EXPECT_EQ(400, api("GET", "/auth?client_id=" + clientId + "&redirect_uri=http://elsewhere/&response_type=code")
                       .status);

    const std::string form = "client_id=" + clientId + "&redirect_uri=" + formEncode(REDIRECT) + "&response_type=code";
    const std::string formType = "application/x-www-form-urlencoded";
    HttpResult wrong = api("POST", "/auth", {}, form + "&username=player&password=nope", formType);
    EXPECT_EQ(401, wrong.status);
    EXPECT_NE(std::string::npos, wrong.body.find("Wrong user name or password."));

    HttpResult redirect = api("POST", "/auth", {}, form + "&username=player&password=secret", formType);
    ASSERT_EQ(302, redirect.status);
    const std::string location = redirect.header("Location");
    const std::string prefix = std::string(REDIRECT) + "?code=";
    ASSERT_EQ(0u, location.find(prefix)) << location;
    const std::string code = location.substr(prefix.size());

    const std::string exchange = tokenQuery("authorization_code") + "&code=" + code + "&redirect_uri=" + REDIRECT;
    HttpResult tokens = api("GET", exchange);
    ASSERT_EQ(200, tokens.status) << tokens.body;
    for (const char* key : {"access_token", "token_type", "refresh_token", "user_id", "expires_in"}) {
        EXPECT_TRUE(tokens.json()->has(key)) << key;
    }
    EXPECT_EQ("12345678901234567", tokens.json()->getValue<std::string>("user_id"));
    HttpResult again = api("GET", exchange);
    EXPECT_EQ(400, again.status);
    EXPECT_EQ("invalid_grant", again.json()->getValue<std::string>("error"));
}

TEST_F(BackendApiTest, TokenGrantsUsersAndLicences) {
    startBackend();
    HttpResult password = api("GET", tokenQuery("password") + "&username=player&password=secret");
    ASSERT_EQ(200, password.status);
    const std::string access = password.json()->getValue<std::string>("access_token");
    const std::string refresh = password.json()->getValue<std::string>("refresh_token");
    EXPECT_EQ(3600, password.json()->getValue<int>("expires_in"));

    HttpResult refreshed = api("GET", tokenQuery("refresh_token") + "&refresh_token=" + refresh);
    ASSERT_EQ(200, refreshed.status);
    EXPECT_NE(access, refreshed.json()->getValue<std::string>("access_token"));
    EXPECT_EQ(refresh, refreshed.json()->getValue<std::string>("refresh_token"));

    struct Case {
        const char* name;
        std::string query;
        int status;
        const char* error;
    };
    const std::string secretless = "/token?client_id=" + server->context().options.clientId + "&client_secret=x";
    const Case failures[] = {
        {"wrong password", tokenQuery("password") + "&username=player&password=nope", 400, "invalid_grant"},
        {"unknown refresh token", tokenQuery("refresh_token") + "&refresh_token=abc", 400, "invalid_grant"},
        {"unknown code", tokenQuery("authorization_code") + "&code=abc", 400, "invalid_grant"},
        {"wrong client secret", secretless + "&grant_type=password&username=player&password=secret", 401,
         "invalid_client"},
        {"unknown grant", tokenQuery("steam_ticket") + "&steam_ticket=1", 400, "unsupported_grant_type"},
    };
    for (const Case& failure : failures) {
        SCOPED_TRACE(failure.name);
        HttpResult reply = api("GET", failure.query);
        EXPECT_EQ(failure.status, reply.status);
        EXPECT_EQ(failure.error, reply.json()->getValue<std::string>("error"));
        EXPECT_TRUE(reply.json()->has("error_description"));
    }

    HttpResult details = api("GET", "/users/12345678901234567", bearer(access));
    ASSERT_EQ(200, details.status);
    EXPECT_EQ("player", details.json()->getValue<std::string>("username"));
    HttpResult avatar = web("GET", Poco::URI(details.json()->getValue<std::string>("avatar")).getPath());
    EXPECT_EQ(200, avatar.status);
    EXPECT_EQ("image/png", avatar.header("Content-Type"));
    EXPECT_EQ(403, api("GET", "/users/1", bearer(access)).status);

    EXPECT_EQ(200, api("GET", "/licences?gameId=1207658925", bearer(access)).status);
    EXPECT_EQ(404, api("GET", "/licences?gameId=99", bearer(access)).status);
    EXPECT_EQ(404, api("GET", "/licences?gameId=1207658924", bearer(signIn("visitor"))).status);
}

TEST_F(BackendApiTest, MissingUnknownAndExpiredTokensAnswer401) {
    startBackend();
    const std::string token = signIn();
    const std::string path = "/licences?gameId=1207658924";
    EXPECT_EQ(200, api("GET", path, bearer(token)).status);
    EXPECT_EQ(401, api("GET", path).status);
    EXPECT_EQ(401, api("GET", path, bearer("not-a-token")).status);
    ASSERT_EQ(200, control("POST", "expire-tokens").status);
    HttpResult expired = api("GET", path, bearer(token));
    EXPECT_EQ(401, expired.status);
    EXPECT_EQ("invalid_token", expired.json()->getValue<std::string>("error"));
    EXPECT_EQ(200, api("GET", path, bearer(signIn())).status) << "tokens issued later work";
}

TEST_F(BackendApiTest, RevokedTokensEndTheSessionSoThatNoRefreshRenewsIt) {
    startBackend();
    HttpResult password = api("GET", tokenQuery("password") + "&username=player&password=secret");
    ASSERT_EQ(200, password.status);
    const std::string access = password.json()->getValue<std::string>("access_token");
    const std::string refresh = password.json()->getValue<std::string>("refresh_token");
    ASSERT_EQ(200, control("POST", "revoke-tokens").status);
    EXPECT_EQ(401, api("GET", "/licences?gameId=1207658924", bearer(access)).status);
    HttpResult refreshed = api("GET", tokenQuery("refresh_token") + "&refresh_token=" + refresh);
    EXPECT_EQ(400, refreshed.status);
    EXPECT_EQ("invalid_grant", refreshed.json()->getValue<std::string>("error"));
    EXPECT_EQ(200, api("GET", "/licences?gameId=1207658924", bearer(signIn())).status) << "a new sign-in works";
}

TEST_F(BackendApiTest, AccessTokensExpireAfterTheirLifetime) {
    BackendOptions options;
    options.tokenLifetime = 1;
    startBackend(options);
    const std::string token = signIn();
    EXPECT_TRUE(VantisTest::WaitFor(
        [&] { return api("GET", "/licences?gameId=1207658924", bearer(token)).status == 401; }, 5000));
}

// The client's road: manifest links, depot manifest links, content links, and
// every part fetched with a Range request, reassembled and checked by MD5.
TEST_F(BackendApiTest, ProductsServeManifestsAndContentThatRebuildEveryFile) {
    startBackend();
    const auto auth = bearer(signIn());
    HttpResult root = api("GET", PRODUCT + "/rootManifests", auth);
    ASSERT_EQ(200, root.status);
    HttpResult productDocument = fetchLink(root.json()->getValue<std::string>("link"));
    ASSERT_EQ(200, productDocument.status);
    Poco::JSON::Object::Ptr product = productDocument.json()->getObject("product");
    const std::string timestamp = std::to_string(product->getValue<int64_t>("timestamp"));

    HttpResult repositoryLink = api("GET", "/redists/packages/manifests/files/repository.json", auth);
    ASSERT_EQ(200, repositoryLink.status);
    EXPECT_EQ(200, fetchLink(repositoryLink.json()->getValue<std::string>("link")).status);

    int filesChecked = 0;
    Poco::JSON::Array::Ptr depots = product->getArray("depots");
    for (size_t d = 0; d < depots->size(); ++d) {
        Poco::JSON::Object::Ptr depot = depots->getObject(static_cast<unsigned>(d));
        const bool redist = depot->has("redist");
        const std::string name = redist ? depot->getValue<std::string>("redist") + ".json"
                                        : depot->getValue<std::string>("manifest");
        SCOPED_TRACE(name);
        HttpResult manifestLink = api("GET", redist ? "/redists/packages/manifests/files/" + name
                                                    : PRODUCT + "/manifests/" + name,
                                      auth);
        ASSERT_EQ(200, manifestLink.status);
        HttpResult manifest = fetchLink(manifestLink.json()->getValue<std::string>("link"));
        ASSERT_EQ(200, manifest.status);
        Poco::JSON::Array::Ptr files = manifest.json()->getObject("depot")->getArray("files");
        for (size_t f = 0; f < files->size(); ++f) {
            Poco::JSON::Object::Ptr entry = files->getObject(static_cast<unsigned>(f));
            if (!entry->has("url") || entry->getValue<uint64_t>("size") == 0) continue;
            const std::string url = entry->getValue<std::string>("url");
            const std::string key = url.substr(0, url.find('/'));
            const std::string object = url.substr(url.find('/') + 1);
            HttpResult link = api("GET", redist ? "/redists/packages/" + key + "/files/" + object
                                                : "/games/" + key + "/os/linux/depots/" + timestamp + "/" + object,
                                  auth);
            ASSERT_EQ(200, link.status) << url;
            const std::string secure = link.json()->getValue<std::string>("link");
            const uint64_t size = entry->getValue<uint64_t>("size");
            std::vector<uint64_t> parts;
            if (entry->has("parts")) {
                for (size_t p = 0; p < entry->getArray("parts")->size(); ++p) {
                    parts.push_back(entry->getArray("parts")->getElement<uint64_t>(static_cast<unsigned>(p)));
                }
            } else {
                for (uint64_t done = 0; done < size; done += 0x100000) parts.push_back(std::min<uint64_t>(0x100000, size - done));
            }
            std::string content;
            uint64_t start = entry->getValue<uint64_t>("offset");
            for (uint64_t part : parts) {
                const std::string range = "bytes=" + std::to_string(start) + "-" + std::to_string(start + part - 1);
                HttpResult piece = fetchLink(secure, range);
                ASSERT_EQ(206, piece.status) << range;
                ASSERT_EQ(part, piece.body.size());
                content += entry->has("parts") ? VantisTest::InflateZipPart(piece.body) : piece.body;
                start += part;
            }
            EXPECT_EQ(entry->getValue<std::string>("hash"), VantisTest::Md5Hex(content))
                << entry->getValue<std::string>("path");
            ++filesChecked;
        }
    }
    EXPECT_GE(filesChecked, 15);
}

TEST_F(BackendApiTest, ProductRequestsRefuseWhatTheUserMayNotHave) {
    startBackend();
    const auto player = bearer(signIn());
    const auto visitor = bearer(signIn("visitor"));
    std::string url;
    Poco::JSON::Array::Ptr files = VantisTest::ParseJson(VantisTest::ReadFileBytes(
        catalogue() + "/games/1207658924/manifests/1207658924_common.json"))->getObject("depot")->getArray("files");
    for (size_t i = 0; i < files->size(); ++i) {
        if (files->getObject(static_cast<unsigned>(i))->getValue<std::string>("path") == "data/noise.bin") {
            url = files->getObject(static_cast<unsigned>(i))->getValue<std::string>("url");
        }
    }
    ASSERT_FALSE(url.empty());
    const std::string object = url.substr(url.find('/') + 1);
    struct Case {
        const char* name;
        std::string path;
        std::map<std::string, std::string> headers;
        int status;
    };
    const Case cases[] = {
        {"content of a game the user does not own", PRODUCT + "/depots/42/" + object, visitor, 403},
        {"content of the owner", PRODUCT + "/depots/42/" + object, player, 200},
        {"product manifest of a game the user does not own", PRODUCT + "/rootManifests", visitor, 403},
        {"product manifest of the owner", PRODUCT + "/rootManifests", player, 200},
        {"depot manifest of a game the user does not own", PRODUCT + "/manifests/1207658924_common.json", visitor, 403},
        {"depot manifest of the owner", PRODUCT + "/manifests/1207658924_common.json", player, 200},
        {"unknown game", "/games/99/os/linux/rootManifests", player, 404},
        {"other operating system", "/games/1207658924/os/osx/rootManifests", player, 404},
        {"unknown depot manifest", PRODUCT + "/manifests/none.json", player, 404},
        {"unknown object", PRODUCT + "/depots/42/none.bin", player, 404},
        {"climbing object name", PRODUCT + "/depots/42/..%2F..%2Faccounts.json", player, 404},
        {"unknown redistributable", "/redists/packages/none/files/x.bin", player, 404},
        {"without a token", PRODUCT + "/rootManifests", {}, 401},
        {"content without a path", "/content", {}, 404},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(test.status, api("GET", test.path, test.headers).status);
    }
}

TEST_F(BackendApiTest, ContentLinksAreSignedExpireAndServeRanges) {
    startBackend();
    HttpResult root = api("GET", PRODUCT + "/rootManifests", bearer(signIn()));
    const std::string link = root.json()->getValue<std::string>("link");
    const std::string whole = VantisTest::ReadFileBytes(catalogue() + "/games/1207658924/product.json");
    const uint64_t size = whole.size();

    struct Case {
        const char* range;
        int status;
        std::string body;
        std::string contentRange;
    };
    const Case cases[] = {
        {"", 200, whole, ""},
        {"bytes=0-9", 206, whole.substr(0, 10), "bytes 0-9/" + std::to_string(size)},
        {"bytes=10-", 206, whole.substr(10), "bytes 10-" + std::to_string(size - 1) + "/" + std::to_string(size)},
        {"bytes=-5", 206, whole.substr(size - 5), "bytes " + std::to_string(size - 5) + "-" + std::to_string(size - 1) + "/" + std::to_string(size)},
        {"bytes=5-100000000", 206, whole.substr(5), "bytes 5-" + std::to_string(size - 1) + "/" + std::to_string(size)},
        {"bytes=0-1,4-5", 200, whole, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.range);
        HttpResult reply = fetchLink(link, test.range);
        EXPECT_EQ(test.status, reply.status);
        EXPECT_EQ(test.body, reply.body);
        EXPECT_EQ(test.contentRange, reply.header("Content-Range"));
    }
    for (const std::string& range : {"bytes=" + std::to_string(size) + "-", std::string("bytes=18446744073709551616-")}) {
        SCOPED_TRACE(range);
        HttpResult beyond = fetchLink(link, range);
        EXPECT_EQ(416, beyond.status);
        EXPECT_EQ("bytes */" + std::to_string(size), beyond.header("Content-Range"));
    }

    std::string tampered = link;
    tampered[tampered.size() - 1] = tampered.back() == '0' ? '1' : '0';
    EXPECT_EQ(403, fetchLink(tampered).status);
    const std::string otherPath = Poco::URI(link).getPathAndQuery();
    EXPECT_EQ(403, api("GET", "/content/accounts.json" + otherPath.substr(otherPath.find('?'))).status);

    ASSERT_EQ(200, control("POST", "expire-links").status);
    EXPECT_EQ(403, fetchLink(link).status);
}

TEST(BackendRangeTest, ParsesTheRangesClientsSend) {
    struct Case {
        const char* header;
        uint64_t size;
        ApiRoutes::RangeResult result;
        uint64_t start;
        uint64_t length;
    };
    const Case cases[] = {
        {"bytes=1048576-2097151", 3000000, ApiRoutes::RangeResult::Part, 1048576, 1048576},
        {"bytes=0-0", 1, ApiRoutes::RangeResult::Part, 0, 1},
        {"bytes=-10", 4, ApiRoutes::RangeResult::Part, 0, 4},
        {"bytes=4-", 4, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=-0", 4, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=5-2", 10, ApiRoutes::RangeResult::Whole, 0, 0},
        {"items=0-1", 10, ApiRoutes::RangeResult::Whole, 0, 0},
        {"bytes=x-1", 10, ApiRoutes::RangeResult::Whole, 0, 0},
        {"bytes=+1-2", 10, ApiRoutes::RangeResult::Whole, 0, 0},
        {"bytes=-", 10, ApiRoutes::RangeResult::Whole, 0, 0},
        {"bytes=18446744073709551615-", 10, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=18446744073709551616-", 10, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=0-18446744073709551616", 10, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=-99999999999999999999999", 10, ApiRoutes::RangeResult::Unsatisfiable, 0, 0},
        {"bytes=0-18446744073709551615", 10, ApiRoutes::RangeResult::Part, 0, 10},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.header);
        uint64_t start = 0, length = 0;
        EXPECT_EQ(test.result, ApiRoutes::ParseRange(test.header, test.size, start, length));
        if (test.result == ApiRoutes::RangeResult::Part) {
            EXPECT_EQ(test.start, start);
            EXPECT_EQ(test.length, length);
        }
    }
}

TEST_F(BackendApiTest, GameCardsAndProblemReportsOnThePlainListener) {
    startBackend();
    for (const char* gameId : {SampleGame::BASE_ID, SampleGame::DLC_ID}) {
        HttpResult page = web("GET", std::string("/gameview/dist/") + gameId + "/index.html");
        EXPECT_EQ(200, page.status) << gameId;
        EXPECT_NE(std::string::npos, page.body.find("card.js"));
    }
    EXPECT_NE(std::string::npos, web("GET", "/gameview/dist/1207658924/card.js").body.find("window.receiveMessage"));
    EXPECT_EQ(200, web("GET", "/gameview/dist//1207658924/index.html").status) << "the client's doubled slash";
    EXPECT_EQ(404, web("GET", "/gameview/dist/99/index.html").status);
    EXPECT_EQ(404, web("GET", "/gameview/dist/1207658924/..%2F..%2Fprivate/backend.key").status);
    // The catalogue's cover picture, below every card of the game, typed by what it is.
    const std::string cover = VantisTest::ReadFileBytes(catalogue() + "/covers/" + SampleGame::BASE_ID);
    ASSERT_FALSE(cover.empty());
    for (const char* gameId : {SampleGame::BASE_ID, SampleGame::DLC_ID}) {
        HttpResult picture = web("GET", std::string("/gameview/dist/") + gameId + "/cover");
        EXPECT_EQ(200, picture.status) << gameId;
        EXPECT_EQ("image/png", picture.header("Content-Type")) << gameId;
        EXPECT_EQ(cover, picture.body) << gameId;
    }
    EXPECT_EQ(404, web("GET", "/gameview/dist/99/cover").status);

    const std::string log = std::string(100, 'x') + "\nlast line of the log\n";
    const std::string report = "{\"Arguments\":{\"gid\":\"1207658924\"},\n\"ProblemReport\":\"Hash-Mismatch\"\n}";
    const std::string form = "problem_message=" + formEncode(report) + "&log_snippet=" + formEncode(base64(log));
    ASSERT_EQ(200, web("POST", "/problem.php", form, "application/x-www-form-urlencoded").status);
    EXPECT_EQ(400, web("POST", "/problem.php", "", "application/x-www-form-urlencoded").status);
    const std::string huge = "problem_message=" + formEncode(report) +
                             "&log_snippet=" + formEncode(base64(std::string(600 * 1024, 'x')));
    EXPECT_EQ(413, web("POST", "/problem.php", huge, "application/x-www-form-urlencoded").status);

    Poco::JSON::Array::Ptr reports = control("GET", "reports").json()->getArray("reports");
    ASSERT_EQ(1u, reports->size());
    Poco::JSON::Object::Ptr stored = reports->getObject(0);
    EXPECT_EQ(log, stored->getValue<std::string>("log"));
    EXPECT_EQ("Hash-Mismatch", stored->getObject("report")->getValue<std::string>("ProblemReport"));
    EXPECT_NE(std::string::npos,
              VantisTest::ReadFileBytes(sandbox.path("reports/reports.jsonl")).find("last line of the log"));
}

class BackendFaultTest : public VantisTest::BackendTest {
protected:
    void addRule(const std::string& rule) {
        HttpResult added = control("POST", "faults", rule);
        ASSERT_EQ(200, added.status) << added.body;
    }
    int configStatus() { return api("GET", "/vantis-client-config.json").status; }
    // What came of the link's body before the answer ended, early or not.
    std::string bodyEvenIfCut(const std::string& link) {
        try {
            return fetchLink(link).body;
        } catch (const Poco::Exception&) {
            // A reader may also report the early end as an error.
            return std::string();
        }
    }
};

TEST_F(BackendFaultTest, StatusFaultsHitTheFirstNOrEveryKthMatchingRequest) {
    startBackend();
    addRule(R"({"listener": "api", "path": "config\\.json$", "action": "status", "status": 503, "first": 2})");
    EXPECT_EQ(503, configStatus());
    EXPECT_EQ(503, configStatus());
    EXPECT_EQ(200, configStatus());
    EXPECT_EQ(200, web("GET", "/gameview/dist/1207658924/index.html").status) << "other paths are untouched";

    ASSERT_EQ(200, control("DELETE", "faults").status);
    addRule(R"({"path": "config", "action": "status", "status": 500, "every": 3})");
    std::vector<int> statuses;
    for (int i = 0; i < 6; ++i) statuses.push_back(configStatus());
    EXPECT_EQ((std::vector<int>{200, 200, 500, 200, 200, 500}), statuses);

    EXPECT_EQ(400, control("POST", "faults", R"({"action": "explode"})").status);
}

TEST_F(BackendFaultTest, NoRuleReachesTheControlEndpoint) {
    startBackend();
    addRule(R"({"action": "status", "status": 503})");
    addRule(R"({"listener": "web", "path": "^/control/", "action": "drop"})");
    EXPECT_EQ(503, configStatus());
    EXPECT_EQ(200, control("GET", "served").status);
    EXPECT_EQ(200, control("DELETE", "faults").status);
    EXPECT_EQ(200, configStatus());
}

TEST_F(BackendFaultTest, BacktrackingPatternsCostNoMoreThanOthers) {
    startBackend();
    addRule(R"({"listener": "web", "path": "^/(a+)+$", "action": "status", "status": 500})");
    EXPECT_EQ(404, web("GET", "/" + std::string(40, 'a') + "!").status) << "no match, answered normally";
    EXPECT_EQ(500, web("GET", "/aaaa").status) << "a match gets the rule's answer";
}

TEST_F(BackendFaultTest, ControlNeedsItsTokenAndJson) {
    startBackend();
    const std::string body = R"({"status": "offline"})";
    struct Case {
        const char* name;
        std::map<std::string, std::string> headers;
        int status;
    };
    const Case refused[] = {
        {"no token", {{"Content-Type", "application/json"}}, 403},
        {"wrong token", {{"X-Control-Token", "guess"}, {"Content-Type", "application/json"}}, 403},
        {"plain text, as a web page may send", {{"X-Control-Token", server->controlToken()}, {"Content-Type", "text/plain"}}, 415},
        {"no content type", {{"X-Control-Token", server->controlToken()}}, 415},
    };
    for (const Case& test : refused) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(test.status, web("POST", "/control/status", body, "", test.headers).status);
        EXPECT_EQ("online", api("GET", "/vantis-client-config.json").json()->getValue<std::string>("status"));
    }
    EXPECT_EQ(200, web("POST", "/control/status", body, "",
                       {{"X-Control-Token", server->controlToken()}, {"Content-Type", "application/json; charset=utf-8"}})
                       .status);
    EXPECT_EQ("offline", api("GET", "/vantis-client-config.json").json()->getValue<std::string>("status"));
    EXPECT_EQ(405, control("PUT", "faults").status);
    EXPECT_EQ(404, control("GET", "nothing").status);
}

TEST_F(BackendFaultTest, ControlRefusesMalformedDocumentsInPlainWords) {
    startBackend();
    struct Case {
        const char* command;
        const char* body;
    };
    const Case cases[] = {
        {"status", R"({"status": 5})"},
        {"status", R"({"status": ""})"},
        {"status", "[]"},
        {"status", "not json"},
        {"faults", R"({"action": []})"},
        {"faults", R"({"action": "status", "path": 5})"},
        {"faults", R"({"action": "status", "first": -1})"},
        {"faults", R"({"action": "delay", "delayMs": 1.5})"},
        {"faults", R"rule({"action": "status", "path": "(?=x)"})rule"},
        {"faults", R"({"rules": {}})"},
        {"faults", "[1]"},
        {"faults", "5"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.command) + " " + test.body);
        HttpResult reply = control("POST", test.command, test.body);
        EXPECT_EQ(400, reply.status);
        const std::string description = reply.json()->getValue<std::string>("error_description");
        EXPECT_FALSE(description.empty());
        EXPECT_EQ(std::string::npos, description.find("Poco")) << description;
        EXPECT_EQ(std::string::npos, description.find("::")) << description;
    }
    EXPECT_EQ("online", api("GET", "/vantis-client-config.json").json()->getValue<std::string>("status"));
    EXPECT_EQ(200, configStatus()) << "no rule was added";
}

TEST_F(BackendFaultTest, BodyFaultsDelayCutCorruptOrDropTheAnswer) {
    startBackend();
    const std::string token = signIn();
    const std::string link = api("GET", PRODUCT + "/rootManifests", bearer(token)).json()->getValue<std::string>("link");
    const std::string whole = VantisTest::ReadFileBytes(catalogue() + "/games/1207658924/product.json");

    addRule(R"({"path": "^/content/", "action": "delay", "delayMs": 300, "first": 1})");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(whole, fetchLink(link).body);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));

    control("DELETE", "faults");
    addRule(R"({"path": "^/content/", "action": "corrupt", "bytes": 3, "first": 1})");
    HttpResult corrupted = fetchLink(link);
    ASSERT_EQ(whole.size(), corrupted.body.size());
    int differing = 0;
    for (size_t i = 0; i < whole.size(); ++i) differing += whole[i] != corrupted.body[i];
    EXPECT_EQ(3, differing);
    EXPECT_EQ(whole, fetchLink(link).body) << "only the first request was hit";

    control("DELETE", "faults");
    addRule(R"({"path": "^/content/", "action": "truncate", "bytes": 10, "first": 1})");
    const std::string truncated = bodyEvenIfCut(link);
    EXPECT_LT(truncated.size(), whole.size());
    EXPECT_EQ(whole.substr(0, truncated.size()), truncated);

    control("DELETE", "faults");
    addRule(R"({"path": "^/content/", "action": "drop", "first": 1})");
    EXPECT_THROW(fetchLink(link), Poco::Exception);
    EXPECT_EQ(whole, fetchLink(link).body);

    Poco::JSON::Array::Ptr served = control("GET", "served").json()->getArray("served");
    std::vector<std::string> faults;
    for (size_t i = 0; i < served->size(); ++i) {
        Poco::JSON::Object::Ptr entry = served->getObject(static_cast<unsigned>(i));
        if (entry->getValue<std::string>("path").rfind("/content/", 0) == 0) {
            faults.push_back(entry->getValue<std::string>("fault"));
        }
    }
    EXPECT_EQ((std::vector<std::string>{"delay", "corrupt", "", "truncate", "drop", ""}), faults);
}

TEST_F(BackendFaultTest, ServersThatIgnoreRangesTrickleResetOrHandOutPlainLinks) {
    startBackend();
    const std::string token = signIn();
    const std::string link = api("GET", PRODUCT + "/rootManifests", bearer(token)).json()->getValue<std::string>("link");
    const std::string whole = VantisTest::ReadFileBytes(catalogue() + "/games/1207658924/product.json");

    addRule(R"({"path": "^/content/", "action": "ignore-range", "first": 1})");
    HttpResult ignored = fetchLink(link, "bytes=0-9");
    EXPECT_EQ(200, ignored.status);
    EXPECT_EQ(whole, ignored.body);
    EXPECT_EQ(206, fetchLink(link, "bytes=0-9").status) << "only the first request was hit";

    control("DELETE", "faults");
    // A tenth of the body every tenth of a second: slow, but whole.
    addRule(R"({"path": "^/content/", "action": "trickle", "first": 1, "bytes": )" +
            std::to_string(whole.size()) + "}");
    EXPECT_EQ(whole, fetchLink(link).body);

    control("DELETE", "faults");
    addRule(R"({"path": "^/content/", "action": "reset", "bytes": 10, "first": 1})");
    EXPECT_LT(bodyEvenIfCut(link).size(), whole.size());
    EXPECT_EQ(whole, fetchLink(link).body);

    control("DELETE", "faults");
    addRule(R"({"path": "/rootManifests$", "action": "http-link", "first": 1})");
    const std::string plain =
        api("GET", PRODUCT + "/rootManifests", bearer(token)).json()->getValue<std::string>("link");
    // The same address but for the scheme; the signature may be newer.
    const auto address = [](const std::string& text) {
        return text.substr(text.find(':'), text.find('?') - text.find(':'));
    };
    EXPECT_EQ(address(link), address(plain));
    EXPECT_EQ(0u, plain.rfind("http://", 0)) << plain;

    EXPECT_EQ(400, control("POST", "faults", R"({"action": "trickle"})").status) << "a trickle needs its pace";
    std::vector<std::string> faults;
    Poco::JSON::Array::Ptr served = control("GET", "served").json()->getArray("served");
    for (size_t i = 0; i < served->size(); ++i) {
        faults.push_back(served->getObject(static_cast<unsigned>(i))->getValue<std::string>("fault"));
    }
    for (const char* fault : {"ignore-range", "trickle", "reset", "http-link"}) {
        EXPECT_NE(faults.end(), std::find(faults.begin(), faults.end(), fault)) << fault;
    }
}

TEST_F(BackendApiTest, TheProgramPrintsItsEphemeralPortsServesAndStopsOnSignal) {
    Poco::Pipe output;
    std::vector<std::string> arguments = {"--api-port", "0", "--web-port", "0", "--catalogue", catalogue(),
                                          "--certificate", VANTIS_TEST_BACKEND_CERTIFICATE, "--key",
                                          VANTIS_TEST_BACKEND_KEY};
    Poco::ProcessHandle process =
        Poco::Process::launch(std::string(VANTIS_TEST_BIN_DIR) + "/vantis-backend", arguments, nullptr, &output, nullptr);
    Poco::PipeInputStream stream(output);
    std::string line;
    std::getline(stream, line);
    const std::string marker = "api https://127.0.0.1:";
    ASSERT_NE(std::string::npos, line.find(marker)) << line;
    const int port = std::stoi(line.substr(line.find(marker) + marker.size()));
    EXPECT_NE(std::string::npos, line.find(" web http://127.0.0.1:")) << line;
    EXPECT_NE(std::string::npos, line.find(" control-token ")) << line;

    Poco::Net::Context::Ptr context = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, "", "",
                                                             VANTIS_TEST_CA_CERTIFICATE,
                                                             Poco::Net::Context::VERIFY_RELAXED, 9, false);
    Poco::Net::HTTPSClientSession session("127.0.0.1", static_cast<Poco::UInt16>(port), context);
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, "/vantis-client-config.json",
                                   Poco::Net::HTTPMessage::HTTP_1_1);
    session.sendRequest(request);
    Poco::Net::HTTPResponse response;
    std::ostringstream body;
    Poco::StreamCopier::copyStream(session.receiveResponse(response), body);
    EXPECT_EQ(200, response.getStatus());
    EXPECT_NE(std::string::npos, body.str().find("\"online\""));

    Poco::Process::requestTermination(process.id());
    EXPECT_EQ(0, process.wait());
}

TEST_F(BackendApiTest, TheProgramExplainsItselfAndRefusesAMissingCatalogue) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {"help", {"--help"}, 0, "usage: vantis-backend", ""},
        {"unknown option", {"--frobnicate"}, 2, "", "unknown option --frobnicate"},
        {"missing catalogue", {"--catalogue", sandbox.path("none"), "--certificate", VANTIS_TEST_BACKEND_CERTIFICATE,
                               "--key", VANTIS_TEST_BACKEND_KEY, "--api-port", "0", "--web-port", "0"},
         1, "", "is not a directory"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Poco::Pipe out, err;
        Poco::ProcessHandle process = Poco::Process::launch(std::string(VANTIS_TEST_BIN_DIR) + "/vantis-backend",
                                                            test.arguments, nullptr, &out, &err);
        Poco::PipeInputStream outStream(out), errStream(err);
        std::ostringstream outText, errText;
        Poco::StreamCopier::copyStream(outStream, outText);
        Poco::StreamCopier::copyStream(errStream, errText);
        EXPECT_EQ(test.exitCode, process.wait());
        EXPECT_NE(std::string::npos, outText.str().find(test.out)) << outText.str();
        EXPECT_NE(std::string::npos, errText.str().find(test.err)) << errText.str();
        if (test.exitCode == 0) {
            EXPECT_EQ(std::string::npos, errText.str().find("unknown option"));
        }
    }
}
