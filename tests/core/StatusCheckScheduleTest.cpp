// The pace of backend status checks: the normal period while the backend
// answers, seconds after a failure, growing with each further failure up to
// its cap, and the normal period again after one success.
#include <gtest/gtest.h>

#include "core/StatusCheckSchedule.h"

namespace VantisClient {
namespace {

TEST(StatusCheckScheduleTest, TheDelayDoublesWithEachFailureUpToItsCap) {
    struct Case {
        unsigned failures;
        long delayMs;
    };
    const Case cases[] = {
        {0, 600000}, {1, 2000}, {2, 4000}, {3, 8000}, {4, 16000}, {5, 32000}, {6, 60000}, {7, 60000},
        {4000000000u, 60000},  // a backend away for ever never overflows the delay
    };
    const StatusCheckSchedule schedule(2000);
    for (const Case& c : cases) EXPECT_EQ(c.delayMs, schedule.delayAfter(c.failures)) << c.failures;
    EXPECT_EQ(60000, StatusCheckSchedule(600000).delayAfter(1)) << "a first retry beyond the cap is capped";
}

TEST(StatusCheckScheduleTest, OneSuccessBringsBackTheNormalPeriodAndTheNextFailureStartsOver) {
    StatusCheckSchedule schedule(2000);
    EXPECT_EQ(2000, schedule.recordFailure());
    EXPECT_EQ(4000, schedule.recordFailure());
    EXPECT_EQ(8000, schedule.recordFailure());
    EXPECT_EQ(3u, schedule.failures());
    EXPECT_EQ(600000, schedule.recordSuccess());
    EXPECT_EQ(0u, schedule.failures());
    EXPECT_EQ(2000, schedule.recordFailure());
}

}  // namespace
}  // namespace VantisClient
