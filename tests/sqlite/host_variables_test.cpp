// Host variables against the real engine: SQLite makes one parameter of each
// distinct name, the statement may be handed one value per occurrence in the
// text instead (as the dataset does). Every engine parameter then takes the
// first value of its variable; occurrences in literals, quoted names and
// comments do not count. Names differing only in case (":a", ":A") are two
// engine parameters but one host variable, as parameter names are everywhere
// in the library, so they take one value. A later value of a variable may be
// null (it takes the first one) or equal to it; a different one is refused,
// never dropped.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "sqlite_fixture.h"

namespace {

using host::Variant;

struct TRowCase {
    const char* What;
    std::string Sql;
    std::vector<Variant> Values;
    std::vector<std::string> Row; // the one row's columns as text
};

struct TErrorCase {
    const char* What;
    std::string Sql;
    std::vector<Variant> Values;
    std::string Error; // part of the message
    int32_t Code;
};

const Variant Null = Variant::Null();

const std::vector<TRowCase> RowCases = {
    {"a name twice, one value per occurrence", "select :x, :x + 1", {7, 7}, {"7", "8"}},
    {"a name twice, the later value left null", "select :x, :x + 1", {7, Null}, {"7", "8"}},
    {"a name twice, one value per engine parameter", "select :x, :x + 1", {7}, {"7", "8"}},
    {"anonymous and named mixed", "select ?, :x, ?, :x", {1, 2, 3, 2}, {"1", "2", "3", "2"}},
    {"the same mixed, one value per engine parameter",
     "select ?, :x, ?, :x",
     {1, 2, 3},
     {"1", "2", "3", "2"}},
    {"?1 is the parameter the first ? took", "select ?, ?1, :x, :x", {5, 5, 6, 6}, {"5", "5", "6", "6"}},
    {"?1 is the parameter :x took", "select :x, ?1, ?", {5, 5, 6}, {"5", "5", "6"}},
    {"numbers left unused below ?3", "select ?3, :x, :x", {9, 8, 8}, {"9", "8", "8"}},
    {"literal, comments and quoted names hold no variable",
     "select :x || ' :x '' :x ' || :x /* :x */, \":x\", [:y], `:z` -- :w\n"
     "from (select 1 as \":x\", 2 as [:y], 3 as `:z`)",
     {"a", "a"},
     {"a :x ' :x a", "1", "2", "3"}},
    {"a '$' inside a word is no variable", "select :x as a$b, :x", {4, 4}, {"4", "4"}},
    {"'::' inside a name belongs to it", "select :a::b, :a::b * 2", {3, 3}, {"3", "6"}},
    {"prefixes tell variables apart",
     "select @x, $x, :x, #x, @x",
     {1, 2, 3, 4, 1},
     {"1", "2", "3", "4", "1"}},
    {"a $name with a suffix", "select $v(1) || $v(1)", {"z", "z"}, {"zz"}},
    {"case variants, one value per occurrence", "select :a, :A, :a", {4, 4, 4}, {"4", "4", "4"}},
    {"case variants take the first value", "select :a, :A, :a", {4, Null, Null}, {"4", "4", "4"}},
    {"case variants, one value per engine parameter", "select :a, :A", {4, Null}, {"4", "4"}},
    {"a repeated variable in a where clause", "select count(*) from t where a = :k or b = :k", {2, 2}, {"2"}},
};

const std::vector<TErrorCase> ErrorCases = {
    {"two different values for one name",
     "select :x, :x",
     {1, 2},
     "Host variable \":x\" is given two different values (values 1 and 2)",
     -SQLITE_MISMATCH},
    {"null first, a value later",
     "select :x, :x",
     {Null, 2},
     "Host variable \":x\" is given two",
     -SQLITE_MISMATCH},
    {"the same number as text",
     "select :x, :x",
     {1, "1"},
     "Host variable \":x\" is given two",
     -SQLITE_MISMATCH},
    {"?1 given another value than ?", "select ?, ?1, :x", {1, 2, 3}, "\"?1\" is given two", -SQLITE_MISMATCH},
    {"case variants given two values per occurrence",
     "select :a, :A, :a",
     {1, 2, 1},
     "Host variable \":A\" is given a different value than \":a\" (values 1 and 2)",
     -SQLITE_MISMATCH},
    {"case variants given two values per engine parameter",
     "select :a, :A",
     {1, 2},
     "Host variable \":A\" is given a different value than \":a\"",
     -SQLITE_MISMATCH},
    {"neither count",
     "select :x, :x",
     {1, 2, 3},
     "The statement takes 1 host variables (2 occurrences in its text), 3 values were given",
     -SQLITE_RANGE},
    {"a name in a literal is not counted",
     "select :x, ':x'",
     {1, 1},
     "The statement takes 1 host variables, 2 values were given",
     -SQLITE_RANGE},
    {"too few",
     "select ?, :x, ?, :x",
     {1, 2},
     "The statement takes 3 host variables (4 occurrences in its text), 2 values were given",
     -SQLITE_RANGE},
};

} // namespace

class SqliteHostVariables : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, a integer, b integer)");
        Run("insert into t (a, b) values (1, 2), (2, 3), (3, 4)");
    }
    std::vector<std::string> Row() {
        std::vector<std::string> row;
        for (int32_t i = 0; i < Sql->FieldDefs()->GetCount(); ++i) {
            const Variant v = Sql->GetFieldValue(Variant(i));
            row.push_back(v.IsNull() ? "<null>" : v.AsString());
        }
        return row;
    }
    std::vector<std::string> Column(const std::string& query) {
        auto reader = NewStatement(Session.get());
        std::vector<std::string> values;
        if (!reader->Open(query, {}, true)) return {"<" + Session->LastError() + ">"};
        for (bool more = reader->FetchFirst(); more; more = reader->FetchNext())
            values.push_back(reader->GetFieldValue(Variant(int32_t{0})).AsString());
        return values;
    }
};

TEST_F(SqliteHostVariables, CursorTakesOneValuePerEngineParameterOrPerOccurrence) {
    for (const TRowCase& c : RowCases) {
        SCOPED_TRACE(std::string(c.What) + ": " + c.Sql);
        const bool opened = Sql->OpenRead(c.Sql, std::span<const Variant>(c.Values));
        EXPECT_TRUE(opened) << Session->LastError();
        if (opened) {
            EXPECT_EQ(Row(), c.Row);
        }
        Sql->Unprepare();
    }
}

TEST_F(SqliteHostVariables, ConflictingValuesAndCountsFitNeitherWayAreRefused) {
    for (const TErrorCase& c : ErrorCases) {
        SCOPED_TRACE(std::string(c.What) + ": " + c.Sql);
        Session->SetLastError("", 0);
        EXPECT_FALSE(Sql->OpenRead(c.Sql, std::span<const Variant>(c.Values)));
        EXPECT_NE(Session->LastError().find(c.Error), std::string::npos) << Session->LastError();
        EXPECT_EQ(Session->LastErrorCode(), c.Code);
        Sql->Unprepare();
    }
}

TEST_F(SqliteHostVariables, ReopeningAPreparedCursorAndCountingItsRowsFollowTheMap) {
    const std::string text = "select a from t where a = :k or b = :k order by a";
    ASSERT_TRUE(Sql->Open(text, {2, 2}, true)) << Session->LastError();
    EXPECT_EQ(Sql->RecordCount(), 2) << "the count statement binds the same way";
    ASSERT_TRUE(Sql->FetchFirst());
    EXPECT_EQ(Sql->GetFieldValue(Variant("a")).AsInt64(), 1);

    ASSERT_TRUE(Sql->OpenPrepared({3, 3}, true)) << Session->LastError();
    EXPECT_EQ(Sql->RecordCount(), 2);
    ASSERT_TRUE(Sql->OpenPrepared({1, Variant::Null()}, true)) << Session->LastError();
    EXPECT_EQ(Sql->RecordCount(), 1);
    EXPECT_FALSE(Sql->OpenPrepared({1, 4}, true)) << "a conflict found on a later open as well";
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
    ASSERT_TRUE(Sql->OpenPrepared({4}, true)) << "one value per engine parameter on the same statement";
    EXPECT_EQ(Sql->RecordCount(), 1);
}

TEST_F(SqliteHostVariables, ExecuteTakesOneValuePerOccurrence) {
    ASSERT_TRUE(Sql->Execute("insert into t (a, b) values (:x, :x * 10)", {5, 5})) << Session->LastError();
    EXPECT_EQ(Column("select b from t where a = 5"), std::vector<std::string>{"50"});

    ASSERT_TRUE(Sql->PrepareExecute("update t set b = :v where a = :k or b = :k"));
    ASSERT_TRUE(Sql->ExecutePrepared({99, 2, 2})) << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 2);
    ASSERT_TRUE(Sql->ExecutePrepared({98, 3, Variant::Null()})) << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    ASSERT_TRUE(Sql->ExecutePrepared({97, 5})) << "one value per engine parameter";
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    EXPECT_EQ(Column("select b from t order by id"), (std::vector<std::string>{"99", "99", "98", "97"}));

    // Refused before anything runs: no row changes.
    EXPECT_FALSE(Sql->ExecutePrepared({0, 1, 2}));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
    EXPECT_NE(Session->LastError().find("\":k\""), std::string::npos) << Session->LastError();
    EXPECT_FALSE(Sql->ExecutePrepared({0, 1, 2, 3}));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_RANGE);
    EXPECT_FALSE(Sql->Execute("update t set b = 0 where a = :a or a = :A", {1, 2}));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
    EXPECT_EQ(Column("select b from t order by id"), (std::vector<std::string>{"99", "99", "98", "97"}));

    // Names differing only in case are one variable on the execute side too.
    ASSERT_TRUE(Sql->Execute("update t set b = :Val where a = :val", {3, Variant::Null()}))
        << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    ASSERT_TRUE(Sql->Execute("update t set b = :Val where a = :val or a = :VAL", {1, 1, 1}))
        << Session->LastError();
    EXPECT_EQ(Column("select b from t order by id"), (std::vector<std::string>{"1", "99", "3", "97"}));
}
