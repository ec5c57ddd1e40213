// The engine's offer check against the real backend: what the backend offers
// for a game, and why it offers nothing (unknown game, not owned, a backend
// that fails or hands out a link the client may not use), as the headless
// shell reports it.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "EngineFixture.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;

class ProductOfferTest : public VantisTest::EngineTest {
protected:
    ProductOfferStruct offerOf(const std::string& gameId) {
        listener.offers.clear();
        core().checkProductOfferAsync(gameId);
        EXPECT_TRUE(drainUntil([this] { return !listener.offers.empty(); }));
        return listener.offers.empty() ? ProductOfferStruct() : listener.offers.front();
    }
};

TEST_F(ProductOfferTest, TheOfferOfAnOwnedGameNamesItsLanguagesAndExtraContent) {
    const ProductOfferStruct offer = offerOf(SampleGame::BASE_ID);
    EXPECT_EQ(SampleGame::BASE_ID, offer.gameId);
    ASSERT_EQ(EInstallResult::Success, offer.result);
    EXPECT_NE(offer.languages.end(), std::find(offer.languages.begin(), offer.languages.end(), LanguageInfo("en")));
    EXPECT_TRUE(std::any_of(offer.gameIds.begin(), offer.gameIds.end(),
                            [](const AvailableGameIDInfo& available) { return available.gameId == SampleGame::DLC_ID; }));
}

TEST_F(ProductOfferTest, NothingIsOfferedWithTheReasonAnInstallWouldGive) {
    struct Case {
        const char* name;
        std::string gameId;
        std::string fault;  // a fault rule of the api listener, or none
        const char* user;
        EInstallResult result;
    };
    const Case cases[] = {
        {"unknown game", "1999999999", "", "player", EInstallResult::UnknownGame},
        {"failing backend", SampleGame::BASE_ID, R"("path": "/rootManifests$", "action": "status", "status": 400)",
         "player", EInstallResult::ServerError},
        {"plain link", SampleGame::BASE_ID, R"("path": "/rootManifests$", "action": "http-link")", "player",
         EInstallResult::ServerError},
        {"game not owned", SampleGame::BASE_ID, "", "visitor", EInstallResult::NotAuthorized},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        if (!c.fault.empty()) {
            ASSERT_EQ(200, control("POST", "faults", R"({"listener": "api", )" + c.fault + "}").status);
        }
        if (std::string(c.user) != "player") connect(c.user, "guest");
        const ProductOfferStruct offer = offerOf(c.gameId);
        EXPECT_EQ(c.result, offer.result);
        EXPECT_TRUE(offer.languages.empty());
        EXPECT_TRUE(offer.gameIds.empty());
    }
}

}  // namespace
}  // namespace VantisClient
