// A running backend for tests: the sample game packed into the sandbox, two
// accounts ("player" owns the game and its DLC, "visitor" owns nothing), both
// listeners on ephemeral loopback ports, and small HTTPS and HTTP clients that
// trust the development CA, plus a raw socket for what those clients would not send.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <Poco/JSON/Object.h>

#include "backend/BackendServer.h"
#include "support/Sandbox.h"

namespace VantisTest {

struct HttpResult {
    int status = 0;
    std::string reason;
    std::string body;
    std::map<std::string, std::string> headers;

    Poco::JSON::Object::Ptr json() const;
    std::string header(const std::string& name) const;
};

class BackendTest : public SandboxTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // `options` with the fixture's catalogue, accounts, certificate and ephemeral ports.
    VantisClient::Backend::BackendOptions completed(VantisClient::Backend::BackendOptions options);
    // Starts the backend on the sample game with `options` completed by the fixture.
    void startBackend(VantisClient::Backend::BackendOptions options = {});

    HttpResult api(const std::string& method, const std::string& pathAndQuery,
                   const std::map<std::string, std::string>& headers = {}, const std::string& body = "",
                   const std::string& contentType = "");
    HttpResult web(const std::string& method, const std::string& pathAndQuery, const std::string& body = "",
                   const std::string& contentType = "", const std::map<std::string, std::string>& headers = {});
    // A control request as tests send it: JSON, with the control token.
    HttpResult control(const std::string& method, const std::string& command, const std::string& body = "");
    // Sends `bytes` as they are to the port and returns everything received
    // until the backend closes the connection (or nothing comes for 5 s).
    std::string raw(int port, const std::string& bytes);
    // api() on an absolute https link of this backend.
    HttpResult fetchLink(const std::string& link, const std::string& range = "");
    // A password sign-in of `username`; the access token.
    std::string signIn(const std::string& username = "player");
    std::map<std::string, std::string> bearer(const std::string& token) const;
    std::string tokenQuery(const std::string& grant) const;

    std::string catalogue() const { return sandbox.path("catalogue"); }

    std::unique_ptr<VantisClient::Backend::BackendServer> server;
};

}  // namespace VantisTest
