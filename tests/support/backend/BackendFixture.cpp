#include "BackendFixture.h"

#include <sstream>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/StreamCopier.h>
#include <Poco/URI.h>

#include "CatalogueFixture.h"
#include "pack/PackDescription.h"
#include "pack/Packer.h"

namespace VantisTest {

namespace {

const char* const ACCOUNTS = R"({"users": [
  {"username": "player", "password": "secret", "id": "12345678901234567", "games": ["1207658924", "1207658925"]},
  {"username": "visitor", "password": "guest", "games": []}
]})";

HttpResult exchange(Poco::Net::HTTPClientSession& session, const std::string& method, const std::string& target,
                    const std::map<std::string, std::string>& headers, const std::string& body,
                    const std::string& contentType) {
    Poco::Net::HTTPRequest request(method, target, Poco::Net::HTTPMessage::HTTP_1_1);
    for (const auto& header : headers) request.set(header.first, header.second);
    if (!body.empty() || method == "POST") {
        request.setContentLength64(static_cast<Poco::Int64>(body.size()));
        if (!contentType.empty()) request.setContentType(contentType);
    }
    session.sendRequest(request) << body;
    Poco::Net::HTTPResponse response;
    std::istream& stream = session.receiveResponse(response);
    HttpResult result;
    result.status = response.getStatus();
    result.reason = response.getReason();
    for (const auto& header : response) result.headers[header.first] = header.second;
    std::ostringstream content;
    Poco::StreamCopier::copyStream(stream, content);
    result.body = content.str();
    return result;
}

Poco::Net::Context::Ptr clientContext() {
    static Poco::Net::Context::Ptr context = new Poco::Net::Context(
        Poco::Net::Context::TLS_CLIENT_USE, "", "", VANTIS_TEST_CA_CERTIFICATE, Poco::Net::Context::VERIFY_RELAXED, 9,
        false, "HIGH:!aNULL:!MD5");
    return context;
}

}  // namespace

Poco::JSON::Object::Ptr HttpResult::json() const {
    return ParseJson(body);
}

std::string HttpResult::header(const std::string& name) const {
    auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

void BackendTest::SetUp() {
    SampleGame::Write(sandbox.path("input"));
    VantisClient::Pack::PackDescription description;
    std::string error;
    ASSERT_TRUE(VantisClient::Pack::PackDescription::Parse(ReadFileBytes(sandbox.path("input/game.json")), description,
                                                           error));
    VantisClient::Pack::PackSummary summary;
    ASSERT_TRUE(VantisClient::Pack::Packer(description, sandbox.path("input"), catalogue()).pack(summary, error))
        << error;
    WriteFileBytes(catalogue() + "/accounts.json", ACCOUNTS);
}

void BackendTest::TearDown() {
    if (server) server->stop();
    server.reset();
}

VantisClient::Backend::BackendOptions BackendTest::completed(VantisClient::Backend::BackendOptions options) {
    options.apiPort = 0;
    options.webPort = 0;
    options.catalogue = catalogue();
    options.accounts = catalogue() + "/accounts.json";
    options.certificate = VANTIS_TEST_BACKEND_CERTIFICATE;
    options.privateKey = VANTIS_TEST_BACKEND_KEY;
    if (options.gamecardDirectory.empty()) options.gamecardDirectory = VANTIS_TEST_GAMECARD_DIR;
    options.reportsDirectory = sandbox.path("reports");
    return options;
}

void BackendTest::startBackend(VantisClient::Backend::BackendOptions options) {
    server.reset(new VantisClient::Backend::BackendServer(completed(options)));
    std::string error;
    ASSERT_TRUE(server->start(error)) << error;
    ASSERT_GT(server->apiPort(), 0);
    ASSERT_GT(server->webPort(), 0);
}

HttpResult BackendTest::api(const std::string& method, const std::string& pathAndQuery,
                            const std::map<std::string, std::string>& headers, const std::string& body,
                            const std::string& contentType) {
    Poco::Net::HTTPSClientSession session("127.0.0.1", static_cast<Poco::UInt16>(server->apiPort()), clientContext());
    session.setTimeout(Poco::Timespan(10, 0));
    return exchange(session, method, pathAndQuery, headers, body, contentType);
}

HttpResult BackendTest::web(const std::string& method, const std::string& pathAndQuery, const std::string& body,
                            const std::string& contentType, const std::map<std::string, std::string>& headers) {
    Poco::Net::HTTPClientSession session("127.0.0.1", static_cast<Poco::UInt16>(server->webPort()));
    session.setTimeout(Poco::Timespan(10, 0));
    return exchange(session, method, pathAndQuery, headers, body, contentType);
}

HttpResult BackendTest::control(const std::string& method, const std::string& command, const std::string& body) {
    return web(method, "/control/" + command, body, "",
               {{"X-Control-Token", server->controlToken()}, {"Content-Type", "application/json"}});
}

std::string BackendTest::raw(int port, const std::string& bytes) {
    Poco::Net::StreamSocket socket(Poco::Net::SocketAddress("127.0.0.1", static_cast<Poco::UInt16>(port)));
    socket.setReceiveTimeout(Poco::Timespan(5, 0));
    socket.sendBytes(bytes.data(), static_cast<int>(bytes.size()));
    std::string received;
    char buffer[4096];
    try {
        int count = 0;
        while ((count = socket.receiveBytes(buffer, sizeof(buffer))) > 0) received.append(buffer, static_cast<size_t>(count));
    } catch (const Poco::Exception&) {
        // A timeout or a reset ends what there is to read.
    }
    return received;
}

HttpResult BackendTest::fetchLink(const std::string& link, const std::string& range) {
    Poco::URI uri(link);
    EXPECT_EQ("https", uri.getScheme());
    EXPECT_EQ(server->apiPort(), uri.getPort());
    std::map<std::string, std::string> headers;
    if (!range.empty()) headers["Range"] = range;
    return api("GET", uri.getPathAndQuery(), headers);
}

std::string BackendTest::tokenQuery(const std::string& grant) const {
    return std::string("/token?client_id=") + server->context().options.clientId +
           "&client_secret=" + server->context().options.clientSecret + "&grant_type=" + grant;
}

std::string BackendTest::signIn(const std::string& username) {
    const std::string password = username == "player" ? "secret" : "guest";
    HttpResult reply = api("GET", tokenQuery("password") + "&username=" + username + "&password=" + password);
    EXPECT_EQ(200, reply.status) << reply.body;
    return reply.json()->getValue<std::string>("access_token");
}

std::map<std::string, std::string> BackendTest::bearer(const std::string& token) const {
    return {{"Authorization", "Bearer " + token}};
}

}  // namespace VantisTest
