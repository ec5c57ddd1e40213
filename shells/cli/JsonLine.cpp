#include "cli/JsonLine.h"

#include <algorithm>
#include <sstream>

#include <Poco/UTF8Encoding.h>

namespace VantisClient {
namespace {

const char* const REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

}  // namespace

JsonLine::JsonLine(const std::string& event) : m_object(new Poco::JSON::Object(Poco::JSON_PRESERVE_KEY_ORDER)) {
    if (!event.empty()) text("event", event);
}

JsonLine& JsonLine::text(const std::string& key, const std::string& value) {
    m_object->set(key, ValidUtf8(value));
    return *this;
}

JsonLine& JsonLine::number(const std::string& key, int64_t value) {
    m_object->set(key, static_cast<Poco::Int64>(value));
    return *this;
}

JsonLine& JsonLine::real(const std::string& key, double value) {
    m_object->set(key, value);
    return *this;
}

JsonLine& JsonLine::flag(const std::string& key, bool value) {
    m_object->set(key, value);
    return *this;
}

JsonLine& JsonLine::null(const std::string& key) {
    m_object->set(key, Poco::Dynamic::Var());
    return *this;
}

JsonLine& JsonLine::object(const std::string& key, const JsonLine& value) {
    m_object->set(key, value.m_object);
    return *this;
}

JsonLine& JsonLine::array(const std::string& key, const Poco::JSON::Array::Ptr& value) {
    m_object->set(key, value);
    return *this;
}

JsonLine& JsonLine::texts(const std::string& key, const std::vector<std::string>& values) {
    Poco::JSON::Array::Ptr array = new Poco::JSON::Array;
    for (const std::string& value : values) array->add(ValidUtf8(value));
    return this->array(key, array);
}

std::string JsonLine::str() const {
    std::ostringstream text;
    m_object->stringify(text);
    return text.str();
}

std::string JsonLine::ValidUtf8(const std::string& text) {
    Poco::UTF8Encoding utf8;
    std::string valid;
    valid.reserve(text.size());
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t offset = 0;
    while (offset < text.size()) {
        const int left = static_cast<int>(std::min<size_t>(text.size() - offset, 4));
        const int length = utf8.sequenceLength(bytes + offset, left);
        if (length > 0 && length <= left && utf8.queryConvert(bytes + offset, length) >= 0) {
            valid.append(text, offset, static_cast<size_t>(length));
            offset += static_cast<size_t>(length);
        } else {
            valid += REPLACEMENT_CHARACTER;
            ++offset;
        }
    }
    return valid;
}

}  // namespace VantisClient
