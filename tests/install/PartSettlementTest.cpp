// Which parts of a file whose hash differed are fetched again, from the digests
// its fetches left: a table of fetch results per part.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install/PartSettlement.h"

namespace VantisClient {
namespace {

TEST(PartSettlementTest, APartIsSettledOnceItsLatestFetchAgreesWithAnEarlierOne) {
    const struct {
        const char* name;
        // Per part, the digests of its fetches in order.
        std::vector<std::vector<std::string>> fetches;
        std::vector<uint16_t> unsettled;
    } cases[] = {
        {"one fetch each tells nothing", {{"a"}, {"b"}, {"c"}}, {0, 1, 2}},
        {"two agreeing fetches settle", {{"a", "a"}, {"b", "b"}}, {}},
        {"a damaged second fetch", {{"a", "a"}, {"b", "x"}, {"c", "c"}}, {1}},
        {"a damaged first fetch, the third agrees with the second", {{"x", "b", "b"}, {"a", "a"}}, {}},
        {"the third agrees with the first: the file holds the agreeing bytes", {{"b", "x", "b"}}, {}},
        {"three fetches all different", {{"x", "y", "z"}, {"a", "a"}}, {0}},
        {"agreement further back does not settle a differing latest fetch", {{"a", "a", "x"}}, {0}},
        {"a part not fetched again since the first", {{"a", "a"}, {"b"}}, {1}},
        {"a file without parts", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PartSettlement settlement(static_cast<uint16_t>(c.fetches.size()));
        for (uint16_t index = 0; index < c.fetches.size(); ++index) {
            for (const std::string& digest : c.fetches[index]) settlement.recordFetch(index, digest);
        }
        EXPECT_EQ(c.unsettled, settlement.unsettledParts());
        EXPECT_EQ(c.unsettled.empty(), settlement.allSettled());
        for (uint16_t index = 0; index < c.fetches.size(); ++index) {
            const bool unsettled =
                std::find(c.unsettled.begin(), c.unsettled.end(), index) != c.unsettled.end();
            EXPECT_EQ(!unsettled, settlement.isSettled(index)) << "part " << index;
        }
    }
}

TEST(PartSettlementTest, FetchesBeyondThePartsAreIgnored) {
    PartSettlement settlement(1);
    settlement.recordFetch(1, "a");
    settlement.recordFetch(1, "a");
    EXPECT_FALSE(settlement.isSettled(1));
    EXPECT_EQ(std::vector<uint16_t>{0}, settlement.unsettledParts());
}

}  // namespace
}  // namespace VantisClient
