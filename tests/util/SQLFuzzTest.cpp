// Randomised robustness of the SQL analysis: thousands of fragments built from
// the token grammar (keywords, quotes, comments, unterminated ones, colons,
// dots, numbers, NULs, high bytes) and plain random bytes go through every SQL
// function. Run under the sanitizer build this shows no read outside the text;
// the checks here are the invariants every input must keep.
#include "LmrUtil/LmrSQLTokenizer.h"
#include "LmrUtil/LmrUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// clang-format off
const std::vector<std::string> kPieces = {
    "SELECT", "select", "DISTINCT", "*", "FROM", "from", "WHERE", "GROUP", "BY", "HAVING", "UNION", "PLAN",
    "ORDER", "order", "FOR", "UPDATE", "ASC", "DESC", "ASCENDING", "DESCENDING", "IS", "NOT", "NULL", "LIKE",
    "AND", "OR", "t", "owner", "col", "x1", ".", "..", ",", " ", "  ", "\n", "\r", "\t", "(", ")", ";",
    ":", "::", ":=", ":p", ":name", "'", "\"", "`", "''", "'str'", "\"Quoted Name\"", "`b`", "/*", "*/",
    "/* c */", "//", "// line\n", "/", "<", "=", ">", "<>", ">=", "0", "12", "3.14", "1.2.3", "\xE9", "\xFF",
    "\x80", std::string(1, '\0'), "\x01",
};
// clang-format on

std::string RandomFragment(std::mt19937& Rng) {
    std::uniform_int_distribution<int> Mode(0, 9);
    std::string SQL;
    if (Mode(Rng) == 0) {
        // Raw bytes, any value.
        std::uniform_int_distribution<int> Len(0, 64), Byte(0, 255);
        const int N = Len(Rng);
        for (int i = 0; i < N; ++i)
            SQL += static_cast<char>(Byte(Rng));
        return SQL;
    }
    std::uniform_int_distribution<int> Count(0, 24);
    std::uniform_int_distribution<std::size_t> Pick(0, kPieces.size() - 1);
    std::uniform_int_distribution<int> Glue(0, 3);
    const int N = Count(Rng);
    for (int i = 0; i < N; ++i) {
        SQL += kPieces[Pick(Rng)];
        if (Glue(Rng) != 0) SQL += ' '; // sometimes pieces run together into one token
    }
    return SQL;
}

bool IsKnownKind(TLumraSQLToken Kind) {
    return Kind >= skTableName && Kind <= skAssign;
}

TEST(SQLFuzz, EveryFunctionCopesWithGeneratedFragmentsAndRandomBytes) {
    std::mt19937 Rng(20261210);
    for (int Round = 0; Round < 20000; ++Round) {
        const std::string SQL = RandomFragment(Rng);
        // The exact size, so that a read one past the end hits the sanitizer's
        // redzone rather than a terminator.
        const std::string Exact(SQL.data(), SQL.size());
        SCOPED_TRACE(::testing::PrintToString(Exact));

        // Tokens: each one known, each consuming text, the end sticky.
        std::size_t Pos = 0;
        TLumraSQLToken Section = skUnknown;
        std::string Token;
        std::size_t Tokens = 0;
        for (;;) {
            const std::size_t Before = Pos;
            const TLumraSQLToken Kind = LmrNextSQLToken(Exact, Pos, Token, Section);
            ASSERT_LE(Pos, Exact.size());
            if (Kind == skEnd) {
                ASSERT_TRUE(Token.empty());
                const std::size_t AtEnd = Pos;
                ASSERT_EQ(LmrNextSQLToken(Exact, Pos, Token, Section), skEnd);
                ASSERT_EQ(Pos, AtEnd);
                break;
            }
            ASSERT_TRUE(IsKnownKind(Kind)) << static_cast<int>(Kind);
            ASSERT_GT(Pos, Before) << "a token consumed nothing";
            ASSERT_LE(++Tokens, Exact.size());
            if (LmrIsClauseToken(Kind)) Section = Kind;
        }

        const std::string Table = LmrGetTableNameFromSQL(Exact);
        std::string Directions;
        const std::string Columns = LmrGetOrderByFromSQL(Exact, Directions);
        const std::string Params = LmrGetParamsFromSQL(Exact);
        EXPECT_EQ(Columns.empty(), Directions.empty());
        EXPECT_LE(Table.size(), Exact.size());
        EXPECT_LE(Params.size(), Exact.size());
        EXPECT_EQ(Params.find('\0'), std::string::npos);
        if (Exact.find(':') == std::string::npos) {
            EXPECT_TRUE(Params.empty());
        }
    }
}

TEST(SQLFuzz, TextCutAtEveryLengthIsReadSafely) {
    // Every prefix of a statement rich in quotes and comments ends inside one
    // of them somewhere: an unterminated quote or comment at the very end.
    const std::string Full = "SELECT a.\"b c\", 'x:y' FROM \"o\".t /* :c */ WHERE d = :e // f\n"
                             "ORDER BY a.b DESC, `g` FOR UPDATE";
    for (std::size_t Len = 0; Len <= Full.size(); ++Len) {
        const std::string SQL(Full.data(), Len);
        std::string Directions;
        (void)LmrGetTableNameFromSQL(SQL);
        (void)LmrGetOrderByFromSQL(SQL, Directions);
        (void)LmrGetParamsFromSQL(SQL);
    }
    std::string Directions;
    EXPECT_EQ(LmrGetOrderByFromSQL(Full, Directions), "b");
    EXPECT_EQ(Directions, "DESC");
    EXPECT_EQ(LmrGetParamsFromSQL(Full), "e");
    EXPECT_EQ(LmrGetTableNameFromSQL(Full), "t");
}

} // namespace
