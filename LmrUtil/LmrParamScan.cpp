// The dataset's parameter scan: which ":name" occurrences of a SQL text are
// parameters, read with the same rules the engine applies to host variables,
// so that the dataset never makes a parameter the engine does not see, nor
// misses one it does.
#include "LmrUtil/LmrUtil.h"

#include <algorithm>

namespace {

// Characters the engine takes into a host variable's name.
bool IsNameChar(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c >= 0x80;
}

bool IsBlank(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

std::vector<std::string> LmrScanParams(const std::string& SQL, std::string& Rewritten) {
    const size_t n = std::min(SQL.find('\0'), SQL.size());
    auto at = [&](size_t k) { return k < n ? SQL[k] : '\0'; };
    std::vector<std::string> names;
    Rewritten.clear();
    Rewritten.reserve(SQL.size());
    size_t copied = 0; // SQL[copied, i) is still to be appended to Rewritten
    size_t i = 0;
    // Moves i past a literal or quoted name opened at i by `open`, closed by
    // `close` (a doubled closing character stands for itself); an unclosed one
    // runs to the end.
    auto skipQuoted = [&](char close) {
        size_t j = i + 1;
        for (;;) {
            while (j < n && SQL[j] != close)
                ++j;
            if (j >= n) {
                i = n;
                return;
            }
            if (close != ']' && at(j + 1) == close) {
                j += 2;
                continue;
            }
            i = j + 1;
            return;
        }
    };
    while (i < n) {
        const char c = SQL[i];
        switch (c) {
        case '\'':
        case '"':
        case '`':
            skipQuoted(c);
            break;
        case '[':
            skipQuoted(']');
            break;
        case '-':
            if (at(i + 1) == '-') {
                while (i < n && SQL[i] != '\n')
                    ++i;
            } else {
                ++i;
            }
            break;
        case '/':
            if (at(i + 1) == '*') {
                const size_t close = SQL.find("*/", i + 2);
                i = close == std::string::npos || close >= n ? n : close + 2;
            } else {
                ++i;
            }
            break;
        case ':': {
            if (at(i + 1) == ':') {
                // An escaped colon: one of the two goes.
                Rewritten.append(SQL, copied, i + 1 - copied);
                copied = i + 2;
                i += 2;
                break;
            }
            const char first = at(i + 1);
            if (first == '\'' || first == '"') {
                const size_t open = i + 1;
                i = open;
                skipQuoted(first);
                std::string name = SQL.substr(open, i - open);
                for (const char q : {'\'', '"'}) {
                    if (!name.empty() && name.front() == q) name.erase(0, 1);
                    if (!name.empty() && name.back() == q) name.pop_back();
                }
                names.push_back(std::move(name));
                break;
            }
            size_t j = i + 1;
            bool named = false;
            for (;;) {
                const char d = at(j);
                if (IsNameChar(static_cast<unsigned char>(d))) {
                    named = true;
                    ++j;
                } else if (d == ':' && at(j + 1) == ':' && named) {
                    j += 2;
                } else if (d == '(' && named) {
                    // A "(...)" suffix without blanks belongs to the name; one
                    // left open makes text the engine refuses, and no parameter.
                    size_t k = j + 1;
                    while (k < n && !IsBlank(SQL[k]) && SQL[k] != ')')
                        ++k;
                    named = at(k) == ')';
                    j = std::min(k + 1, n);
                    break;
                } else {
                    break;
                }
            }
            if (named) names.push_back(SQL.substr(i + 1, j - i - 1));
            i = j;
            break;
        }
        default:
            ++i;
            break;
        }
    }
    Rewritten.append(SQL, copied, std::string::npos);
    return names;
}
