#include "common/SecretRedactor.h"

#include <Poco/String.h>

namespace VantisClient {
namespace {

// A signed content link works for anyone who holds it: its signature (and a
// token, where a link carries one) is as secret as a password.
const char* const SECRET_QUERY_PARAMETERS[] = {"client_secret", "password",  "refresh_token", "code",
                                               "steam_ticket",  "signature", "token"};
const char* const SECRET_JSON_MEMBERS[] = {"access_token", "refresh_token"};

// Masks the value of one "name=value" pair of a query; a bare name stays.
std::string maskPair(const std::string& pair) {
    const std::string::size_type equals = pair.find('=');
    if (equals == std::string::npos || !SecretRedactor::isSecretParameter(pair.substr(0, equals))) return pair;
    return pair.substr(0, equals + 1) + SecretRedactor::MASK;
}

// The position just after the closing quote of the JSON string that starts at
// `open` (a quote), honouring backslash escapes; npos when it never closes.
std::string::size_type endOfJsonString(const std::string& json, std::string::size_type open) {
    for (std::string::size_type i = open + 1; i < json.size(); ++i) {
        if (json[i] == '\\') {
            ++i;
        } else if (json[i] == '"') {
            return i + 1;
        }
    }
    return std::string::npos;
}

// Masks every string value of member `name` in `json`.
void maskJsonMember(std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\"";
    std::string::size_type from = 0;
    for (;;) {
        const std::string::size_type found = json.find(key, from);
        if (found == std::string::npos) return;
        std::string::size_type cursor = found + key.size();
        while (cursor < json.size() && (json[cursor] == ' ' || json[cursor] == '\t' || json[cursor] == '\n' ||
                                        json[cursor] == '\r' || json[cursor] == ':')) {
            ++cursor;
        }
        if (cursor < json.size() && json[cursor] == '"') {
            const std::string::size_type end = endOfJsonString(json, cursor);
            const std::string::size_type length = (end == std::string::npos ? json.size() : end) - cursor;
            const std::string replacement = std::string("\"") + SecretRedactor::MASK + "\"";
            json.replace(cursor, length, replacement);
            cursor += replacement.size();
        }
        from = cursor;
    }
}

// Masks the values of secret query parameters wherever a link stands in
// `text` (a JSON body that hands out signed links, for one).
void maskQueryValues(std::string& text) {
    static const char* const VALUE_END = "&\"#\\ \t\r\n'<>";
    for (const char* name : SECRET_QUERY_PARAMETERS) {
        const std::string key = std::string(name) + "=";
        for (std::string::size_type found = text.find(key); found != std::string::npos;
             found = text.find(key, found + 1)) {
            if (found == 0 || (text[found - 1] != '?' && text[found - 1] != '&')) continue;
            const std::string::size_type value = found + key.size();
            std::string::size_type end = text.find_first_of(VALUE_END, value);
            if (end == std::string::npos) end = text.size();
            text.replace(value, end - value, SecretRedactor::MASK);
        }
    }
}

}  // namespace

const char* const SecretRedactor::MASK = "***";

std::string SecretRedactor::maskUrl(const std::string& url) {
    const std::string::size_type query = url.find('?');
    if (query == std::string::npos) return url;
    const std::string::size_type fragment = url.find('#', query);
    const std::string::size_type queryEnd = fragment == std::string::npos ? url.size() : fragment;
    std::string masked = url.substr(0, query + 1);
    std::string::size_type start = query + 1;
    while (start <= queryEnd) {
        std::string::size_type end = url.find('&', start);
        if (end == std::string::npos || end > queryEnd) end = queryEnd;
        masked += maskPair(url.substr(start, end - start));
        if (end < queryEnd) masked += '&';
        start = end + 1;
    }
    return masked + url.substr(queryEnd);
}

bool SecretRedactor::isSecretParameter(const std::string& name) {
    for (const char* secret : SECRET_QUERY_PARAMETERS) {
        if (name == secret) return true;
    }
    return false;
}

std::string SecretRedactor::maskHeaderValue(const std::string& name, const std::string& value) {
    if (Poco::icompare(name, "Authorization") == 0) return MASK;
    return value;
}

std::string SecretRedactor::maskJsonTokens(const std::string& json) {
    std::string masked = json;
    for (const char* member : SECRET_JSON_MEMBERS) maskJsonMember(masked, member);
    maskQueryValues(masked);
    return masked;
}

}  // namespace VantisClient
