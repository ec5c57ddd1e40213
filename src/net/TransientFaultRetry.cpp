#include "net/TransientFaultRetry.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "common/Logger.h"
#include "net/HttpManager.h"
#include "net/HttpResponse.h"

namespace VantisClient {
namespace Http {

namespace {

const long WAIT_STEP_MS = 50;

}  // namespace

TransientFaultRetry::TransientFaultRetry(const AbortSignal::Ptr& abort) : m_abort(abort) {}

TransientFaultRetry::TransientFaultRetry(const AbortSignal::Ptr& abort, const Schedule& schedule, Pause pause)
    : m_abort(abort), m_schedule(schedule), m_pause(std::move(pause)) {}

TransientFaultRetry::Attempt TransientFaultRetry::run(const std::string& what,
                                                      const std::function<Attempt()>& attempt) {
    long paused = 0;
    long pause = m_schedule.firstPauseMs;
    for (;;) {
        ++m_tries;
        const Attempt outcome = attempt();
        if (outcome != Attempt::Transient) return outcome;
        if (paused + pause > m_schedule.totalPauseMs) {
            Logger::LogError("Giving up %s after %d tries over transient faults", what.c_str(), m_tries);
            return outcome;
        }
        Logger::LogWarning("Trying %s again in %ld ms after a transient fault (try %d)", what.c_str(), pause,
                           m_tries);
        if (!(m_pause ? m_pause(pause) : waitOnClock(pause))) return outcome;
        paused += pause;
        pause = std::min(pause * 2, m_schedule.longestPauseMs);
    }
}

bool TransientFaultRetry::IsTransientStatus(int32_t status) {
    return status == HttpResponse::NO_STATUS || status == 408 || status == 429 || (status >= 500 && status <= 599);
}

bool TransientFaultRetry::IsRefusedLink(int32_t status) { return status == 401 || status == 403 || status == 410; }

TransientFaultRetry::Attempt TransientFaultRetry::undecodable(const std::string& body) {
    const bool repeated = m_sawUndecodable && body == m_lastUndecodable;
    m_sawUndecodable = true;
    m_lastUndecodable = body;
    return repeated ? Attempt::Failed : Attempt::Transient;
}

bool TransientFaultRetry::waitOnClock(long ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if ((m_abort && m_abort->isRaised()) || HttpManager::IsShutDown()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(WAIT_STEP_MS)));
    }
}

}  // namespace Http
}  // namespace VantisClient
