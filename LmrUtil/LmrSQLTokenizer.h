// The SQL tokenizer of unit LmrUtil: splits SQL text into classified tokens
// without a grammar, using a small keyword table and the clause the caller is
// in. The table-name, ORDER BY and host-variable functions of LmrUtil.h are
// built on it; it is kept in its own header so that its rules can be tested
// token by token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Token kinds. The order is fixed: the clause kinds lie contiguously from
// skSelect to skForUpdate, and callers test that range to follow the clause.
enum TLumraSQLToken : uint8_t {
    skUnknown,    // never produced; the clause state before the first clause keyword
    skTableName,  // a name followed by "."; a plain name inside FROM; a quoted name followed by "."
    skFieldName,  // a plain name outside FROM; any name after a "."
    skAscending,  // ASC, ASCENDING
    skDescending, // DESC, DESCENDING
    skSelect,     // SELECT
    skFrom,       // FROM
    skWhere,      // WHERE
    skGroupBy,    // GROUP BY
    skHaving,     // HAVING
    skUnion,      // UNION
    skPlan,       // PLAN
    skOrderBy,    // ORDER BY
    skForUpdate,  // FOR UPDATE
    skEnd,        // end of text
    skPredicate,  // a run of <, = and >
    skValue,      // a quoted string; NULL; an IS not followed by [NOT] NULL
    skIsNull,     // IS NULL
    skIsNotNull,  // IS NOT NULL
    skLike,       // LIKE
    skAnd,        // AND
    skOr,         // OR
    skNumber,     // digits and "." starting with a digit
    skAllFields,  // "*" in the SELECT clause
    skComment,    // /* ... */ or // ...
    skDistinct,   // DISTINCT in the SELECT clause
    skAssign      // a token ending in ":="
};

// True for the kinds that open a clause (skSelect..skForUpdate); after such a
// token the caller's clause state becomes that kind.
inline bool LmrIsClauseToken(TLumraSQLToken Kind) noexcept {
    return Kind >= skSelect && Kind <= skForUpdate;
}

// Reads the next token of SQL starting at byte offset Pos, with CurSection the
// clause the caller is in. Returns the token's kind, stores its text in Token
// (unquoted for quoted names and strings; "GROUP BY", "IS NOT NULL" and the
// like for two- and three-word keywords) and leaves Pos after what it consumed.
//
// The end of the text and a NUL byte both end the text: a NUL is where the
// engine's client library would stop reading the statement, so nothing after
// it is analysed. At the end skEnd is returned with an empty Token and Pos on
// the end (past any trailing delimiters), so repeated calls keep returning
// skEnd without moving it. Every other token consumes at least one byte.
// Never reads outside SQL, for any bytes and any Pos (a Pos past the end
// reads as the end).
TLumraSQLToken LmrNextSQLToken(const std::string& SQL, std::size_t& Pos, std::string& Token,
                               TLumraSQLToken CurSection);
