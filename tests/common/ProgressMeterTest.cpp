#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "common/ProgressMeter.h"

using VantisClient::ProgressMeter;
using VantisTest::FakeClock;

namespace {

const uint64_t MIB = 1048576;

struct Sample {
    double atSeconds;
    uint64_t bytesDone;
};

struct SpeedCase {
    const char* name;
    std::vector<Sample> samples;
    double expectedMiBPerSecond;
    // -1: no time left can be told.
    int64_t expectedSecondsLeft;
};

class ProgressMeterSpeedTest : public ::testing::TestWithParam<SpeedCase> {};

}  // namespace

TEST_P(ProgressMeterSpeedTest, SpeedAndTimeLeftOfHundredMiB) {
    FakeClock clock;
    ProgressMeter meter(clock.function());
    for (const Sample& sample : GetParam().samples) {
        clock.set(sample.atSeconds);
        meter.addSample(sample.bytesDone, 100 * MIB);
    }
    EXPECT_DOUBLE_EQ(GetParam().expectedMiBPerSecond, meter.bytesPerSecond() / MIB);
    uint64_t secondsLeft = 0;
    EXPECT_EQ(GetParam().expectedSecondsLeft >= 0, meter.secondsLeft(secondsLeft));
    if (GetParam().expectedSecondsLeft >= 0) {
        EXPECT_EQ(static_cast<uint64_t>(GetParam().expectedSecondsLeft), secondsLeft);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ProgressMeterSpeedTest,
                         ::testing::Values(SpeedCase{"Steady", {{0, 0}, {1, 2 * MIB}, {2, 4 * MIB}}, 2.0, 48},
                                           // A burst at the start is forgotten once it is out of the window.
                                           SpeedCase{"BurstOutOfWindow",
                                                     {{0, 0},
                                                      {1, 50 * MIB},
                                                      {2, 51 * MIB},
                                                      {3, 52 * MIB},
                                                      {4, 53 * MIB},
                                                      {5, 54 * MIB},
                                                      {6, 55 * MIB},
                                                      {7, 56 * MIB},
                                                      {8, 57 * MIB},
                                                      {9, 58 * MIB},
                                                      {10, 59 * MIB}},
                                                     1.0,
                                                     41},
                                           // Samples further apart than the window still give a speed.
                                           SpeedCase{"SparseSamples", {{0, 0}, {10, 10 * MIB}}, 1.0, 90},
                                           SpeedCase{"OneSample", {{0, 10 * MIB}}, 0.0, -1},
                                           SpeedCase{"Stalled", {{0, 10 * MIB}, {3, 10 * MIB}}, 0.0, -1},
                                           SpeedCase{"SameInstant", {{2, 0}, {2, 10 * MIB}}, 0.0, -1},
                                           // Fewer bytes than before: a new transfer, whose speed is not known yet.
                                           SpeedCase{"StartedOver", {{0, 0}, {1, 20 * MIB}, {2, 5 * MIB}}, 0.0, -1},
                                           // A remainder of part of a second still needs that second.
                                           SpeedCase{"RoundsUp", {{0, 0}, {1, 3 * MIB}}, 3.0, 33}),
                         [](const ::testing::TestParamInfo<SpeedCase>& testCase) {
                             return std::string(testCase.param.name);
                         });

TEST(ProgressMeterFormatTest, SizesSpeedsAndDurations) {
    EXPECT_EQ("0.0 MiB", ProgressMeter::FormatMiB(0));
    EXPECT_EQ("75.0 MiB", ProgressMeter::FormatMiB(75 * MIB));
    EXPECT_EQ("1.5 MiB", ProgressMeter::FormatMiB(3 * MIB / 2));
    EXPECT_EQ("2.5 MiB/s", ProgressMeter::FormatSpeed(2.5 * MIB));
    EXPECT_EQ("0:00", ProgressMeter::FormatDuration(0));
    EXPECT_EQ("0:07", ProgressMeter::FormatDuration(7));
    EXPECT_EQ("12:30", ProgressMeter::FormatDuration(750));
    EXPECT_EQ("75:00", ProgressMeter::FormatDuration(4500));
}
