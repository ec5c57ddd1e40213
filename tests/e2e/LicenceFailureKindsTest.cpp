// An install whose ownership check fails ends with the result of what went
// wrong, told apart through the real backend: the network, the backend, a
// session the backend ended, or a game the user does not own.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "EngineFixture.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HttpManager.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;

class LicenceFailureKindsTest : public VantisTest::EngineTest {
protected:
    void addFault(const std::string& rule) { ASSERT_EQ(200, control("POST", "faults", rule).status); }
    void pointProductsAt(const std::string& authority) {
        HttpManager::Instance()->getHostProvider()->setHost("products", authority);
    }

    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }
};

struct FailureCase {
    const char* name;
    std::function<void(LicenceFailureKindsTest&)> provoke;
    EInstallResult result;
    const char* logLine;
    bool sessionEnds;
};

TEST_F(LicenceFailureKindsTest, EachKindOfFailureEndsWithItsOwnResultAndLogLine) {
    const std::string failed = "Checking user licences for gid " + std::string(SampleGame::BASE_ID) + " failed - ";
    const FailureCase cases[] = {
        {"refused connection", [](LicenceFailureKindsTest& t) { t.pointProductsAt("127.0.0.1:1"); },
         EInstallResult::ConnectionError, "the backend could not be reached", false},
        {"TLS handshake with a plain HTTP server",
         [](LicenceFailureKindsTest& t) { t.pointProductsAt(t.server->context().webAuthority()); },
         EInstallResult::ConnectionError, "the backend could not be reached", false},
        {"5xx", [](LicenceFailureKindsTest& t) {
             t.addFault(R"({"listener": "api", "path": "^/licences", "action": "status", "status": 503})");
         },
         EInstallResult::ServerError, "the backend gave no usable answer", false},
        {"401 after a refused refresh",
         [](LicenceFailureKindsTest& t) { ASSERT_EQ(200, t.control("POST", "revoke-tokens").status); },
         EInstallResult::NotAuthorized, "the session was lost", true},
        {"403", [](LicenceFailureKindsTest& t) {
             t.addFault(R"({"listener": "api", "path": "^/licences", "action": "status", "status": 403})");
         },
         EInstallResult::NotAuthorized, "user is not authorized", false},
    };
    for (const FailureCase& each : cases) {
        SCOPED_TRACE(each.name);
        RecentMemoryBufferChannel::Instance().Clear();
        each.provoke(*this);
        EXPECT_EQ(each.result, install({SampleGame::BASE_ID}, "en"));
        EXPECT_TRUE(logged(failed + each.logLine));
        EXPECT_EQ(each.sessionEnds, HttpManager::Instance()->getSignInState() != HttpManager::SIGNED_IN);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        connect();
    }
}

}  // namespace
}  // namespace VantisClient
