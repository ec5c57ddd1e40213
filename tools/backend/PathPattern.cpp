#include "backend/PathPattern.h"

#include <cctype>

namespace VantisClient {
namespace Backend {

namespace {

const int UNBOUNDED = -1;
const int MAX_COUNT = 1000;

struct Node {
    enum Kind { Set, Begin, End, Concat, Alternate, Repeat };
    Kind kind = Concat;
    int set = 0;
    int min = 0;
    int max = 0;
    std::vector<Node> children;
};

std::bitset<256> range(unsigned char from, unsigned char to) {
    std::bitset<256> set;
    for (unsigned c = from; c <= to; ++c) set.set(c);
    return set;
}

std::bitset<256> byteSet(unsigned char byte) {
    return range(byte, byte);
}

}  // namespace

// Recursive descent over the pattern into a tree, then the tree unfolded into steps.
class PathPattern::Parser {
public:
    Parser(const std::string& pattern, PathPattern& compiled) : m_text(pattern), m_compiled(compiled) {}

    bool compile(std::string& error) {
        Node root = alternation();
        if (m_error.empty() && m_position < m_text.size()) m_error = "unbalanced ')'";
        if (m_error.empty() && (!emit(root) || !push(Step::Match))) {
            m_error = "the pattern unfolds into more than " + std::to_string(MAX_PROGRAM) + " steps";
        }
        error = m_error;
        return m_error.empty();
    }

private:
    bool more() const { return m_error.empty() && m_position < m_text.size(); }
    char peek() const { return m_text[m_position]; }

    Node alternation() {
        Node node;
        node.kind = Node::Alternate;
        node.children.push_back(concatenation());
        while (more() && peek() == '|') {
            ++m_position;
            node.children.push_back(concatenation());
        }
        return node.children.size() == 1 ? node.children[0] : node;
    }

    Node concatenation() {
        Node node;
        while (more() && peek() != '|' && peek() != ')') {
            Node item = atom();
            while (more() && quantify(item)) {
            }
            node.children.push_back(item);
        }
        return node;
    }

    Node atom() {
        const char c = m_text[m_position++];
        Node node;
        node.kind = Node::Set;
        switch (c) {
            case '(': return group();
            case '[': node.set = addClass(bracket()); return node;
            case '.': node.set = addClass(~byteSet('\n')); return node;
            case '^': node.kind = Node::Begin; return node;
            case '$': node.kind = Node::End; return node;
            case '\\': node.set = addClass(escape()); return node;
            case '*': case '+': case '?': m_error = "nothing to repeat before '" + std::string(1, c) + "'"; return node;
            default: node.set = addClass(byteSet(static_cast<unsigned char>(c))); return node;
        }
    }

    Node group() {
        if (m_position < m_text.size() && peek() == '?') {
            if (m_position + 1 >= m_text.size() || m_text[m_position + 1] != ':') {
                m_error = "look-arounds, named groups and inline options are not supported";
                return Node();
            }
            m_position += 2;
        }
        Node inner = alternation();
        if (!m_error.empty()) return inner;
        if (m_position >= m_text.size() || peek() != ')') {
            m_error = "unbalanced '('";
            return inner;
        }
        ++m_position;
        return inner;
    }

    std::bitset<256> bracket() {
        std::bitset<256> set;
        const bool negated = m_position < m_text.size() && peek() == '^';
        if (negated) ++m_position;
        bool first = true;
        while (m_error.empty()) {
            if (m_position >= m_text.size()) {
                m_error = "unterminated '['";
                break;
            }
            char c = m_text[m_position++];
            if (c == ']' && !first) break;
            first = false;
            if (c == '[' && m_position < m_text.size() && peek() == ':') {
                m_error = "character class names like [:alpha:] are not supported";
                break;
            }
            if (c == '\\') {
                set |= escape();
                continue;
            }
            unsigned char from = static_cast<unsigned char>(c);
            if (m_position + 1 < m_text.size() && peek() == '-' && m_text[m_position + 1] != ']') {
                char to = m_text[m_position + 1];
                m_position += 2;
                if (to == '\\') {
                    std::bitset<256> escaped = escape();
                    if (escaped.count() != 1) {
                        m_error = "a range cannot end in a class escape";
                        break;
                    }
                    for (unsigned b = 0; b < 256; ++b) {
                        if (escaped.test(b)) to = static_cast<char>(b);
                    }
                }
                if (static_cast<unsigned char>(to) < from) {
                    m_error = "reversed range in '['";
                    break;
                }
                set |= range(from, static_cast<unsigned char>(to));
                continue;
            }
            set.set(from);
        }
        return negated ? ~set : set;
    }

    std::bitset<256> escape() {
        if (m_position >= m_text.size()) {
            m_error = "trailing backslash";
            return {};
        }
        const char c = m_text[m_position++];
        const std::bitset<256> digits = range('0', '9');
        const std::bitset<256> word = digits | range('a', 'z') | range('A', 'Z') | byteSet('_');
        const std::bitset<256> space = byteSet(' ') | range('\t', '\r');
        switch (c) {
            case 'd': return digits;
            case 'D': return ~digits;
            case 'w': return word;
            case 'W': return ~word;
            case 's': return space;
            case 'S': return ~space;
            case 'n': return byteSet('\n');
            case 't': return byteSet('\t');
            case 'r': return byteSet('\r');
            case 'f': return byteSet('\f');
            case 'v': return byteSet('\v');
            default: break;
        }
        if (std::isalnum(static_cast<unsigned char>(c))) {
            m_error = std::string("unsupported escape \\") + c;
            return {};
        }
        return byteSet(static_cast<unsigned char>(c));
    }

    // Wraps `item` in the quantifier at the current position, if there is one.
    bool quantify(Node& item) {
        int min = 0, max = 0;
        const size_t start = m_position;
        const char c = peek();
        if (c == '*') {
            min = 0, max = UNBOUNDED;
        } else if (c == '+') {
            min = 1, max = UNBOUNDED;
        } else if (c == '?') {
            min = 0, max = 1;
        } else if (c != '{' || !counts(min, max)) {
            m_position = start;
            return false;
        }
        if (c != '{') ++m_position;
        if (item.kind == Node::Begin || item.kind == Node::End) {
            m_error = "an anchor cannot be repeated";
            return false;
        }
        Node repeat;
        repeat.kind = Node::Repeat;
        repeat.min = min;
        repeat.max = max;
        repeat.children.push_back(item);
        item = repeat;
        if (m_position < m_text.size() && peek() == '?') {
            ++m_position;  // lazy: the same paths match
        } else if (m_position < m_text.size() && peek() == '+') {
            m_error = "possessive quantifiers are not supported";
        }
        return true;
    }

    // "{m}", "{m,}" or "{m,n}" at the current position; anything else is not a quantifier.
    bool counts(int& min, int& max) {
        size_t at = m_position + 1;
        if (!number(at, min)) return false;
        max = min;
        if (at < m_text.size() && m_text[at] == ',') {
            ++at;
            max = UNBOUNDED;
            if (at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[at])) && !number(at, max)) {
                return false;
            }
        }
        if (at >= m_text.size() || m_text[at] != '}') return false;
        m_position = at + 1;
        if (min > MAX_COUNT || max > MAX_COUNT) {
            m_error = "repeat counts above " + std::to_string(MAX_COUNT) + " are not supported";
        } else if (max != UNBOUNDED && max < min) {
            m_error = "repeat counts out of order";
        }
        return true;
    }

    bool number(size_t& at, int& value) const {
        const size_t start = at;
        value = 0;
        while (at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[at])) && at - start < 5) {
            value = value * 10 + (m_text[at++] - '0');
        }
        return at > start;
    }

    int addClass(const std::bitset<256>& set) {
        m_compiled.m_classes.push_back(set);
        return static_cast<int>(m_compiled.m_classes.size() - 1);
    }

    bool push(Step::Op op, int a = 0) {
        if (m_compiled.m_program.size() >= MAX_PROGRAM) return false;
        Step step;
        step.op = op;
        step.a = a;
        m_compiled.m_program.push_back(step);
        return true;
    }

    int here() const { return static_cast<int>(m_compiled.m_program.size()); }

    bool emit(const Node& node) {
        std::vector<Step>& program = m_compiled.m_program;
        switch (node.kind) {
            case Node::Set: return push(Step::Class, node.set);
            case Node::Begin: return push(Step::Begin);
            case Node::End: return push(Step::End);
            case Node::Concat:
                for (const Node& child : node.children) {
                    if (!emit(child)) return false;
                }
                return true;
            case Node::Alternate: {
                std::vector<int> jumps;
                for (size_t i = 0; i < node.children.size(); ++i) {
                    const bool last = i + 1 == node.children.size();
                    const int split = here();
                    if (!last && !push(Step::Split, split + 1)) return false;
                    if (!emit(node.children[i])) return false;
                    if (last) break;
                    jumps.push_back(here());
                    if (!push(Step::Jump)) return false;
                    program[static_cast<size_t>(split)].b = here();
                }
                for (int jump : jumps) program[static_cast<size_t>(jump)].a = here();
                return true;
            }
            case Node::Repeat: {
                const Node& body = node.children[0];
                for (int i = 0; i < node.min; ++i) {
                    if (!emit(body)) return false;
                }
                if (node.max == UNBOUNDED) {
                    const int loop = here();
                    if (!push(Step::Split, loop + 1) || !emit(body) || !push(Step::Jump, loop)) return false;
                    program[static_cast<size_t>(loop)].b = here();
                    return true;
                }
                std::vector<int> exits;
                for (int i = node.min; i < node.max; ++i) {
                    exits.push_back(here());
                    if (!push(Step::Split, here() + 1) || !emit(body)) return false;
                }
                for (int exit : exits) program[static_cast<size_t>(exit)].b = here();
                return true;
            }
        }
        return false;
    }

    const std::string& m_text;
    PathPattern& m_compiled;
    size_t m_position = 0;
    std::string m_error;
};

bool PathPattern::Compile(const std::string& pattern, PathPattern& compiled, std::string& error) {
    compiled = PathPattern();
    if (pattern.size() > MAX_PATTERN) {
        error = "patterns are limited to " + std::to_string(MAX_PATTERN) + " bytes";
        return false;
    }
    return Parser(pattern, compiled).compile(error);
}

bool PathPattern::matches(const std::string& text) const {
    if (m_program.empty()) return false;
    std::vector<unsigned> seen(m_program.size(), 0);
    std::vector<int> current, next;
    unsigned generation = 1;
    bool matched = false;
    for (size_t position = 0;; ++position) {
        // Every position may start a match: the search is unanchored.
        follow(0, position, text.size(), current, seen, generation, matched);
        if (matched) return true;
        if (position == text.size()) return false;
        ++generation;
        next.clear();
        const unsigned char byte = static_cast<unsigned char>(text[position]);
        for (int step : current) {
            if (m_classes[static_cast<size_t>(m_program[static_cast<size_t>(step)].a)].test(byte)) {
                follow(step + 1, position + 1, text.size(), next, seen, generation, matched);
            }
        }
        if (matched) return true;
        current.swap(next);
    }
}

// Adds to `list` every byte-consuming step reachable from `start` without
// consuming input at `position`; each step is visited once per generation.
void PathPattern::follow(int start, size_t position, size_t length, std::vector<int>& list,
                         std::vector<unsigned>& seen, unsigned generation, bool& matched) const {
    std::vector<int> pending{start};
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        if (seen[static_cast<size_t>(index)] == generation) continue;
        seen[static_cast<size_t>(index)] = generation;
        const Step& step = m_program[static_cast<size_t>(index)];
        switch (step.op) {
            case Step::Class: list.push_back(index); break;
            case Step::Jump: pending.push_back(step.a); break;
            case Step::Split:
                pending.push_back(step.b);
                pending.push_back(step.a);
                break;
            case Step::Begin:
                if (position == 0) pending.push_back(index + 1);
                break;
            case Step::End:
                if (position == length) pending.push_back(index + 1);
                break;
            case Step::Match: matched = true; return;
        }
    }
}

}  // namespace Backend
}  // namespace VantisClient
