// The word splitter on arbitrary argument text, as an info file may hold it.
// Text it accepts must give words that, each put in single quotes, split back
// into the same words: a word the splitter made up or lost on the way would
// show as a difference.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "common/WordSplitter.h"

namespace {

using VantisClient::WordSplitter;

std::string singleQuoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words;
    std::string error;
    if (!WordSplitter::Split(VantisFuzz::ToText(data, size), words, error)) return 0;
    std::string quoted;
    for (const std::string& word : words) quoted += singleQuoted(word) + " ";
    std::vector<std::string> again;
    if (!WordSplitter::Split(quoted, again, error) || again != words) {
        std::fprintf(stderr, "the quoted words read back differently: %s\n", quoted.c_str());
        std::abort();
    }
    return 0;
}
