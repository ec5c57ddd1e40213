#include "common/WordSplitter.h"

namespace VantisClient {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Inside double quotes a backslash escapes only these; before any other it is itself.
bool isEscapedInDoubleQuotes(char c) { return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n'; }

// Reads the text one character at a time into the words; one instance per Split.
class Reader {
public:
    Reader(const std::string& text, std::vector<std::string>& words) : m_text(text), m_words(words) {}

    // False with `error` when the text ends inside quotes.
    bool read(std::string& error) {
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (isBlank(c)) {
                endWord();
            } else if (c == '\\') {
                escapeOutsideQuotes();
            } else if (c == '\'') {
                if (!readSingleQuoted()) return fail("a single quote is never closed", error);
            } else if (c == '"') {
                if (!readDoubleQuoted()) return fail("a double quote is never closed", error);
            } else {
                add(c);
            }
        }
        endWord();
        return true;
    }

private:
    void add(char c) {
        m_word += c;
        m_inWord = true;
    }
    void endWord() {
        if (m_inWord) m_words.push_back(m_word);
        m_word.clear();
        m_inWord = false;
    }
    void escapeOutsideQuotes() {
        if (m_at == m_text.size()) {
            add('\\');
        } else if (m_text[m_at++] != '\n') {
            add(m_text[m_at - 1]);
        }
    }
    // After the opening quote; true once the closing one is read.
    bool readSingleQuoted() {
        m_inWord = true;
        const size_t close = m_text.find('\'', m_at);
        if (close == std::string::npos) return false;
        m_word.append(m_text, m_at, close - m_at);
        m_at = close + 1;
        return true;
    }
    bool readDoubleQuoted() {
        m_inWord = true;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (c == '\\' && m_at < m_text.size() && isEscapedInDoubleQuotes(m_text[m_at])) {
                const char escaped = m_text[m_at++];
                if (escaped != '\n') m_word += escaped;
            } else {
                m_word += c;
            }
        }
        return false;
    }
    bool fail(const char* why, std::string& error) {
        error = std::string(why) + " in: " + m_text;
        return false;
    }

    const std::string& m_text;
    std::vector<std::string>& m_words;
    size_t m_at = 0;
    std::string m_word;
    // Set by quotes too, so that an empty pair makes an empty word.
    bool m_inWord = false;
};

}  // namespace

bool WordSplitter::Split(const std::string& text, std::vector<std::string>& words, std::string& error) {
    std::vector<std::string> found;
    if (!Reader(text, found).read(error)) return false;
    words = found;
    return true;
}

}  // namespace VantisClient
