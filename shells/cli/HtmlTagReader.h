// Walks the tags of an HTML text one at a time: name, whether it closes, and
// its attributes. Enough of HTML for reading a form: comments are skipped and
// so is the content of scripts and style sheets, where a "<" is no tag.
// Attribute names are folded to lower case; values may be double-quoted,
// single-quoted or bare, and their character references (&amp;, &#39;,
// &#x2F; ...) are decoded.
// Thread-safety: one thread at a time; the text must outlive the reader.
#pragma once

#include <map>
#include <string>

namespace VantisClient {

class HtmlTagReader {
public:
    struct Tag {
        // Lower case: "form", "input".
        std::string name;
        bool closing = false;
        std::map<std::string, std::string> attributes;

        std::string attribute(const std::string& attributeName) const;
        bool has(const std::string& attributeName) const;
    };

    explicit HtmlTagReader(const std::string& html);

    // The next tag; false at the end of the text.
    bool next(Tag& tag);

    static std::string DecodeCharacterReferences(const std::string& text);

private:
    void readAttributes(Tag& tag);
    std::string readValue();
    void skipPast(const std::string& marker);
    void skipRawText(const std::string& tagName);
    void skipBlanks();

    const std::string& m_html;
    size_t m_position = 0;
};

}  // namespace VantisClient
