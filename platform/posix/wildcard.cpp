// Windows mask matching as a small automaton over the rewritten mask.
#include "platform/posix/wildcard.h"

#include <cstddef>
#include <vector>

namespace platform::detail {

namespace {

enum class Kind { kLiteral, kStar, kDosStar, kDosQm, kDosDot };

struct Token {
    Kind kind;
    char c;
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::vector<Token> Rewrite(const std::string& mask) {
    std::vector<Token> tokens;
    if (mask == "*.*") {
        tokens.push_back({Kind::kStar, 0});
        return tokens;
    }
    for (std::size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i];
        char next = i + 1 < mask.size() ? mask[i + 1] : '\0';
        if (c == '?')
            tokens.push_back({Kind::kDosQm, 0});
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            tokens.push_back({Kind::kDosDot, 0});
        else if (c == '*' && next == '.')
            tokens.push_back({Kind::kDosStar, 0});
        else if (c == '*')
            tokens.push_back({Kind::kStar, 0});
        else
            tokens.push_back({Kind::kLiteral, Upper(c)});
    }
    return tokens;
}

}  // namespace

bool MatchesFileMask(const std::string& name, const std::string& mask) {
    const std::vector<Token> tokens = Rewrite(mask);
    const std::size_t m = tokens.size();
    const std::size_t n = name.size();
    const std::size_t lastDot = name.rfind('.');

    // states[k]: the first k tokens have matched the name so far.
    std::vector<char> states(m + 1, 0);
    states[0] = 1;
    for (std::size_t p = 0;; ++p) {
        const bool atEnd = p == n;
        const bool atDot = !atEnd && name[p] == '.';
        // Tokens that may match nothing here.
        for (std::size_t k = 0; k < m; ++k) {
            if (!states[k]) continue;
            Kind kind = tokens[k].kind;
            if (kind == Kind::kStar || kind == Kind::kDosStar || (kind == Kind::kDosQm && (atEnd || atDot)) ||
                (kind == Kind::kDosDot && atEnd))
                states[k + 1] = 1;
        }
        if (atEnd) return states[m] != 0;

        const char c = Upper(name[p]);
        std::vector<char> next(m + 1, 0);
        for (std::size_t k = 0; k < m; ++k) {
            if (!states[k]) continue;
            const Token& t = tokens[k];
            switch (t.kind) {
                case Kind::kLiteral:
                    if (t.c == c) next[k + 1] = 1;
                    break;
                case Kind::kStar: next[k] = 1; break;
                case Kind::kDosStar:
                    if (p != lastDot) next[k] = 1;
                    break;
                case Kind::kDosQm:
                    if (!atDot) next[k + 1] = 1;
                    break;
                case Kind::kDosDot:
                    if (atDot) next[k + 1] = 1;
                    break;
            }
        }
        states.swap(next);
    }
}

}  // namespace platform::detail
