#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/WordSplitter.h"

using VantisClient::WordSplitter;

namespace {

using Words = std::vector<std::string>;

}  // namespace

TEST(WordSplitterTest, SplitsAsAShellWouldWithoutExpandingAnything) {
    const struct {
        const char* text;
        Words words;
    } cases[] = {
        {"-windowed -nosound", {"-windowed", "-nosound"}},
        {"", {}},
        {" \t\n ", {}},
        {"  -a \t\t -b\n-c  ", {"-a", "-b", "-c"}},
        {"--map 'Green Hills' --name \"Player One\"", {"--map", "Green Hills", "--name", "Player One"}},
        {"--title=\"A \\\"quoted\\\" word\"", {"--title=A \"quoted\" word"}},
        {"'it'\\''s'", {"it's"}},
        {"a'b'\"c\"d", {"abcd"}},
        {"'' \"\" x", {"", "", "x"}},
        {"--empty=''", {"--empty="}},
        {"My\\ Game \\\\server\\\\share", {"My Game", "\\server\\share"}},
        {"one\\\ntwo", {"onetwo"}},
        {"trailing\\", {"trailing\\"}},
        {"'single keeps \\ and \" and $HOME'", {"single keeps \\ and \" and $HOME"}},
        {"\"double keeps \\a, takes \\$ \\` \\\\\"", {"double keeps \\a, takes $ ` \\"}},
        {"$HOME ~ *.cfg `id` $(id) ; | && >out", {"$HOME", "~", "*.cfg", "`id`", "$(id)", ";", "|", "&&", ">out"}},
    };
    for (const auto& c : cases) {
        Words words{"left over"};
        std::string error;
        EXPECT_TRUE(WordSplitter::Split(c.text, words, error)) << c.text << ": " << error;
        EXPECT_EQ(c.words, words) << c.text;
    }
}

TEST(WordSplitterTest, TextEndingInsideQuotesIsRefusedAndGivesNoWords) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"-windowed 'Green Hills", "single quote"},
        {"--name \"Player One", "double quote"},
        {"\"escaped close \\\"", "double quote"},
        {"'", "single quote"},
        {"\"it's\" 'x", "single quote"},
    };
    for (const auto& c : cases) {
        Words words{"kept"};
        std::string error;
        EXPECT_FALSE(WordSplitter::Split(c.text, words, error)) << c.text;
        EXPECT_NE(std::string::npos, error.find(c.reason)) << c.text << ": " << error;
        EXPECT_EQ(Words{"kept"}, words) << c.text;
    }
}
