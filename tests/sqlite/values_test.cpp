// Values as given, on the real engine: integers and doubles at the edge of
// each other's precision, Booleans, the text forms of dates and times written
// and read, what a column description says about nulls, and the row counts
// and statement kinds a caller sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/DateTime.h"
#include "sqlite_fixture.h"

namespace {

using host::Variant;

constexpr int64_t TwoPow53 = int64_t{1} << 53;

class SqliteValues : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table v (id integer primary key, f real, i integer, b boolean, d date, t time, dt "
            "datetime, "
            "s varchar(8) not null default '', n numeric)");
        Run("insert into v (id) values (1)");
    }
    // Opens the one row for writing.
    void OpenRow() {
        ASSERT_TRUE(Sql->OpenWrite("select id, f, i, b, d, t, dt, s from v", {})) << Sql->GetLastError();
    }
    void Store(const char* column, const Variant& value) {
        OpenRow();
        Sql->SetFieldValue(column, value);
        ASSERT_TRUE(Sql->UpdateRow()) << Sql->GetLastError();
    }
    // The stored value as the engine holds it (an expression column keeps its engine type).
    std::string Stored(const std::string& column) {
        return Scalar("select " + column + " || '' from v").AsString();
    }
    // The error text of storing value, empty when it was stored.
    std::string StoreError(const char* column, const Variant& value) {
        OpenRow();
        try {
            Sql->SetFieldValue(column, value);
        } catch (const ELumraException& e) {
            EXPECT_EQ(e.ErrorCode(), -20) << e.Message();
            return e.Message();
        }
        return {};
    }
};

TEST_F(SqliteValues, AFloatColumnTakesExactlyTheIntegersADoubleHolds) {
    EXPECT_NE(StoreError("f", Variant(TwoPow53 + 1)), "") << "2^53 + 1 would be rounded";
    EXPECT_EQ(StoreError("f", Variant(int64_t{1} << 60)), "") << "2^60 is an exact double";
    // A numeric column keeps large integers as integers.
    Run("update v set n = 9007199254740993");
    EXPECT_FALSE(Sql->OpenRead("select n from v", {})) << "a stored 2^53 + 1 is not read as a rounded double";
    EXPECT_EQ(Sql->GetLastErrorCode(), -20);
    Run("update v set n = 1152921504606846976");
    ASSERT_TRUE(Sql->OpenRead("select n from v", {})) << Sql->GetLastError();
    EXPECT_EQ(Sql->GetFieldValue("n").AsDouble(), 1152921504606846976.0);
}

TEST_F(SqliteValues, AnIntegerColumnTakesEveryWholeDoubleOfTheRange) {
    EXPECT_EQ(StoreError("i", Variant(9.21e18)), "");
    Store("i", Variant(9.21e18));
    EXPECT_EQ(Scalar("select i from v").AsInt64(), static_cast<int64_t>(9.21e18));
    EXPECT_NE(StoreError("i", Variant(9223372036854775808.0)), "");
    EXPECT_NE(StoreError("i", Variant(0.5)), "");
    Run("update v set i = 9.21e18");
    ASSERT_TRUE(Sql->OpenRead("select i from v", {})) << Sql->GetLastError();
    EXPECT_EQ(Sql->GetFieldValue("i").AsInt64(), static_cast<int64_t>(9.21e18));
}

TEST_F(SqliteValues, ABooleanColumnRefusesEveryNumberButZeroAndOne) {
    for (const Variant& v :
         {Variant(2), Variant(-1), Variant(0.5), Variant(256), Variant("2"), Variant("yes")})
        EXPECT_NE(StoreError("b", v), "") << v.AsString();
    for (const Variant& v :
         {Variant(0), Variant(1), Variant(1.0), Variant(true), Variant("True"), Variant("0")})
        EXPECT_EQ(StoreError("b", v), "") << v.AsString();
    Store("b", Variant(1));
    EXPECT_EQ(Stored("b + 0"), "1");
}

TEST_F(SqliteValues, DatesAndTimesAreStoredInTheirOneTextForm) {
    Store("dt", Variant::FromDate(host::EncodeDate(2024, 1, 2)));
    EXPECT_EQ(Stored("dt"), "2024-01-02 00:00:00");
    Store("dt", Variant::FromDate(host::EncodeTime(10, 0, 0, 0)));
    EXPECT_EQ(Stored("dt"), "1899-12-30 10:00:00");
    Store("t", Variant::FromDate(0.0));
    EXPECT_EQ(Stored("t"), "00:00:00");
    Store("d", Variant::FromDate(host::EncodeDate(2024, 1, 2)));
    EXPECT_EQ(Stored("d"), "2024-01-02");
    // Text SQLite's own functions write matches a date-time host variable.
    Run("update v set dt = datetime('2024-01-02')");
    EXPECT_EQ(Scalar("select count(*) from v where dt = '2024-01-02 00:00:00'").AsInt64(), 1);
    auto count = [&](const std::string& sql, const Variant& value) {
        auto q = NewStatement(Session.get());
        EXPECT_TRUE(q->OpenRead(sql, {value})) << q->GetLastError();
        return q->GetFieldValue(0).AsInt64();
    };
    EXPECT_EQ(count("select count(*) from v where dt = ?", Variant::FromDate(host::EncodeDate(2024, 1, 2))),
              1);
}

struct ReadRow {
    const char* stored;
    const char* column;
    double expected; // TDateTime
};

class SqliteDateForms : public SqliteTest, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(SqliteDateForms, ReadsEveryTextFormSqliteDateFunctionsAccept) {
    Run("create table d (d date, t time, dt datetime)");
    Run(std::string("insert into d (") + GetParam().column + ") values ('" + GetParam().stored + "')");
    ASSERT_TRUE(Sql->OpenRead(std::string("select ") + GetParam().column + " from d", {}))
        << Sql->GetLastError();
    EXPECT_NEAR(Sql->GetFieldValue(0).AsDateTime(), GetParam().expected, 0.5 / host::MSecsPerDay)
        << GetParam().stored;
    // SQLite reads the same instant.
    const std::string fn = std::string(GetParam().column) == "d"   ? "date"
                           : std::string(GetParam().column) == "t" ? "time"
                                                                   : "datetime";
    EXPECT_FALSE(Scalar("select " + fn + "(" + GetParam().column + ") from d").IsNull()) << GetParam().stored;
}

const double Jan1 = host::EncodeDate(2024, 1, 1);

INSTANTIATE_TEST_SUITE_P(
    Forms, SqliteDateForms,
    ::testing::Values(ReadRow{"2024-01-01T10:00:00Z", "dt", Jan1 + host::EncodeTime(10, 0, 0, 0)},
                      ReadRow{"2024-01-01 10:00:00.123456", "dt", Jan1 + host::EncodeTime(10, 0, 0, 123)},
                      ReadRow{"2024-01-01T10:00:00.9996", "dt", Jan1 + host::EncodeTime(10, 0, 1, 0)},
                      ReadRow{"2024-01-01 10:00:00+02:00", "dt", Jan1 + host::EncodeTime(8, 0, 0, 0)},
                      ReadRow{"2024-01-01 01:00-02:30", "dt", Jan1 + host::EncodeTime(3, 30, 0, 0)},
                      ReadRow{"2024-01-01 00:30:00+01:00", "dt", Jan1 - 1 + host::EncodeTime(23, 30, 0, 0)},
                      ReadRow{"2024-01-01", "dt", Jan1}, ReadRow{"2460310.5", "dt", Jan1},
                      ReadRow{"2024-01-01T00:00:00Z", "d", Jan1},
                      ReadRow{"10:00:00.5", "t", host::EncodeTime(10, 0, 0, 500)},
                      ReadRow{"10:00", "t", host::EncodeTime(10, 0, 0, 0)}));

TEST_F(SqliteValues, DatesInTheLibrarysOwnLooserFormStillRead) {
    Run("update v set d = '2024-1-2', dt = '2024-01-02 9:05'");
    ASSERT_TRUE(Sql->OpenRead("select d, dt from v", {})) << Sql->GetLastError();
    EXPECT_EQ(Sql->GetFieldValue("d").AsDateTime(), host::EncodeDate(2024, 1, 2));
    EXPECT_NEAR(Sql->GetFieldValue("dt").AsDateTime(),
                host::EncodeDate(2024, 1, 2) + host::EncodeTime(9, 5, 0, 0), 1e-9);
}

TEST_F(SqliteValues, AValueNoFieldTypeHoldsIsAnErrorNamingItsColumn) {
    for (const char* sql : {"update v set i = 'twelve'", "update v set s = '17 characters..!'",
                            "update v set dt = 'tomorrow'", "update v set d = '2024-01-01 10:00:00'"}) {
        Run("update v set i = null, s = '', dt = null, d = null");
        Run(sql);
        EXPECT_FALSE(Sql->OpenRead("select id, i, s, d, dt from v", {})) << sql;
        EXPECT_EQ(Sql->GetLastErrorCode(), -20) << sql;
        EXPECT_NE(Sql->GetLastError().find("\""), std::string::npos) << Sql->GetLastError();
    }
}

TEST_F(SqliteValues, ANotNullColumnIsDescribedAsRefusingNulls) {
    ASSERT_TRUE(Sql->OpenRead("select id, f, s from v", {})) << Sql->GetLastError();
    EXPECT_FALSE(Sql->GetFieldNulls("id"));
    EXPECT_TRUE(Sql->GetFieldNulls("f"));
    EXPECT_FALSE(Sql->GetFieldNulls("s"));
    Run("create table w (k integer, n text not null)");
    Run("insert into w values (1, 'x')");
    ASSERT_TRUE(Sql->OpenRead("select v.s, w.n, v.f, 1 + 1 as e from v join w on w.k = v.id", {}));
    EXPECT_FALSE(Sql->GetFieldNulls("s")) << "a join reads the catalogue of each table";
    EXPECT_FALSE(Sql->GetFieldNulls("n"));
    EXPECT_TRUE(Sql->GetFieldNulls("f"));
    EXPECT_TRUE(Sql->GetFieldNulls("e"));
}

TEST_F(SqliteValues, AStatementThatChangesNoRowsReportsNone) {
    ASSERT_TRUE(Sql->Execute("update v set f = 1", {}));
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    for (const char* sql : {"create table x (a)", "drop table x", "create index vi on v (f)",
                            "pragma user_version = 3", "begin", "commit"}) {
        ASSERT_TRUE(Sql->Execute(sql, {})) << sql << ": " << Sql->GetLastError();
        EXPECT_EQ(Sql->RowsProcessed(), 0) << sql;
    }
    ASSERT_TRUE(Sql->Execute("/* c */ with z as (select 1) delete from v where id = 1", {}));
    EXPECT_EQ(Sql->RowsProcessed(), 1);
}

TEST_F(SqliteValues, TheOldValueOfAMemoWrittenInTheRowIsTheRowAsFetched) {
    Run("create table m (id integer primary key, note text)");
    Run("insert into m values (1, 'before')");
    ASSERT_TRUE(Sql->OpenWrite("select id, note from m", {})) << Sql->GetLastError();
    Sql->SetFieldValue("note", Variant("after"));
    EXPECT_EQ(Sql->GetFieldValue("note").AsString(), "after");
    EXPECT_EQ(Sql->GetOldValue("note").AsString(), "before");
    EXPECT_TRUE(Sql->IsFieldDirty("note"));
}

} // namespace
