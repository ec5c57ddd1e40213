#include "common/JsonMessageBuilder.h"

#include <cmath>
#include <cstdio>

#include <Poco/NumericString.h>

namespace VantisClient {
namespace {

const char* const ARGUMENTS_KEY = "Arguments";

// The short escapes JSON has; every other control character becomes \u00XX.
const char* shortEscape(char character) {
    switch (character) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case '\b': return "\\b";
        case '\f': return "\\f";
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        default: return nullptr;
    }
}

}  // namespace

JsonMessageBuilder::JsonString::JsonString(const std::string& text) : m_escaped(Escape(text)) {}

std::string JsonMessageBuilder::JsonString::toString() const { return "\"" + m_escaped + "\""; }

std::string JsonMessageBuilder::JsonString::Escape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char character : text) {
        if (const char* replacement = shortEscape(character)) {
            escaped += replacement;
        } else if (static_cast<unsigned char>(character) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof(code), "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(character)));
            escaped += code;
        } else {
            escaped += character;
        }
    }
    return escaped;
}

std::string JsonMessageBuilder::JsonNumeric::toString() const { return std::to_string(m_value); }

std::string JsonMessageBuilder::JsonBoolean::toString() const { return m_value ? "true" : "false"; }

std::string JsonMessageBuilder::JsonFloat::toString() const {
    // "inf" or "nan" would make the whole message unreadable to its receiver.
    if (!std::isfinite(m_value)) return "null";
    std::string text;
    Poco::floatToStr(text, m_value);
    return text;
}

std::string JsonMessageBuilder::JsonArray::toString() const {
    std::string text = "[ ";
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (i > 0) text += ", ";
        text += m_items[i]->toString();
    }
    return text + " ]";
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addStringProperty(const std::string& key,
                                                                                  const std::string& text) {
    return addProperty(key, new JsonString(text));
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addNumericProperty(const std::string& key,
                                                                                   uint64_t value) {
    return addProperty(key, new JsonNumeric(value));
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addBoolProperty(const std::string& key, bool value) {
    return addProperty(key, new JsonBoolean(value));
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addFloatProperty(const std::string& key, float value) {
    return addProperty(key, new JsonFloat(value));
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addArrayProperty(const std::string& key,
                                                                                 const std::vector<JsonVarPtr>& items) {
    return addProperty(key, new JsonArray(items));
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addProperty(const std::string& key,
                                                                            const JsonVarPtr& value) {
    m_members[key] = value;
    return *this;
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::JsonObject::addObject(const std::string& key) {
    JsonObject* object = new JsonObject;
    m_members[key] = JsonVarPtr(object);
    return *object;
}

bool JsonMessageBuilder::JsonObject::containsObject(const std::string& key) const {
    return m_members.find(key) != m_members.end();
}

std::string JsonMessageBuilder::JsonObject::toString() const {
    std::string text = "{";
    size_t remaining = m_members.size();
    for (const auto& member : m_members) {
        // Keys are the program's fixed names; escaping them changes none of
        // those and keeps the text whole should a key ever come from data.
        text += "\"" + JsonString::Escape(member.first) + "\":" + member.second->toString();
        if (--remaining > 0) text += ",";
        text += "\n";
    }
    return text + "}";
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::makeProblemReport(const std::string& kind) {
    return makeMessage("ProblemReport", kind);
}

JsonMessageBuilder::JsonObject& JsonMessageBuilder::makeCommand(const std::string& command) {
    return makeMessage("Command", command);
}

std::string JsonMessageBuilder::toString() const { return m_root.toString(); }

JsonMessageBuilder::JsonObject& JsonMessageBuilder::makeMessage(const std::string& nameKey, const std::string& name) {
    m_root.addStringProperty(nameKey, name);
    return m_root.addObject(ARGUMENTS_KEY);
}

}  // namespace VantisClient
