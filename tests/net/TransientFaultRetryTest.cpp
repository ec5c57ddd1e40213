// The schedule of tries after transient faults, with the pauses recorded
// instead of waited for.
#include <vector>

#include <gtest/gtest.h>

#include "net/TransientFaultRetry.h"

namespace VantisClient {
namespace Http {
namespace {

using Attempt = TransientFaultRetry::Attempt;

class TransientFaultRetryTest : public ::testing::Test {
protected:
    TransientFaultRetry retry(bool pausesEnd = true) {
        return TransientFaultRetry(abort, TransientFaultRetry::Schedule(), [this, pausesEnd](long ms) {
            pauses.push_back(ms);
            return pausesEnd;
        });
    }

    AbortSignal::Ptr abort = new AbortSignal;
    std::vector<long> pauses;
};

TEST_F(TransientFaultRetryTest, PausesDoubleFromAFifthOfASecondToOneAndAddUpToHalfAMinute) {
    TransientFaultRetry schedule = retry();
    EXPECT_EQ(Attempt::Transient, schedule.run("a document", [] { return Attempt::Transient; }));
    ASSERT_GE(pauses.size(), 5u);
    EXPECT_EQ((std::vector<long>{200, 400, 800, 1000, 1000}), std::vector<long>(pauses.begin(), pauses.begin() + 5));
    long total = 0;
    for (long pause : pauses) total += pause;
    EXPECT_LE(total, 30000);
    EXPECT_GT(total + 1000, 30000) << "another pause would still have fitted";
    EXPECT_EQ(static_cast<int>(pauses.size()) + 1, schedule.tries());
}

TEST_F(TransientFaultRetryTest, StopsAtTheFirstOutcomeThatIsNotTransient) {
    for (Attempt last : {Attempt::Succeeded, Attempt::Failed}) {
        pauses.clear();
        TransientFaultRetry schedule = retry();
        int tries = 0;
        EXPECT_EQ(last, schedule.run("a document", [&] { return ++tries < 4 ? Attempt::Transient : last; }));
        EXPECT_EQ(4, schedule.tries());
        EXPECT_EQ((std::vector<long>{200, 400, 800}), pauses);
    }
}

TEST_F(TransientFaultRetryTest, AWaitCutShortEndsTheTries) {
    TransientFaultRetry schedule = retry(false);
    EXPECT_EQ(Attempt::Transient, schedule.run("a document", [] { return Attempt::Transient; }));
    EXPECT_EQ(1, schedule.tries());
}

TEST_F(TransientFaultRetryTest, TheClockWaitEndsAtOnceOnAbort) {
    abort->raise();
    TransientFaultRetry schedule(abort);
    EXPECT_EQ(Attempt::Transient, schedule.run("a document", [] { return Attempt::Transient; }));
    EXPECT_EQ(1, schedule.tries());
}

TEST_F(TransientFaultRetryTest, StatusesAndUndecodableAnswersByKind) {
    for (int status : {-1, 408, 429, 500, 502, 503, 504, 599}) {
        EXPECT_TRUE(TransientFaultRetry::IsTransientStatus(status)) << status;
    }
    for (int status : {200, 206, 400, 401, 403, 404, 410, 416}) {
        EXPECT_FALSE(TransientFaultRetry::IsTransientStatus(status)) << status;
    }
    for (int status : {401, 403, 410}) EXPECT_TRUE(TransientFaultRetry::IsRefusedLink(status)) << status;
    EXPECT_FALSE(TransientFaultRetry::IsRefusedLink(404));

    // Damage differs from one fetch to the next; the same bytes twice are what the server serves.
    TransientFaultRetry schedule = retry();
    EXPECT_EQ(Attempt::Transient, schedule.undecodable("{\"link\": \"ht"));
    EXPECT_EQ(Attempt::Transient, schedule.undecodable("<html>"));
    EXPECT_EQ(Attempt::Failed, schedule.undecodable("<html>"));
}

}  // namespace
}  // namespace Http
}  // namespace VantisClient
