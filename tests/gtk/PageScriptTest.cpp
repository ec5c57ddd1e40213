#include <string>

#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include "gtk/PageScript.h"

using VantisClient::PageScript;

namespace {

bool isPlainAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
}

// The literal read back as JSON, which is what a JavaScript engine reads too.
std::string readBack(const std::string& literal) {
    return Poco::JSON::Parser().parse("[" + literal + "]").extract<Poco::JSON::Array::Ptr>()->getElement<std::string>(0);
}

}  // namespace

TEST(PageScriptTest, ATextReachesThePageAsOneLiteralOfPlainAscii) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"quote ends the call", "\"); window.stolen = document.cookie; (\""},
        {"backslash before the quote", "\\\"); alert(1); //"},
        {"line ends", "one\ntwo\rthree\x0b"},
        {"line and paragraph separators", "a\xE2\x80\xA8" "b\xE2\x80\xA9" "c"},
        {"script tag", "</script><script>alert(1)</script>"},
        {"characters beyond ASCII", "Caf\xC3\xA9 \xF0\x9F\x8E\xAE"},
        {"a NUL inside", std::string("before\0after", 12)},
        {"a layout message", R"({"Command":"UpdateLayout","Arguments":{"Title":{"Label":"Sample Game"}}})"},
    };
    for (const auto& each : cases) {
        const std::string literal = PageScript::StringLiteral(each.text);
        EXPECT_TRUE(isPlainAscii(literal)) << each.name << ": " << literal;
        EXPECT_EQ(each.text, readBack(literal)) << each.name;
        const std::string call = PageScript::ReceiveMessageCall(each.text);
        EXPECT_NE(std::string::npos, call.find("window.receiveMessage(" + literal + ");")) << each.name;
    }
}

TEST(PageScriptTest, BytesThatAreNotUtf8StillGiveOneLiteral) {
    for (const std::string& text : {std::string("\xC3"), std::string("\x80\x80\""), std::string("\xFF\xFE\\")}) {
        const std::string literal = PageScript::StringLiteral(text);
        EXPECT_TRUE(isPlainAscii(literal)) << literal;
        EXPECT_NO_THROW(readBack(literal)) << literal;
    }
}
