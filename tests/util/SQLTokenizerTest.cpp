// The SQL tokenizer, rule by rule: each case is a text and the tokens (kind
// and text) it reads as, with the clause state followed as the SQL functions
// follow it.
#include "LmrUtil/LmrSQLTokenizer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct Tok {
    TLumraSQLToken Kind;
    std::string Text;
    bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
    return os << "{" << static_cast<int>(t.Kind) << ", \"" << t.Text << "\"}";
}

// Every token up to skEnd (not included), the clause state updated after each.
std::vector<Tok> Tokenize(const std::string& SQL) {
    std::vector<Tok> Result;
    std::size_t Pos = 0;
    TLumraSQLToken Section = skUnknown;
    std::string Token;
    for (;;) {
        const TLumraSQLToken Kind = LmrNextSQLToken(SQL, Pos, Token, Section);
        if (Kind == skEnd) break;
        Result.push_back({Kind, Token});
        if (LmrIsClauseToken(Kind)) Section = Kind;
    }
    return Result;
}

struct TokenCase {
    const char* Rule;
    std::string SQL;
    std::vector<Tok> Expected;
};

std::ostream& operator<<(std::ostream& os, const TokenCase& c) {
    return os << c.Rule;
}

const std::vector<TokenCase> kTokenCases = {
    // Delimiters
    {"empty text has no tokens", "", {}},
    {"delimiters alone have no tokens", "  ,,\r\n ", {}},
    {"space comma and line breaks separate names",
     "a, b\r\nc",
     {{skFieldName, "a"}, {skFieldName, "b"}, {skFieldName, "c"}}},
    {"parentheses and tabs belong to the token", "f(a)\tb", {{skFieldName, "f(a)\tb"}}},
    {"a NUL byte ends the text", std::string("a\0b", 3), {{skFieldName, "a"}}},
    {"bytes above 127 are name characters",
     "\xE9t\xE9 \xFF",
     {{skFieldName, "\xE9t\xE9"}, {skFieldName, "\xFF"}}},

    // Quotes
    {"single-quoted string is a value without quotes",
     "x = 'a:b'",
     {{skFieldName, "x"}, {skPredicate, "="}, {skValue, "a:b"}}},
    {"double-quoted name followed by a dot is a table name",
     "\"My Table\".col",
     {{skTableName, "My Table"}, {skFieldName, "col"}}},
    {"quoted name after a dot is a field name", "t.\"Col 1\"", {{skTableName, "t"}, {skFieldName, "Col 1"}}},
    {"back quotes quote too", "`x y`", {{skValue, "x y"}}},
    {"quote scanning stops at the first matching quote", "'it''s'", {{skValue, "it"}, {skValue, "s"}}},
    {"other quote characters inside a quoted string are text", "'say \"hi\"'", {{skValue, "say \"hi\""}}},
    {"a quote inside a started token leaves empty text", "ab'cd' e", {{skValue, ""}, {skFieldName, "e"}}},
    {"an unterminated quote is an ordinary character",
     "'abc def",
     {{skFieldName, "'abc"}, {skFieldName, "def"}}},

    // Comments
    {"block comment text stops before its closing", "/* c */ x", {{skComment, "/* c "}, {skFieldName, "x"}}},
    {"nothing is left of a closing comment mark", "/**/x", {{skComment, "/*"}, {skFieldName, "x"}}},
    {"line comment runs to the line break", "// :p\nx", {{skComment, "// :p"}, {skFieldName, "x"}}},
    {"unterminated block comment runs to the end", "a /* b c", {{skFieldName, "a"}, {skComment, "/* b c"}}},
    {"comment started inside a token takes the token with it",
     "x/*c*/ y",
     {{skComment, "x/*c"}, {skFieldName, "y"}}},
    {"a lone slash is part of the name", "a/b", {{skFieldName, "a/b"}}},

    // Dots
    {"name before a dot is a table name", "a.b", {{skTableName, "a"}, {skFieldName, "b"}}},
    {"every name followed by a dot is a table name",
     "a.b.c",
     {{skTableName, "a"}, {skTableName, "b"}, {skFieldName, "c"}}},
    {"star after a dot in SELECT is all fields",
     "SELECT t.*",
     {{skSelect, "SELECT"}, {skTableName, "t"}, {skAllFields, "*"}}},
    {"dot before digits still reads a number", ".5", {{skNumber, "5"}}},
    {"a keyword after a dot is a field name",
     "SELECT t.from, t.DESC",
     {{skSelect, "SELECT"},
      {skTableName, "t"},
      {skFieldName, "from"},
      {skTableName, "t"},
      {skFieldName, "DESC"}}},

    // Predicates
    {"predicate run stands alone", "a <> b", {{skFieldName, "a"}, {skPredicate, "<>"}, {skFieldName, "b"}}},
    {"predicate inside a started token is part of it", "a<>b", {{skFieldName, "a<>b"}}},
    {"predicate ends where other characters start", ">=1", {{skPredicate, ">="}, {skNumber, "1"}}},

    // Assignment and colons
    {"a token ending in := is an assignment", "x:=1", {{skAssign, "x:="}, {skNumber, "1"}}},
    {"spaced assignment and host variable",
     "x := :v",
     {{skFieldName, "x"}, {skAssign, ":="}, {skFieldName, ":v"}}},
    {"colons followed by other characters stay in the name",
     "a::b :v;",
     {{skFieldName, "a::b"}, {skFieldName, ":v;"}}},

    // Numbers
    {"number is digits and dots", "12.5.3x", {{skNumber, "12.5.3"}, {skFieldName, "x"}}},
    {"digits inside a started name belong to it", "x1", {{skFieldName, "x1"}}},

    // Keywords and clauses
    {"every clause keyword with the clause state following",
     "select DISTINCT * from T where a is null and b IS NOT null or c like d group by e having f union "
     "select g plan h order by i desc for update",
     {{skSelect, "select"},
      {skDistinct, "DISTINCT"},
      {skAllFields, "*"},
      {skFrom, "from"},
      {skTableName, "T"},
      {skWhere, "where"},
      {skFieldName, "a"},
      {skIsNull, "is null"},
      {skAnd, "and"},
      {skFieldName, "b"},
      {skIsNotNull, "IS NOT null"},
      {skOr, "or"},
      {skFieldName, "c"},
      {skLike, "like"},
      {skFieldName, "d"},
      {skGroupBy, "group by"},
      {skFieldName, "e"},
      {skHaving, "having"},
      {skFieldName, "f"},
      {skUnion, "union"},
      {skSelect, "select"},
      {skFieldName, "g"},
      {skPlan, "plan"},
      {skFieldName, "h"},
      {skOrderBy, "order by"},
      {skFieldName, "i"},
      {skDescending, "desc"},
      {skForUpdate, "for update"}}},
    {"star and DISTINCT outside SELECT are names",
     "WHERE * distinct",
     {{skWhere, "WHERE"}, {skFieldName, "*"}, {skFieldName, "distinct"}}},
    {"both spellings of the directions",
     "ASC ascending DESC Descending",
     {{skAscending, "ASC"},
      {skAscending, "ascending"},
      {skDescending, "DESC"},
      {skDescending, "Descending"}}},
    {"plain names in FROM are table names",
     "FROM a, b WHERE c",
     {{skFrom, "FROM"}, {skTableName, "a"}, {skTableName, "b"}, {skWhere, "WHERE"}, {skFieldName, "c"}}},
    {"NULL alone is a value", "x = Null", {{skFieldName, "x"}, {skPredicate, "="}, {skValue, "Null"}}},
    {"IS without NULL is a value and leaves the next word",
     "a IS b",
     {{skFieldName, "a"}, {skValue, "IS"}, {skFieldName, "b"}}},
    {"IS NOT without NULL gives back NOT",
     "IS NOT x",
     {{skValue, "IS"}, {skFieldName, "NOT"}, {skFieldName, "x"}}},
    {"IS at the end is a value", "IS", {{skValue, "IS"}}},
    {"IS before IS NULL", "a IS IS NULL", {{skFieldName, "a"}, {skValue, "IS"}, {skIsNull, "IS NULL"}}},
    {"look-ahead skips delimiters and joins with one space",
     "ORDER\n ,BY x",
     {{skOrderBy, "ORDER BY"}, {skFieldName, "x"}}},
    {"GROUP FOR ORDER without partner are names",
     "GROUP x FOR y ORDER",
     {{skFieldName, "GROUP"},
      {skFieldName, "x"},
      {skFieldName, "FOR"},
      {skFieldName, "y"},
      {skFieldName, "ORDER"}}},
    {"ORDER without BY in FROM is a table name", "FROM order", {{skFrom, "FROM"}, {skTableName, "order"}}},
    {"partner word must be the whole next token",
     "ORDER BYx",
     {{skFieldName, "ORDER"}, {skFieldName, "BYx"}}},
    {"keywords are matched ignoring case", "sElEcT", {{skSelect, "sElEcT"}}},
};

class SQLTokenizer : public ::testing::TestWithParam<TokenCase> {};

TEST_P(SQLTokenizer, ReadsTheExpectedTokens) {
    EXPECT_EQ(Tokenize(GetParam().SQL), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, SQLTokenizer, ::testing::ValuesIn(kTokenCases));

TEST(SQLTokenizerEnd, EndIsSticky) {
    const std::string SQL = "a";
    std::size_t Pos = 0;
    std::string Token = "stale";
    EXPECT_EQ(LmrNextSQLToken(SQL, Pos, Token, skUnknown), skFieldName);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(LmrNextSQLToken(SQL, Pos, Token, skUnknown), skEnd);
        EXPECT_EQ(Token, "");
        EXPECT_EQ(Pos, 1u);
    }
}

TEST(SQLTokenizerEnd, PositionPastTheEndReadsAsTheEnd) {
    const std::string SQL = "abc";
    std::size_t Pos = 99;
    std::string Token;
    EXPECT_EQ(LmrNextSQLToken(SQL, Pos, Token, skSelect), skEnd);
    EXPECT_LE(Pos, SQL.size());
}

TEST(SQLTokenizerClause, TheCallersClauseStateDecidesTableOrField) {
    const std::string SQL = "x *";
    std::size_t Pos = 0;
    std::string Token;
    EXPECT_EQ(LmrNextSQLToken(SQL, Pos, Token, skFrom), skTableName);
    EXPECT_EQ(LmrNextSQLToken(SQL, Pos, Token, skWhere), skFieldName);
    EXPECT_EQ(Token, "*");
}

TEST(SQLTokenizerLookAhead, ManyChainedTwoWordKeywordsEachReadAsOneToken) {
    // Each IS/ORDER peeks at exactly one following token; a long chain of them
    // must neither recurse per word nor rescan the rest of the text.
    std::string SQL;
    for (int i = 0; i < 200000; ++i)
        SQL += (i % 2 != 0) ? "IS " : "ORDER ";
    std::size_t Pos = 0;
    std::string Token;
    std::size_t Count = 0;
    while (LmrNextSQLToken(SQL, Pos, Token, skUnknown) != skEnd)
        ++Count;
    EXPECT_EQ(Count, 200000u);
}

} // namespace
