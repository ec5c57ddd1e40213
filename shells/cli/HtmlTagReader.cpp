#include "cli/HtmlTagReader.h"

#include <cctype>
#include <cstdlib>

#include <Poco/String.h>
#include <Poco/UTF8Encoding.h>

namespace VantisClient {
namespace {

const size_t LONGEST_REFERENCE = 10;
const int REPLACEMENT_CHARACTER = 0xFFFD;

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool isNameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

bool isAttributeNameEnd(char c) { return isBlank(c) || c == '=' || c == '>' || c == '/'; }

std::string utf8Of(long codePoint) {
    const bool valid = codePoint > 0 && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
    unsigned char bytes[4];
    Poco::UTF8Encoding encoding;
    const int length = encoding.convert(valid ? static_cast<int>(codePoint) : REPLACEMENT_CHARACTER, bytes, 4);
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

// The text a reference's body ("amp", "#39", "#x2F") stands for; false when it is none.
bool referenceText(const std::string& body, std::string& text) {
    static const std::map<std::string, std::string> NAMED = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                                                             {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    if (body.size() > 1 && body[0] == '#') {
        const bool hexadecimal = body[1] == 'x' || body[1] == 'X';
        const std::string digits = body.substr(hexadecimal ? 2 : 1);
        if (digits.empty()) return false;
        char* end = nullptr;
        const long codePoint = std::strtol(digits.c_str(), &end, hexadecimal ? 16 : 10);
        if (*end != '\0') return false;
        text = utf8Of(codePoint);
        return true;
    }
    const auto named = NAMED.find(body);
    if (named == NAMED.end()) return false;
    text = named->second;
    return true;
}

}  // namespace

std::string HtmlTagReader::Tag::attribute(const std::string& attributeName) const {
    const auto found = attributes.find(attributeName);
    return found == attributes.end() ? std::string() : found->second;
}

bool HtmlTagReader::Tag::has(const std::string& attributeName) const { return attributes.count(attributeName) != 0; }

HtmlTagReader::HtmlTagReader(const std::string& html) : m_html(html) {}

bool HtmlTagReader::next(Tag& tag) {
    for (;;) {
        const size_t open = m_html.find('<', m_position);
        if (open == std::string::npos) {
            m_position = m_html.size();
            return false;
        }
        m_position = open + 1;
        if (m_html.compare(m_position, 3, "!--") == 0) {
            skipPast("-->");
            continue;
        }
        if (m_position < m_html.size() && (m_html[m_position] == '!' || m_html[m_position] == '?')) {
            skipPast(">");
            continue;
        }
        tag = Tag();
        tag.closing = m_position < m_html.size() && m_html[m_position] == '/';
        if (tag.closing) ++m_position;
        const size_t nameStart = m_position;
        while (m_position < m_html.size() && isNameCharacter(m_html[m_position])) ++m_position;
        // A "<" that opens no tag is text.
        if (m_position == nameStart) continue;
        tag.name = Poco::toLower(m_html.substr(nameStart, m_position - nameStart));
        readAttributes(tag);
        if (!tag.closing && (tag.name == "script" || tag.name == "style")) skipRawText(tag.name);
        return true;
    }
}

void HtmlTagReader::readAttributes(Tag& tag) {
    while (m_position < m_html.size()) {
        skipBlanks();
        if (m_position >= m_html.size()) return;
        const char c = m_html[m_position];
        if (c == '>') {
            ++m_position;
            return;
        }
        const size_t nameStart = m_position;
        while (m_position < m_html.size() && !isAttributeNameEnd(m_html[m_position])) ++m_position;
        if (m_position == nameStart) {
            // A stray "/" or "=".
            ++m_position;
            continue;
        }
        const std::string name = Poco::toLower(m_html.substr(nameStart, m_position - nameStart));
        skipBlanks();
        std::string value;
        if (m_position < m_html.size() && m_html[m_position] == '=') {
            ++m_position;
            skipBlanks();
            value = readValue();
        }
        // As in a browser, the first of two equal attribute names counts.
        tag.attributes.emplace(name, DecodeCharacterReferences(value));
    }
}

std::string HtmlTagReader::readValue() {
    if (m_position >= m_html.size()) return std::string();
    const char quote = m_html[m_position];
    if (quote == '"' || quote == '\'') {
        const size_t start = m_position + 1;
        size_t end = m_html.find(quote, start);
        if (end == std::string::npos) end = m_html.size();
        m_position = end == m_html.size() ? end : end + 1;
        return m_html.substr(start, end - start);
    }
    const size_t start = m_position;
    while (m_position < m_html.size() && !isBlank(m_html[m_position]) && m_html[m_position] != '>') ++m_position;
    return m_html.substr(start, m_position - start);
}

void HtmlTagReader::skipPast(const std::string& marker) {
    const size_t found = m_html.find(marker, m_position);
    m_position = found == std::string::npos ? m_html.size() : found + marker.size();
}

void HtmlTagReader::skipRawText(const std::string& tagName) {
    // Up to the closing tag, whatever the case of its name.
    for (size_t close = m_html.find("</", m_position); close != std::string::npos;
         close = m_html.find("</", close + 2)) {
        if (Poco::icompare(m_html.substr(close + 2, tagName.size()), tagName) == 0) {
            m_position = close;
            return;
        }
    }
    m_position = m_html.size();
}

void HtmlTagReader::skipBlanks() {
    while (m_position < m_html.size() && isBlank(m_html[m_position])) ++m_position;
}

std::string HtmlTagReader::DecodeCharacterReferences(const std::string& text) {
    std::string decoded;
    size_t position = 0;
    while (position < text.size()) {
        const size_t ampersand = text.find('&', position);
        const size_t semicolon = ampersand == std::string::npos ? std::string::npos : text.find(';', ampersand);
        std::string replacement;
        if (semicolon == std::string::npos || semicolon - ampersand > LONGEST_REFERENCE ||
            !referenceText(text.substr(ampersand + 1, semicolon - ampersand - 1), replacement)) {
            // Not a reference: the text stays as it is up to and with the "&".
            const size_t end = ampersand == std::string::npos ? text.size() : ampersand + 1;
            decoded.append(text, position, end - position);
            position = end;
            continue;
        }
        decoded.append(text, position, ampersand - position);
        decoded += replacement;
        position = semicolon + 1;
    }
    return decoded;
}

}  // namespace VantisClient
