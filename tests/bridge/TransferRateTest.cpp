#include <gtest/gtest.h>

#include "bridge/TransferRate.h"

namespace VantisClient {
namespace {

TEST(TransferRateTest, SpeedIsTheGainOverTheLastSecondsAndANewDownloadStartsAfresh) {
    using std::chrono::milliseconds;
    const TransferRate::Clock::time_point start{};
    const struct {
        const char* name;
        std::vector<std::pair<int, uint64_t>> reports;  // milliseconds after the start, bytes done
        uint64_t bytesPerSecond;
    } cases[] = {
        {"nothing yet", {}, 0},
        {"one report", {{0, 500}}, 0},
        {"two reports at the same moment", {{100, 0}, {100, 500}}, 0},
        {"steady", {{0, 0}, {1000, 1000}, {2000, 2000}}, 1000},
        // Only the last five seconds count: the slow start is forgotten.
        {"a slow start", {{0, 0}, {10000, 10}, {11000, 1010}, {16000, 6010}}, 1000},
        {"a new download", {{0, 0}, {1000, 5000}, {2000, 100}, {3000, 300}}, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransferRate rate;
        for (const auto& report : c.reports) rate.add(report.second, start + milliseconds(report.first));
        EXPECT_EQ(c.bytesPerSecond, rate.bytesPerSecond());
    }
}

}  // namespace
}  // namespace VantisClient
