#include "backend/FaultInjector.h"

#include <map>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

namespace VantisClient {
namespace Backend {

namespace {

const std::map<std::string, Fault::Action> ACTIONS = {
    {"status", Fault::Status}, {"delay", Fault::Delay}, {"truncate", Fault::Truncate},
    {"corrupt", Fault::Corrupt}, {"drop", Fault::Drop}, {"ignore-range", Fault::IgnoreRange},
    {"trickle", Fault::Trickle}, {"reset", Fault::Reset}, {"http-link", Fault::HttpLink},
};

// An optional member that must be text when present.
bool readText(const Poco::JSON::Object::Ptr& object, const std::string& key, std::string& value, std::string& error) {
    if (!object->has(key)) return true;
    const Poco::Dynamic::Var member = object->get(key);
    if (!member.isString()) {
        error = key + " must be a string";
        return false;
    }
    value = member.toString();
    return true;
}

// An optional member that must be a whole number of at least 0 when present.
bool readCount(const Poco::JSON::Object::Ptr& object, const std::string& key, uint64_t& value, std::string& error) {
    if (!object->has(key)) return true;
    const Poco::Dynamic::Var member = object->get(key);
    if (!member.isInteger() || (member.isSigned() && member.convert<Poco::Int64>() < 0)) {
        error = key + " must be a whole number of at least 0";
        return false;
    }
    value = member.convert<Poco::UInt64>();
    return true;
}

std::string cut(const std::string& text, size_t limit) {
    return text.size() <= limit ? text : text.substr(0, limit) + "...";
}

}  // namespace

std::string Fault::name() const {
    for (const auto& entry : ACTIONS) {
        if (entry.second == action) return entry.first;
    }
    return "";
}

FaultInjector::FaultInjector(size_t servedLogBytes) : m_servedBudget(servedLogBytes) {}

bool FaultInjector::addRule(const Poco::JSON::Object::Ptr& object, std::string& error) {
    Rule rule;
    std::string path, action;
    uint64_t status = 503, delayMs = 0;
    rule.listener = "any";
    if (!readText(object, "listener", rule.listener, error) || !readText(object, "path", path, error) ||
        !readText(object, "action", action, error) || !readCount(object, "status", status, error) ||
        !readCount(object, "delayMs", delayMs, error) || !readCount(object, "bytes", rule.fault.bytes, error) ||
        !readCount(object, "first", rule.first, error) || !readCount(object, "every", rule.every, error)) {
        return false;
    }
    if (rule.listener != "api" && rule.listener != "web" && rule.listener != "any") {
        error = "listener must be api, web or any";
        return false;
    }
    auto known = ACTIONS.find(action);
    if (known == ACTIONS.end()) {
        error = "action must be one of status, delay, truncate, corrupt, drop, ignore-range, trickle, reset and "
                "http-link";
        return false;
    }
    if (known->second == Fault::Trickle && rule.fault.bytes == 0) {
        error = "trickle needs bytes (per second) of at least 1";
        return false;
    }
    if (status < 100 || status > 599 || delayMs > 600000) {
        error = "status must be 100 to 599 and delayMs 0 to 600000";
        return false;
    }
    if (!PathPattern::Compile(path, rule.path, error)) {
        error = "path: " + error;
        return false;
    }
    rule.fault.action = known->second;
    rule.fault.status = static_cast<int>(status);
    rule.fault.delayMs = static_cast<int>(delayMs);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back(rule);
    return true;
}

bool FaultInjector::addRules(const std::string& json, std::string& error) {
    try {
        Poco::JSON::Parser parser;
        Poco::Dynamic::Var parsed = parser.parse(json);
        Poco::JSON::Array::Ptr rules;
        if (parsed.type() == typeid(Poco::JSON::Array::Ptr)) {
            rules = parsed.extract<Poco::JSON::Array::Ptr>();
        } else {
            if (parsed.type() != typeid(Poco::JSON::Object::Ptr)) {
                error = "expected a rule object, an array of rules or {\"rules\": [...]}";
                return false;
            }
            Poco::JSON::Object::Ptr object = parsed.extract<Poco::JSON::Object::Ptr>();
            if (!object->has("rules")) return addRule(object, error);
            rules = object->getArray("rules");
            if (!rules) {
                error = "rules must be an array";
                return false;
            }
        }
        for (size_t i = 0; rules && i < rules->size(); ++i) {
            Poco::JSON::Object::Ptr rule = rules->getObject(static_cast<unsigned>(i));
            if (!rule) {
                error = "rules must be objects";
                return false;
            }
            if (!addRule(rule, error)) return false;
        }
        return true;
    } catch (const Poco::Exception&) {
        error = "the rules are not valid JSON";
        return false;
    }
}

void FaultInjector::clearRules() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

Fault FaultInjector::match(const std::string& listener, const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Fault chosen;
    for (Rule& rule : m_rules) {
        if (rule.listener != "any" && rule.listener != listener) continue;
        if (!rule.path.matches(path)) continue;
        uint64_t count = ++rule.matched;
        bool applies = (rule.first == 0 && rule.every == 0) || (rule.first > 0 && count <= rule.first) ||
                       (rule.every > 0 && count % rule.every == 0);
        if (applies && chosen.action == Fault::None) chosen = rule.fault;
    }
    return chosen;
}

void FaultInjector::record(const ServedRequest& served) {
    ServedRequest entry = served;
    entry.listener = cut(entry.listener, SERVED_FIELD_LIMIT);
    entry.method = cut(entry.method, SERVED_FIELD_LIMIT);
    entry.path = cut(entry.path, SERVED_PATH_LIMIT);
    entry.range = cut(entry.range, SERVED_FIELD_LIMIT);
    entry.fault = cut(entry.fault, SERVED_FIELD_LIMIT);
    const size_t size = sizeOf(entry);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_served.push_back(entry);
    m_servedBytes += size;
    while (m_servedBytes > m_servedBudget && !m_served.empty()) {
        m_servedBytes -= sizeOf(m_served.front());
        m_served.pop_front();
    }
}

size_t FaultInjector::sizeOf(const ServedRequest& served) {
    return sizeof(ServedRequest) + served.listener.size() + served.method.size() + served.path.size() +
           served.range.size() + served.fault.size();
}

size_t FaultInjector::servedBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_servedBytes;
}

std::vector<ServedRequest> FaultInjector::served() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<ServedRequest>(m_served.begin(), m_served.end());
}

Poco::JSON::Array::Ptr FaultInjector::servedAsJson() const {
    Poco::JSON::Array::Ptr list = new Poco::JSON::Array;
    for (const ServedRequest& served : served()) {
        Poco::JSON::Object::Ptr entry = new Poco::JSON::Object;
        entry->set("listener", served.listener);
        entry->set("method", served.method);
        entry->set("path", served.path);
        entry->set("range", served.range);
        entry->set("status", served.status);
        entry->set("bodyBytes", static_cast<Poco::UInt64>(served.bodyBytes));
        entry->set("fault", served.fault);
        list->add(entry);
    }
    return list;
}

void FaultInjector::clearServed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_served.clear();
    m_servedBytes = 0;
}

}  // namespace Backend
}  // namespace VantisClient
