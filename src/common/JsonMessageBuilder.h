// Writes the small JSON messages the client sends: problem reports to the
// backend's collector and commands to the game card page. The text is fixed to
// the byte: object members stand in ascending byte order of their keys, each
// followed by a line feed; arrays are "[ a, b ]"; strings are escaped when they
// are made, so no caller can break the document with a quote or a control
// character.
//
// Thread-safety: a builder and its values belong to one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

namespace VantisClient {

class JsonMessageBuilder {
public:
    class JsonVar {
    public:
        virtual std::string toString() const = 0;
        virtual ~JsonVar() = default;
    };

    using JsonVarPtr = Poco::SharedPtr<JsonVar>;

    class JsonString : public JsonVar {
    public:
        // `text` is taken as it is and held escaped.
        explicit JsonString(const std::string& text);
        std::string toString() const override;
        // Backslash, double quote and every control character below 0x20 escaped.
        static std::string Escape(const std::string& text);

    private:
        std::string m_escaped;
    };

    class JsonNumeric : public JsonVar {
    public:
        explicit JsonNumeric(uint64_t value) : m_value(value) {}
        std::string toString() const override;

    private:
        uint64_t m_value;
    };

    class JsonBoolean : public JsonVar {
    public:
        explicit JsonBoolean(bool value) : m_value(value) {}
        std::string toString() const override;

    private:
        bool m_value;
    };

    class JsonFloat : public JsonVar {
    public:
        explicit JsonFloat(float value) : m_value(value) {}
        // The shortest decimal form that reads back to the same float; null for
        // a value JSON cannot hold (infinity, not a number).
        std::string toString() const override;

    private:
        float m_value;
    };

    class JsonArray : public JsonVar {
    public:
        explicit JsonArray(const std::vector<JsonVarPtr>& items) : m_items(items) {}
        std::string toString() const override;

    private:
        std::vector<JsonVarPtr> m_items;
    };

    class JsonObject : public JsonVar {
    public:
        // Each stores the value under `key`, replacing an earlier one, and returns
        // this object for chaining.
        JsonObject& addStringProperty(const std::string& key, const std::string& text);
        JsonObject& addNumericProperty(const std::string& key, uint64_t value);
        JsonObject& addBoolProperty(const std::string& key, bool value);
        JsonObject& addFloatProperty(const std::string& key, float value);
        JsonObject& addArrayProperty(const std::string& key, const std::vector<JsonVarPtr>& items);
        JsonObject& addProperty(const std::string& key, const JsonVarPtr& value);
        // Stores a new empty object under `key` and returns it; this object owns it.
        JsonObject& addObject(const std::string& key);
        // True when a member of any kind has `key`.
        bool containsObject(const std::string& key) const;

        std::string toString() const override;

    private:
        std::map<std::string, JsonVarPtr> m_members;
    };

    // "ProblemReport" = `kind` on the root, and a new empty "Arguments" object, returned.
    JsonObject& makeProblemReport(const std::string& kind);
    // "Command" = `command` on the root, and a new empty "Arguments" object, returned.
    JsonObject& makeCommand(const std::string& command);
    // The root object's text.
    std::string toString() const;

private:
    JsonObject& makeMessage(const std::string& nameKey, const std::string& name);

    JsonObject m_root;
};

}  // namespace VantisClient
