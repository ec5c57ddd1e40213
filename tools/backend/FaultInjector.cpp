#include "backend/FaultInjector.h"

#include <map>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

namespace VantisClient {
namespace Backend {

namespace {

const std::map<std::string, Fault::Action> ACTIONS = {
    {"status", Fault::Status}, {"delay", Fault::Delay}, {"truncate", Fault::Truncate},
    {"corrupt", Fault::Corrupt}, {"drop", Fault::Drop},
};

}  // namespace

std::string Fault::name() const {
    for (const auto& entry : ACTIONS) {
        if (entry.second == action) return entry.first;
    }
    return "";
}

bool FaultInjector::addRule(const Poco::JSON::Object::Ptr& object, std::string& error) {
    try {
        Rule rule;
        rule.listener = object->optValue<std::string>("listener", "any");
        if (rule.listener != "api" && rule.listener != "web" && rule.listener != "any") {
            error = "listener must be api, web or any";
            return false;
        }
        rule.path = std::make_shared<Poco::RegularExpression>(object->optValue<std::string>("path", ""));
        auto action = ACTIONS.find(object->getValue<std::string>("action"));
        if (action == ACTIONS.end()) {
            error = "unknown action " + object->getValue<std::string>("action");
            return false;
        }
        rule.fault.action = action->second;
        rule.fault.status = object->optValue<int>("status", 503);
        rule.fault.delayMs = object->optValue<int>("delayMs", 0);
        rule.fault.bytes = object->optValue<uint64_t>("bytes", 0);
        rule.first = object->optValue<uint64_t>("first", 0);
        rule.every = object->optValue<uint64_t>("every", 0);
        if (rule.fault.status < 100 || rule.fault.status > 599 || rule.fault.delayMs < 0 || rule.fault.delayMs > 600000) {
            error = "status must be 100 to 599 and delayMs 0 to 600000";
            return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rules.push_back(rule);
        return true;
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
        return false;
    }
}

bool FaultInjector::addRules(const std::string& json, std::string& error) {
    try {
        Poco::JSON::Parser parser;
        Poco::Dynamic::Var parsed = parser.parse(json);
        Poco::JSON::Array::Ptr rules;
        if (parsed.type() == typeid(Poco::JSON::Array::Ptr)) {
            rules = parsed.extract<Poco::JSON::Array::Ptr>();
        } else {
            Poco::JSON::Object::Ptr object = parsed.extract<Poco::JSON::Object::Ptr>();
            if (!object->has("rules")) return addRule(object, error);
            rules = object->getArray("rules");
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
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
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
        Poco::RegularExpression::Match found;
        if (rule.path->match(path, 0, found) == 0) continue;
        uint64_t count = ++rule.matched;
        bool applies = (rule.first == 0 && rule.every == 0) || (rule.first > 0 && count <= rule.first) ||
                       (rule.every > 0 && count % rule.every == 0);
        if (applies && chosen.action == Fault::None) chosen = rule.fault;
    }
    return chosen;
}

void FaultInjector::record(const ServedRequest& served) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_served.push_back(served);
    if (m_served.size() > SERVED_LOG_LIMIT) m_served.pop_front();
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
}

}  // namespace Backend
}  // namespace VantisClient
