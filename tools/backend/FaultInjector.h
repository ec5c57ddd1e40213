// Faults for tests, and the record of what was served. A rule matches requests
// of one listener ("api", "web" or "any") whose path matches a pattern (a
// regular expression matched without backtracking, see PathPattern; none
// matches every path), and applies to the first N of them, to every Kth, or to all:
//   {"listener": "api", "path": "^/content/", "action": "status", "status": 503,
//    "first": 2, "every": 0, "delayMs": 0, "bytes": 0}
// Actions: "status" answers the status instead of the real reply; "delay" waits
// delayMs before the real reply; "truncate" sends only `bytes` body bytes and
// closes; "corrupt" flips `bytes` bytes (at least one) of the body; "drop" closes
// the connection without an answer; "ignore-range" answers 200 with the whole
// object to a ranged request; "trickle" sends the body at `bytes` (at least one)
// bytes per second; "reset" sends `bytes` body bytes and resets the connection;
// "http-link" answers a link request with the link's "https://" turned "http://".
//
// The record of what was served keeps the most recent requests within a byte
// budget, each with its path and range cut to a bounded length, so that a long
// run or long paths cannot grow it without end.
// Thread-safety: every operation takes the injector's mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>

#include "backend/PathPattern.h"

namespace VantisClient {
namespace Backend {

struct Fault {
    enum Action { None, Status, Delay, Truncate, Corrupt, Drop, IgnoreRange, Trickle, Reset, HttpLink };
    Action action = None;
    int status = 0;
    int delayMs = 0;
    uint64_t bytes = 0;

    std::string name() const;
};

struct ServedRequest {
    std::string listener;
    std::string method;
    std::string path;
    std::string range;
    int status = 0;
    uint64_t bodyBytes = 0;
    std::string fault;
};

class FaultInjector {
public:
    static const size_t SERVED_LOG_BYTES = 16 * 1024 * 1024;
    static const size_t SERVED_PATH_LIMIT = 512;  // longer paths are cut, marked with "..."
    static const size_t SERVED_FIELD_LIMIT = 128;  // method, range

    explicit FaultInjector(size_t servedLogBytes = SERVED_LOG_BYTES);

    // False with a reason for a rule that cannot be used; earlier rules stay.
    bool addRule(const Poco::JSON::Object::Ptr& rule, std::string& error);
    // Accepts {"rules": [...]}, [...] or one rule object.
    bool addRules(const std::string& json, std::string& error);
    void clearRules();

    // Counts the request against every matching rule; the first rule that applies wins.
    Fault match(const std::string& listener, const std::string& path);

    void record(const ServedRequest& served);
    std::vector<ServedRequest> served() const;
    Poco::JSON::Array::Ptr servedAsJson() const;
    void clearServed();
    // What the record of served requests holds, by the budget's measure.
    size_t servedBytes() const;

private:
    struct Rule {
        std::string listener;
        PathPattern path;
        Fault fault;
        uint64_t first = 0;
        uint64_t every = 0;
        uint64_t matched = 0;
    };

    static size_t sizeOf(const ServedRequest& served);

    const size_t m_servedBudget;
    mutable std::mutex m_mutex;
    std::vector<Rule> m_rules;
    std::deque<ServedRequest> m_served;
    size_t m_servedBytes = 0;
};

}  // namespace Backend
}  // namespace VantisClient
