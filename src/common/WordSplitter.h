// Splits a command's argument text (a play task's "arguments") into words as
// a POSIX shell splits them, and does nothing else a shell would do: no
// variable, command, tilde or pattern expansion, and no shell is run.
//   - Blanks (space, tab, newline) separate words; runs of them count once.
//   - A backslash outside quotes takes the next character literally; before
//     a newline both go; at the very end it stays a backslash.
//   - Single quotes take everything up to the next single quote literally.
//   - Double quotes take everything literally up to the next unescaped double
//     quote, except that a backslash escapes $, `, ", \ and the newline.
//   - Quotes with nothing between them are an empty word.
// Text that ends inside quotes is refused: guessing where the quote should
// have ended would hand the program arguments nobody wrote.
// Thread-safety: stateless.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

class WordSplitter {
public:
    // The words of `text`; false, with `error` saying why, when it ends inside quotes.
    static bool Split(const std::string& text, std::vector<std::string>& words, std::string& error);
};

}  // namespace VantisClient
