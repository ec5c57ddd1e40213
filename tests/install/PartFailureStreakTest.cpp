// When a part that keeps failing is the server's doing: the same failure, with
// the same bytes, three times in a row.
#include <string>

#include <gtest/gtest.h>

#include "install/PartFailureStreak.h"

namespace VantisClient {
namespace {

TEST(PartFailureStreakTest, OnlyTheSameFailureThreeTimesInARowIsTheServers) {
    const std::string damaged = PartFailureStreak::Signature("damaged part", "bytes");
    const std::string otherBytes = PartFailureStreak::Signature("damaged part", "bytez");
    const std::string wrongSize = PartFailureStreak::Signature("answer of the wrong size", "bytes");
    ASSERT_NE(damaged, otherBytes);
    ASSERT_NE(damaged, wrongSize);

    PartFailureStreak streaks;
    EXPECT_FALSE(streaks.recordFailure("f", 0, damaged));
    EXPECT_FALSE(streaks.recordFailure("f", 0, damaged));
    // Another part, or another file, has a streak of its own.
    EXPECT_FALSE(streaks.recordFailure("f", 1, damaged));
    EXPECT_FALSE(streaks.recordFailure("g", 0, damaged));
    EXPECT_TRUE(streaks.recordFailure("f", 0, damaged));

    // Different bytes start the count anew, and so does a failure that tells nothing of the data.
    EXPECT_FALSE(streaks.recordFailure("f", 1, otherBytes));
    EXPECT_FALSE(streaks.recordFailure("f", 1, damaged));
    streaks.breakStreak("f", 1);
    EXPECT_FALSE(streaks.recordFailure("f", 1, damaged));
    EXPECT_FALSE(streaks.recordFailure("f", 1, damaged));
    EXPECT_TRUE(streaks.recordFailure("f", 1, damaged));
}

}  // namespace
}  // namespace VantisClient
