// Host variables of a prepared SQLite statement: where each occurrence in the
// SQL text sits among the engine's parameters, found once at prepare time so
// that binding per execute only follows the map.
//
// The text is read with SQLite's own token rules, not with LmrUtil's SQL
// tokenizer: that one follows the library's general dialect ("//" comments, no
// "--" comments or [bracketed] names, names ending only at a few delimiters),
// while a single occurrence taken or missed here would shift every value
// after it. What the scan finds is checked against the engine's parameter
// names and numbers; any disagreement leaves the map unknown and the
// statement takes one value per engine parameter only.
#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_map>

#include "drivers/sqlite/SqliteCursor.h"
#include "host/SysUtils.h"

namespace {

enum class TOccurrenceKind { Anonymous, Numbered, Named };

struct TOccurrence {
    TOccurrenceKind Kind;
    std::string_view Text; // "?NNN" or the name with its prefix; empty for "?"
};

// SQLite's identifier characters: ASCII letters and digits, '_', '$' and
// every byte from 0x80 up (the bytes of UTF-8 sequences).
bool IsIdChar(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c >= 0x80;
}

bool IsSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// The host variables of sql in text order. String literals ('...' with ''
// inside), quoted names ("...", `...`, [...]) and comments (-- to the end of
// the line, /* ... */) hold none. A name after ':', '@', '#' or '$' runs over
// identifier characters and "::" pairs and may end in a "(...)" suffix without
// blanks, as the engine reads it; a prefix without a name is no variable (the
// engine refuses such text). The engine stops reading at a NUL byte, and so
// does this.
std::vector<TOccurrence> ScanHostVariables(std::string_view sql) {
    sql = sql.substr(0, sql.find('\0'));
    const size_t n = sql.size();
    auto at = [&](size_t k) { return k < n ? sql[k] : '\0'; };
    std::vector<TOccurrence> found;
    size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        switch (c) {
        case '\'':
        case '"':
        case '`': {
            // A doubled quote stands for itself; an unterminated literal runs to the end.
            size_t j = i + 1;
            for (;;) {
                j = sql.find(c, j);
                if (j == std::string_view::npos || at(j + 1) != c) break;
                j += 2;
            }
            i = j == std::string_view::npos ? n : j + 1;
            break;
        }
        case '[': {
            const size_t close = sql.find(']', i + 1);
            i = close == std::string_view::npos ? n : close + 1;
            break;
        }
        case '-':
            if (at(i + 1) == '-') {
                const size_t eol = sql.find('\n', i + 2);
                i = eol == std::string_view::npos ? n : eol + 1;
            } else {
                ++i;
            }
            break;
        case '/':
            if (at(i + 1) == '*') {
                const size_t close = sql.find("*/", i + 2);
                i = close == std::string_view::npos ? n : close + 2;
            } else {
                ++i;
            }
            break;
        case '?': {
            size_t j = i + 1;
            while (IsDigit(at(j)))
                ++j;
            found.push_back({j == i + 1 ? TOccurrenceKind::Anonymous : TOccurrenceKind::Numbered,
                             j == i + 1 ? std::string_view() : sql.substr(i, j - i)});
            i = j;
            break;
        }
        case ':':
        case '@':
        case '#':
        case '$': {
            size_t j = i + 1;
            bool named = false;
            for (;;) {
                const char d = at(j);
                if (IsIdChar(static_cast<unsigned char>(d))) {
                    named = true;
                    ++j;
                } else if (d == '(' && named) {
                    size_t k = j + 1;
                    while (k < n && !IsSpace(sql[k]) && sql[k] != ')')
                        ++k;
                    if (at(k) != ')') named = false; // the engine refuses it
                    j = k + 1;
                    break;
                } else if (d == ':' && at(j + 1) == ':') {
                    j += 2;
                } else {
                    break;
                }
            }
            if (named) found.push_back({TOccurrenceKind::Named, sql.substr(i, j - i)});
            i = std::min(j, n);
            break;
        }
        default:
            // A word or number, '$' included: "a$b" is one name, not a variable.
            if (IsIdChar(static_cast<unsigned char>(c))) {
                while (i < n && IsIdChar(static_cast<unsigned char>(sql[i])))
                    ++i;
            } else {
                ++i;
            }
            break;
        }
    }
    return found;
}

} // namespace

std::vector<std::string> SqliteHostVariableTexts(const std::string& sql) {
    std::vector<std::string> texts;
    for (const TOccurrence& o : ScanHostVariables(sql))
        texts.push_back(o.Kind == TOccurrenceKind::Anonymous ? std::string("?") : std::string(o.Text));
    return texts;
}

void SqliteMapHostVariables(sqlite3_stmt* stmt, const std::string& sql, TSqliteHostVariables& out) {
    const TSqliteApi& api = SqliteApi();
    out = TSqliteHostVariables();
    const int count = api.bind_parameter_count(stmt);
    if (count <= 0) {
        out.Known = true;
        return;
    }

    // The engine's names by number, and the variable each number belongs to:
    // names differing only in case are one variable, as parameter names are
    // everywhere else in the library.
    std::vector<const char*> names(static_cast<size_t>(count) + 1, nullptr);
    std::unordered_map<std::string_view, int> byName;
    std::unordered_map<std::string, int> byFoldedName;
    std::vector<int> variableOf(static_cast<size_t>(count) + 1);
    bool caseVariants = false;
    for (int p = 1; p <= count; ++p) {
        variableOf[p] = p;
        names[p] = api.bind_parameter_name(stmt, p);
        if (names[p] == nullptr) continue;
        byName.emplace(names[p], p);
        variableOf[p] = byFoldedName.emplace(host::AnsiUpperCase(names[p]), p).first->second;
        caseVariants = caseVariants || variableOf[p] != p;
    }
    if (caseVariants) {
        out.ParameterLeader.resize(static_cast<size_t>(count));
        for (int p = 1; p <= count; ++p)
            out.ParameterLeader[p - 1] = variableOf[p] - 1;
    }

    // Each occurrence's number, assigned the way the engine assigns them while
    // it parses: "?" takes one more than the largest number so far, "?NNN"
    // takes NNN, a new name takes one more than the largest, a name seen
    // before its earlier number.
    const std::vector<TOccurrence> found = ScanHostVariables(sql);
    std::vector<bool> used(static_cast<size_t>(count) + 1, false);
    std::vector<int32_t> occurrence;
    occurrence.reserve(found.size());
    int largest = 0;
    for (const TOccurrence& o : found) {
        int p = 0;
        switch (o.Kind) {
        case TOccurrenceKind::Anonymous:
            p = largest + 1;
            // Nameless, or named later by a "?NNN" of the same number.
            if (p > count || (names[p] != nullptr && names[p][0] != '?')) return;
            break;
        case TOccurrenceKind::Numbered: {
            const auto r = std::from_chars(o.Text.data() + 1, o.Text.data() + o.Text.size(), p);
            if (r.ec != std::errc() || p < 1 || p > count || names[p] == nullptr) return;
            break;
        }
        case TOccurrenceKind::Named: {
            const auto it = byName.find(o.Text);
            if (it == byName.end()) return;
            p = it->second;
            if (!used[p] && p != largest + 1) return;
            break;
        }
        }
        used[p] = true;
        largest = std::max(largest, p);
        occurrence.push_back(p);
    }
    if (largest != count) return;
    for (int p = 1; p <= count; ++p)
        if (names[p] != nullptr && !used[p]) return;

    // The first occurrence of each variable is the one whose value counts.
    std::vector<int32_t> firstOfVariable(static_cast<size_t>(count) + 1, -1);
    out.OccurrenceLeader.resize(occurrence.size());
    for (size_t k = 0; k < occurrence.size(); ++k) {
        int32_t& first = firstOfVariable[variableOf[occurrence[k]]];
        if (first < 0) first = static_cast<int32_t>(k);
        out.OccurrenceLeader[k] = first;
    }
    out.FirstOccurrence.resize(static_cast<size_t>(count));
    for (int p = 1; p <= count; ++p)
        out.FirstOccurrence[p - 1] = firstOfVariable[variableOf[p]];
    out.Occurrence = std::move(occurrence);
    out.Known = true;
}

bool SqliteCheckVariableCount(TLumraSession* session, const TSqliteHostVariables& variables, int parameters,
                              int32_t given) {
    if (given == parameters || (variables.Known && given == variables.Occurrences())) return true;
    std::string takes = std::to_string(parameters) + " host variables";
    if (variables.Known && variables.Occurrences() != parameters)
        takes += " (" + std::to_string(variables.Occurrences()) + " occurrences in its text)";
    session->SetLastError(
        "The statement takes " + takes + ", " + std::to_string(given) + " values were given", -SQLITE_RANGE);
    return false;
}
