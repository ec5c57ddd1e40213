// The status the user sees follows the backend within seconds, not at the next
// ten-minute check: a request that cannot reach it has its status checked at
// once, and a failed check is repeated soon until the backend is back.
#include <string>

#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "EngineFixture.h"
#include "net/HostProvider.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;

class BackendStatusRecoveryTest : public VantisTest::EngineTest {
protected:
    int32_t lastStatus() const { return listener.apiStatuses.empty() ? 0 : listener.apiStatuses.back(); }
    bool drainUntilStatus(int32_t status) {
        return drainUntil([&] { return lastStatus() == status; });
    }
};

TEST_F(BackendStatusRecoveryTest, AnOutageIsSeenAtTheNextFailedRequestAndTheReturnWithinSeconds) {
    Http::HostProvider::Instance()->setConfigHost(server->context().apiAuthority());
    core().checkAPIStatusAsync();
    ASSERT_TRUE(drainUntilStatus(APIStatusResult::STATUS_ONLINE));

    // Every connection to the backend's API is closed unanswered.
    ASSERT_EQ(200, control("POST", "faults", R"({"listener": "api", "action": "drop"})").status);
    core().checkProductOfferAsync(SampleGame::BASE_ID);
    EXPECT_TRUE(drainUntilStatus(APIStatusResult::STATUS_OFFLINE));
    EXPECT_FALSE(core().isAPIOnline());

    ASSERT_EQ(200, control("DELETE", "faults").status);
    EXPECT_TRUE(drainUntilStatus(APIStatusResult::STATUS_ONLINE));
    EXPECT_TRUE(core().isAPIOnline());
}

}  // namespace
}  // namespace VantisClient
