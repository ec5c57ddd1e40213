// Faults for tests, and the record of what was served. A rule matches requests
// of one listener ("api", "web" or "any") whose path matches a regular
// expression, and applies to the first N of them, to every Kth, or to all:
//   {"listener": "api", "path": "^/content/", "action": "status", "status": 503,
//    "first": 2, "every": 0, "delayMs": 0, "bytes": 0}
// Actions: "status" answers the status instead of the real reply; "delay" waits
// delayMs before the real reply; "truncate" sends only `bytes` body bytes and
// closes; "corrupt" flips `bytes` bytes (at least one) of the body; "drop" closes
// the connection without an answer.
// Thread-safety: every operation takes the injector's mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/RegularExpression.h>

namespace VantisClient {
namespace Backend {

struct Fault {
    enum Action { None, Status, Delay, Truncate, Corrupt, Drop };
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
    static const size_t SERVED_LOG_LIMIT = 100000;

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

private:
    struct Rule {
        std::string listener;
        std::shared_ptr<Poco::RegularExpression> path;
        Fault fault;
        uint64_t first = 0;
        uint64_t every = 0;
        uint64_t matched = 0;
    };

    mutable std::mutex m_mutex;
    std::vector<Rule> m_rules;
    std::deque<ServedRequest> m_served;
};

}  // namespace Backend
}  // namespace VantisClient
