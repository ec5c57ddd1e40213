// Tries a blocking fetch again after a transient fault: a dropped connection, a
// cut-short or undecodable answer, a 5xx or a 429. The pauses between tries
// start at 0.2 s and double up to 1 s each, until they add up to 30 s, so a
// server that is briefly unwell (a burst of errors, a restart) is outlasted
// within one install, and one that stays down ends it in bounded time. An
// undecodable answer that comes back byte for byte the same is no accident of
// the network: it fails at once.
// Thread-safety: one instance per fetch, used on the calling task's thread; the
// pauses end early when the abort signal is raised or the HTTP manager stops.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/AbortSignal.h"

namespace VantisClient {
namespace Http {

class TransientFaultRetry {
public:
    enum class Attempt { Succeeded, Transient, Failed };

    struct Schedule {
        long firstPauseMs = 200;
        long longestPauseMs = 1000;
        long totalPauseMs = 30000;
    };
    // Waits `ms`; false when the wait was cut short and no further try may follow.
    using Pause = std::function<bool(long ms)>;

    // Waits on the clock, watching the abort signal and the HTTP manager.
    explicit TransientFaultRetry(const AbortSignal::Ptr& abort);
    TransientFaultRetry(const AbortSignal::Ptr& abort, const Schedule& schedule, Pause pause);

    // Runs `attempt` until it succeeds or fails for good, or transient faults have
    // used up the pauses; `what` names the fetch in log lines (never a link's query).
    // The last attempt's outcome: Transient when the tries ran out or were stopped.
    Attempt run(const std::string& what, const std::function<Attempt()>& attempt);
    int tries() const { return m_tries; }
    const AbortSignal::Ptr& abort() const { return m_abort; }

    // A transport failure (no status), 408, 429 and every 5xx.
    static bool IsTransientStatus(int32_t status);
    // A content server that refuses the link itself (expired, revoked): a fresh link may serve.
    static bool IsRefusedLink(int32_t status);
    // Transient the first time a body cannot be decoded; Failed when it is the
    // same body as the previous undecodable one.
    Attempt undecodable(const std::string& body);

private:
    bool waitOnClock(long ms) const;

    AbortSignal::Ptr m_abort;
    Schedule m_schedule;
    Pause m_pause;
    int m_tries = 0;
    bool m_sawUndecodable = false;
    std::string m_lastUndecodable;
};

}  // namespace Http
}  // namespace VantisClient
