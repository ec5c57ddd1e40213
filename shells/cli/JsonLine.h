// One JSON object written on one line, its members in the order they were
// set, for programs that read the shell's output line by line. Texts that are
// not valid UTF-8 (a path of another encoding) get U+FFFD for each bad byte,
// so that every line parses.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>

namespace VantisClient {

class JsonLine {
public:
    // An object whose first member is "event": `event`; none when empty.
    explicit JsonLine(const std::string& event = std::string());

    JsonLine& text(const std::string& key, const std::string& value);
    JsonLine& number(const std::string& key, int64_t value);
    JsonLine& real(const std::string& key, double value);
    JsonLine& flag(const std::string& key, bool value);
    JsonLine& null(const std::string& key);
    JsonLine& object(const std::string& key, const JsonLine& value);
    JsonLine& array(const std::string& key, const Poco::JSON::Array::Ptr& value);
    // An array of the texts, each made valid UTF-8.
    JsonLine& texts(const std::string& key, const std::vector<std::string>& values);

    const Poco::JSON::Object::Ptr& value() const { return m_object; }
    // Without the line feed.
    std::string str() const;

    // `text` with each byte that does not belong to a valid UTF-8 sequence
    // replaced by U+FFFD.
    static std::string ValidUtf8(const std::string& text);

private:
    Poco::JSON::Object::Ptr m_object;
};

}  // namespace VantisClient
