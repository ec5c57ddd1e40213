// The path pattern of a fault rule: a regular expression matched anywhere in the
// path, in time proportional to the path's length times the pattern's size. The
// matcher walks every possible state at once instead of backtracking, so no rule
// can make a request expensive, whatever the pattern.
//
// Understood: literal bytes, ".", classes ("[a-z_]", "[^/]"), escapes (\. \/ and
// any other punctuation, \d \w \s and their negations, \n \t \r \f \v), anchors
// "^" and "$", groups "(...)" and "(?:...)", alternation "|" and the quantifiers
// "*" "+" "?" "{m}" "{m,}" "{m,n}" (a trailing "?" for laziness is accepted: it
// cannot change whether a path matches). Back-references, look-arounds, word
// boundaries, possessive quantifiers and inline options are refused, as are
// patterns longer than MAX_PATTERN bytes or that unfold into more than
// MAX_PROGRAM steps.
//
// Thread-safety: immutable once compiled; matches may run concurrently.
#pragma once

#include <bitset>
#include <string>
#include <vector>

namespace VantisClient {
namespace Backend {

class PathPattern {
public:
    static const size_t MAX_PATTERN = 1024;
    static const size_t MAX_PROGRAM = 4096;

    // False with a reason in `error` for a pattern outside the supported set.
    static bool Compile(const std::string& pattern, PathPattern& compiled, std::string& error);

    // Whether the pattern matches somewhere in `text`. An empty pattern matches everything.
    bool matches(const std::string& text) const;

private:
    struct Step {
        enum Op { Class, Split, Jump, Begin, End, Match };
        Op op = Match;
        int a = 0;  // Class: index into m_classes; Split and Jump: target
        int b = 0;  // Split: second target
    };
    class Parser;

    void follow(int start, size_t position, size_t length, std::vector<int>& list, std::vector<unsigned>& seen,
                unsigned generation, bool& matched) const;

    std::vector<Step> m_program;
    std::vector<std::bitset<256>> m_classes;
};

}  // namespace Backend
}  // namespace VantisClient
