// An install whose ownership check fails ends with the result of what went
// wrong, told apart through the real backend: the network, the backend, a
// session the backend ended, or a game the user does not own.
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
    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }
};

TEST_F(LicenceFailureKindsTest, EachKindOfFailureEndsWithItsOwnResultAndLogLine) {
    struct Case {
        const char* name;
        // Where the ownership request goes; empty: the backend.
        std::string productsHost;
        // A fault rule of the backend; empty: none.
        std::string fault;
        bool revokeTokens;
        EInstallResult result;
        const char* logLine;
        bool sessionEnds;
    };
    const std::string licences = R"({"listener": "api", "path": "^/licences", "action": "status", "status": )";
    const Case cases[] = {
        {"refused connection", "127.0.0.1:1", "", false, EInstallResult::ConnectionError,
         "the backend could not be reached", false},
        {"TLS handshake with a plain HTTP server", server->context().webAuthority(), "", false,
         EInstallResult::ConnectionError, "the backend could not be reached", false},
        {"5xx", "", licences + "503}", false, EInstallResult::ServerError, "the backend gave no usable answer", false},
        {"401 after a refused refresh", "", "", true, EInstallResult::NotAuthorized, "the session was lost", true},
        {"403", "", licences + "403}", false, EInstallResult::NotAuthorized, "user is not authorized", false},
    };
    const std::string failed = "Checking user licences for gid " + std::string(SampleGame::BASE_ID) + " failed - ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecentMemoryBufferChannel::Instance().Clear();
        if (!c.productsHost.empty()) HttpManager::Instance()->getHostProvider()->setHost("products", c.productsHost);
        if (!c.fault.empty()) {
            ASSERT_EQ(200, control("POST", "faults", c.fault).status);
        }
        if (c.revokeTokens) {
            ASSERT_EQ(200, control("POST", "revoke-tokens").status);
        }
        EXPECT_EQ(c.result, install({SampleGame::BASE_ID}, "en"));
        EXPECT_TRUE(logged(failed + c.logLine));
        EXPECT_EQ(c.sessionEnds, HttpManager::Instance()->getSignInState() != HttpManager::SIGNED_IN);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        connect();
    }
}

}  // namespace
}  // namespace VantisClient
