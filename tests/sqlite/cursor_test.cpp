// The SQLite cursor: every field type read back exactly, values that do not
// fit refused instead of changed, scrolling and RecordCount, editing through
// the cursor, blob streams.
#include <sqlite3.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "LmrBase/LmrBlobs.h"
#include "host/DateTime.h"
#include "host/SysUtils.h"
#include "sqlite_fixture.h"

namespace {

host::Variant Bytes(const std::string& bytes) {
    host::Variant v = host::VarArrayCreate(0, static_cast<int32_t>(bytes.size()) - 1, host::varByte);
    if (!bytes.empty()) {
        std::memcpy(host::VarArrayLock(v), bytes.data(), bytes.size());
        host::VarArrayUnlock(v);
    }
    return v;
}

std::string BytesOf(host::Variant v) {
    if (v.VarType() != (host::varArray | host::varByte)) return "<not bytes>";
    const int32_t n = host::VarArrayHighBound(v) - host::VarArrayLowBound(v) + 1;
    std::string out;
    if (n > 0) {
        out.assign(static_cast<const char*>(host::VarArrayLock(v)), static_cast<size_t>(n));
        host::VarArrayUnlock(v);
    }
    return out;
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

} // namespace

class SqliteTypes : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, s varchar(20), n bigint, r double, b boolean,"
            " d date, tm time, dt datetime, bin binary(8), memo text, bl blob, x)");
    }
};

TEST_F(SqliteTypes, ColumnsAreDescribedFromTheirDeclaredTypes) {
    ASSERT_TRUE(Sql->Describe("select * from t"));
    struct Expect {
        const char* name;
        TLumraFieldTypes type;
        int32_t size;
    };
    for (const Expect& e : {Expect{"id", ntInteger, 8}, Expect{"s", ntString, 21}, Expect{"n", ntInteger, 8},
                            Expect{"r", ntFloat, 8}, Expect{"b", ntBoolean, 1}, Expect{"d", ntDate, 8},
                            Expect{"tm", ntTime, 8}, Expect{"dt", ntDateTime, 8}, Expect{"bin", ntBinary, 10},
                            Expect{"memo", ntMemo, 4}, Expect{"bl", ntBlob, 4}, Expect{"x", ntMemo, 4}}) {
        const host::Variant id(e.name);
        EXPECT_EQ(Sql->GetFieldType(id), e.type) << e.name;
        EXPECT_EQ(Sql->GetFieldSize(id), e.size) << e.name;
    }
    EXPECT_EQ(Sql->GetField(host::Variant("id"))->KeyIndicator(), kiKeyField);
    EXPECT_EQ(Sql->GetFieldLength(host::Variant("s")), 20);
    // Names are made unique by the base.
    ASSERT_TRUE(Sql->Describe("select id, id, id as ID from t"));
    EXPECT_EQ(Sql->GetFieldName(1), "id_1");
    EXPECT_EQ(Sql->GetFieldName(2), "ID_2");
}

TEST_F(SqliteTypes, EveryFieldTypeRoundTripsExactly) {
    const std::string high = "caf\xE9 \x80\xFF\xC3\xA9";
    const std::string memo = Pattern(100000).replace(0, 1, "m");
    std::string text100k = memo;
    for (char& c : text100k)
        if (c == 0) c = 'z';
    const std::string blob = Pattern(10 * 1024 * 1024);
    const double tiny = std::numeric_limits<double>::denorm_min();
    const host::TDateTime day = host::EncodeDate(2024, 2, 29);
    const host::TDateTime time = host::EncodeTime(23, 59, 58, 999);
    struct Row {
        host::Variant s, n, r, b, d, tm, dt, bin, memo, bl, x;
    };
    const std::vector<Row> rows = {
        {host::Variant(""), host::Variant(std::numeric_limits<int64_t>::max()), host::Variant(0.1),
         host::Variant(true), host::Variant::FromDate(day), host::Variant::FromDate(time),
         host::Variant::FromDate(day + time), Bytes(std::string("\0\1\2\xFF", 4)), host::Variant(text100k),
         Bytes(blob), host::Variant(int64_t{-5})},
        {host::Variant(high), host::Variant(std::numeric_limits<int64_t>::min()), host::Variant(DBL_MAX),
         host::Variant(false), host::Variant::FromDate(host::EncodeDate(1, 1, 1)),
         host::Variant::FromDate(0.0), host::Variant::FromDate(host::EncodeDate(9999, 12, 31)), Bytes(""),
         host::Variant(""), Bytes(std::string(1, '\0')), host::Variant("text")},
        {host::Variant::Null(), host::Variant::Null(), host::Variant(tiny), host::Variant::Null(),
         host::Variant::Null(), host::Variant::Null(), host::Variant::Null(), host::Variant::Null(),
         host::Variant::Null(), host::Variant::Null(), host::Variant(1.5)},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(Sql->Execute("insert into t (s, n, r, b, d, tm, dt, bin, memo, bl, x)"
                                 " values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                 {r.s, r.n, r.r, r.b, r.d, r.tm, r.dt, r.bin, r.memo, r.bl, r.x}))
            << Session->LastError();
    }
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenRead("select s, n, r, b, d, tm, dt, bin, memo, bl, x from t order by id"))
        << Session->LastError();
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            ASSERT_TRUE(Sql->FetchNext()) << Session->LastError();
        }
        const Row& r = rows[i];
        const host::Variant expected[] = {r.s, r.n, r.r, r.b, r.d, r.tm, r.dt, r.bin, r.memo, r.bl, r.x};
        for (int32_t c = 0; c < 11; ++c) {
            SCOPED_TRACE(Sql->GetFieldName(c));
            const host::Variant id(c);
            const host::Variant got = Sql->GetFieldValue(id);
            if (expected[c].IsNull()) {
                EXPECT_TRUE(Sql->IsFieldNull(id));
                continue;
            }
            EXPECT_FALSE(Sql->IsFieldNull(id));
            if (expected[c].IsArray()) {
                EXPECT_EQ(BytesOf(got), BytesOf(expected[c]));
            } else if (expected[c].VarType() == host::varDouble || expected[c].VarType() == host::varDate) {
                const double want = expected[c].AsDouble();
                const double have = got.AsDouble();
                EXPECT_EQ(std::memcmp(&want, &have, 8), 0) << want << " vs " << have;
            } else if (expected[c].VarType() == host::varInt64) {
                EXPECT_EQ(got.VarType(), host::varInt64);
                EXPECT_EQ(got.AsInt64(), expected[c].AsInt64());
            } else {
                EXPECT_EQ(got.AsString(), expected[c].AsString());
            }
        }
    }
    // The blob stream serves the stored value whole.
    ASSERT_TRUE(Sql->FetchFirst());
    TLumraBlobStream* stream = Sql->BlobManager()->BlobByName("bl");
    EXPECT_EQ(stream->GetBlobSize(), static_cast<int32_t>(blob.size()));
    stream->Seek(0, host::soFromBeginning);
    std::string read(blob.size(), '\0');
    int32_t at = 0;
    while (at < static_cast<int32_t>(read.size())) {
        const int32_t n = stream->Read(read.data() + at, 65536);
        ASSERT_GT(n, 0);
        at += n;
    }
    EXPECT_EQ(stream->Read(read.data(), 1), 0);
    EXPECT_TRUE(read == blob);
}

TEST_F(SqliteTypes, StoredValuesThatDoNotFitTheirColumnFailTheFetchNamingTheColumn) {
    struct Case {
        const char* insert;
        const char* column;
    };
    for (const Case& c :
         {Case{"insert into t (id, s) values (1, 'this text has more than twenty bytes')", "s"},
          Case{"insert into t (id, d) values (1, 'not a date')", "d"},
          Case{"insert into t (id, d) values (1, '2024-01-02 10:00:00')", "d"},
          Case{"insert into t (id, n) values (1, 1.5)", "n"},
          Case{"insert into t (id, r) values (1, 'abc')", "r"},
          Case{"insert into t (id, b) values (1, 2)", "b"},
          Case{"insert into t (id, bin) values (1, x'000102030405060708')", "bin"}}) {
        SCOPED_TRACE(c.insert);
        Run("delete from t");
        Run(c.insert);
        Session->SetLastError("", 0);
        EXPECT_FALSE(Sql->OpenRead("select * from t"));
        EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
        EXPECT_NE(Session->LastError().find(std::string("\"") + c.column + "\""), std::string::npos)
            << Session->LastError();
        EXPECT_FALSE(Sql->Eof());
    }
}

TEST_F(SqliteTypes, WrittenValuesThatDoNotFitRaiseInsteadOfChanging) {
    Run("insert into t (id, s, n, d) values (1, 'abc', 7, '2024-01-02')");
    ASSERT_TRUE(Sql->OpenWrite("select id, s, n, d from t"));
    EXPECT_THROW(Sql->SetFieldValue(host::Variant("s"), host::Variant(std::string(21, 'x'))),
                 ELumraException);
    EXPECT_THROW(Sql->SetFieldValue(host::Variant("n"), host::Variant(1.5)), ELumraException);
    EXPECT_THROW(Sql->SetFieldValue(host::Variant("d"), host::Variant::FromDate(45000.5)), ELumraException);
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("s")).AsString(), "abc");
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("n")).AsInt64(), 7);
    Sql->SetFieldValue(host::Variant("s"), host::Variant(std::string(20, 'x')));
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("s")).AsString(), std::string(20, 'x'));
}

TEST_F(SqliteTest, ScrollingMovesBothWaysWithAnExactRecordCount) {
    Run("create table big (id integer primary key, v integer)");
    Run("with recursive c(i) as (select 1 union all select i + 1 from c where i < 100000)"
        " insert into big select i, i * 3 from c");
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenRead("select id, v from big order by id"));
    EXPECT_EQ(Sql->RecordCount(), 100000); // counted when asked, before the rows are read
    EXPECT_EQ(Sql->RecNo(), 0);
    ASSERT_TRUE(Sql->MoveTo(99999));
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 100000);
    EXPECT_FALSE(Sql->FetchNext());
    EXPECT_TRUE(Sql->Eof());
    EXPECT_EQ(Session->LastErrorCode(), 0);
    ASSERT_TRUE(Sql->FetchPrior());
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("v")).AsInt64(), 300000);
    ASSERT_TRUE(Sql->MoveTo(5));
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 6);
    ASSERT_TRUE(Sql->MoveTo(4));
    ASSERT_TRUE(Sql->FetchCurrent());
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 5);
    ASSERT_TRUE(Sql->MoveTo(0));
    EXPECT_FALSE(Sql->FetchPrior());
    EXPECT_TRUE(Sql->Bof());
    EXPECT_FALSE(Sql->MoveTo(100000));
    EXPECT_EQ(Sql->RecordCount(), 100000);

    for (int rows : {1, 0}) {
        Run("delete from big where id > " + std::to_string(rows));
        EXPECT_EQ(Sql->OpenRead("select * from big where id <= ?", {host::Variant(int32_t{rows})}),
                  rows == 1);
        EXPECT_EQ(Sql->RecordCount(), rows);
        EXPECT_EQ(Session->LastErrorCode(), 0);
        if (rows == 0) {
            EXPECT_TRUE(Sql->Eof() && Sql->Bof());
        }
    }
}

TEST_F(SqliteTest, AForwardCursorKeepsNoRowsAndRefusesToGoBack) {
    Run("create table t (id integer primary key)");
    Run("insert into t values (1), (2), (3)");
    ASSERT_TRUE(Sql->OpenRead("select id from t")); // UniDirectional by default
    ASSERT_TRUE(Sql->FetchNext());
    EXPECT_FALSE(Sql->FetchPrior());
    EXPECT_LT(Session->LastErrorCode(), 0);
    EXPECT_EQ(Session->LastError(), "Bidirectional cursors not supported");
    ASSERT_TRUE(Sql->FetchNext());
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 3);
}

class SqliteEditing : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table people (id integer primary key, name varchar(30) unique, photo blob)");
        Run("create table notes (body text)"); // no key: the rowid identifies rows
        Run("insert into people (id, name) values (1, 'ann'), (2, 'bob')");
        Run("insert into notes values ('one'), ('two')");
        Run("create view people_v as select id, name from people");
        Other = NewSession();
        Sql->SetUniDirectional(false);
    }
    std::unique_ptr<TSqliteSession> Other;
};

TEST_F(SqliteEditing, UpdateInsertAndDeleteThroughTheCursorAreSeenByASecondConnection) {
    ASSERT_TRUE(Sql->OpenWrite("select id, name, photo from people order by id"));
    Sql->SetFieldValue(host::Variant("name"), host::Variant("anna"));
    Sql->SetFieldValue(host::Variant("photo"), Bytes("\x89PNG"));
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Scalar("select name from people where id = 1", Other.get()).AsString(), "anna");
    EXPECT_EQ(BytesOf(Scalar("select photo from people where id = 1", Other.get())), "\x89PNG");
    ASSERT_TRUE(Sql->FetchNext());
    ASSERT_TRUE(Sql->FetchPrior()); // the stored row shows the new values
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("name")).AsString(), "anna");

    Sql->Clear();
    Sql->SetFieldValue(host::Variant("name"), host::Variant("cy"));
    ASSERT_TRUE(Sql->InsertRow()) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 3); // the generated key came back
    EXPECT_EQ(Scalar("select name from people where id = 3", Other.get()).AsString(), "cy");

    ASSERT_TRUE(Sql->OpenWrite("select id, name from people where id = 2"));
    ASSERT_TRUE(Sql->DeleteRow());
    EXPECT_EQ(Count("people where id = 2", Other.get()), 0);
    EXPECT_FALSE(Sql->DeleteRow()); // the row is gone
    EXPECT_LT(Session->LastErrorCode(), 0);
}

TEST_F(SqliteEditing, StoredMemoBytesFollowTheCurrentRowByNameAndByNumberThroughScrollingAndUpdates) {
    Run("create table m (id integer primary key, a text, n integer, b text, c blob)");
    Run("insert into m values (1, 'a1', 10, 'b1', x'01'), (2, 'a2', 20, NULL, x'0202'), (3, 'a3', 30, 'b3', "
        "NULL)");
    ASSERT_TRUE(Sql->OpenWrite("select id, a, n, b, c from m order by id"));
    std::string expected[3][5] = {
        {"1", "a1", "10", "b1", "\x01"}, {"2", "a2", "20", "", "\x02\x02"}, {"3", "a3", "30", "b3", ""}};
    auto check = [&](int row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        ASSERT_EQ(Sql->RecNo(), row);
        for (int32_t column : {1, 3, 4, 2}) { // memo and blob columns in any order, and a number
            const char* byNumber = nullptr;
            const char* byName = nullptr;
            int64_t numberSize = -1, nameSize = -1;
            std::string scratch1, scratch2;
            const std::string name = Sql->GetField(host::Variant(column))->Name();
            ASSERT_TRUE(Sql->GetStoredBytes(column, byNumber, numberSize, scratch1));
            ASSERT_TRUE(Sql->GetStoredBytes(host::UpperCase(name), byName, nameSize, scratch2));
            EXPECT_EQ(std::string(byNumber, static_cast<size_t>(numberSize)), expected[row][column]) << name;
            EXPECT_EQ(std::string(byName, static_cast<size_t>(nameSize)), expected[row][column]) << name;
            EXPECT_EQ(Sql->GetStoredSize(name), static_cast<int64_t>(expected[row][column].size()));
        }
        if (!Sql->IsFieldNull(host::Variant("b"))) {
            EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{3})).AsString(), expected[row][3]);
        }
    };
    check(0);
    ASSERT_TRUE(Sql->FetchNext());
    check(1);
    ASSERT_TRUE(Sql->FetchNext());
    check(2);
    ASSERT_TRUE(Sql->FetchPrior());
    check(1);
    Sql->SetFieldValue(host::Variant("b"), host::Variant("new b2, longer than before"));
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    expected[1][3] = "new b2, longer than before";
    check(1); // the stored row was replaced, not the one loaded before the update
    ASSERT_TRUE(Sql->FetchPrior());
    check(0);
    ASSERT_TRUE(Sql->FetchNext());
    check(1);
    const char* data = nullptr;
    int64_t size = 0;
    std::string scratch;
    EXPECT_FALSE(Sql->GetStoredBytes(int32_t{9}, data, size, scratch));
    EXPECT_FALSE(Sql->GetStoredBytes("nosuch", data, size, scratch));
}

TEST_F(SqliteEditing, ATableWithoutKeyIsEditedThroughAHiddenRowid) {
    ASSERT_TRUE(Sql->OpenWrite("select body from notes"));
    ASSERT_EQ(Sql->GetFieldCount(), 2);
    EXPECT_EQ(Sql->GetField(host::Variant(int32_t{1}))->KeyIndicator(), kiHiddenKeyField);
    ASSERT_TRUE(Sql->FetchNext());
    Sql->SetFieldValue(host::Variant("body"), host::Variant("TWO"));
    ASSERT_TRUE(Sql->UpdateRow());
    Sql->Clear(); // leaves the hidden key alone
    Sql->SetFieldValue(host::Variant("body"), host::Variant("three"));
    ASSERT_TRUE(Sql->InsertRow());
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{1})).AsInt64(), 3);
    EXPECT_EQ(Scalar("select group_concat(body, ',') from notes", Other.get()).AsString(), "one,TWO,three");
}

TEST_F(SqliteEditing, RollbackOfEditsInAUserTransactionLeavesNothing) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->OpenWrite("select id, name from people order by id"));
    Sql->SetFieldValue(host::Variant("name"), host::Variant("changed"));
    ASSERT_TRUE(Sql->UpdateRow());
    ASSERT_TRUE(Sql->DeleteRow());
    Sql->Clear();
    Sql->SetFieldValue(host::Variant("name"), host::Variant("new"));
    ASSERT_TRUE(Sql->InsertRow());
    EXPECT_EQ(Count("people", Other.get()), 2);
    Session->Rollback();
    EXPECT_EQ(Scalar("select group_concat(name, ',') from people", Other.get()).AsString(), "ann,bob");
}

TEST_F(SqliteEditing, CursorsWithoutAnIdentifiableRowRefuseToChangeRows) {
    for (const char* text : {"select id, name from people_v", "select name || '!' as n from people",
                             "select count(*) from people", "select distinct name from people",
                             "select p.name from people p join notes n on n.rowid = p.id"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(Sql->OpenWrite(text)) << Session->LastError();
        for (auto edit : {&TLumraSQL::UpdateRow, &TLumraSQL::DeleteRow}) {
            try {
                (Sql.get()->*edit)();
                ADD_FAILURE() << "changed a row";
            } catch (const ELumraException& e) {
                EXPECT_EQ(std::string(e.what()), "Cursor is missing rowid");
            }
        }
    }
    EXPECT_EQ(Scalar("select group_concat(name, ',') from people").AsString(), "ann,bob");
}

TEST_F(SqliteEditing, AConstraintViolationOnInsertIsFalseWithTheEngineCodeAndChangesNothing) {
    ASSERT_TRUE(Sql->OpenWrite("select id, name from people"));
    Sql->Clear();
    Sql->SetFieldValue(host::Variant("name"), host::Variant("ann"));
    EXPECT_FALSE(Sql->InsertRow());
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_NE(Session->LastError().find("UNIQUE constraint failed"), std::string::npos);
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("people", Other.get()), 2);
    EXPECT_EQ(Count("people"), 2);
}

// The owner of a statement learns that its cursor closed, however it closed:
// directly, through a reopen, or because the session closed its statements.
TEST_F(SqliteTest, ClosingAnOpenCursorFiresOnAfterCloseOnce) {
    Run("create table t(id integer primary key)");
    Run("insert into t values (1), (2)");
    int fired = 0;
    Sql->SetOnAfterClose([&](host::TObject* sender) {
        EXPECT_EQ(sender, Sql.get());
        ++fired;
    });
    Sql->Close();
    EXPECT_EQ(fired, 0) << "nothing was open";
    ASSERT_TRUE(Sql->OpenRead("select id from t"));
    Sql->Close();
    EXPECT_EQ(fired, 1);
    Sql->Close();
    EXPECT_EQ(fired, 1) << "a second close has nothing to close";
    ASSERT_TRUE(Sql->OpenRead("select id from t"));
    Session->Close();
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(Sql->CursorOpen());
}

TEST_F(SqliteTest, OnAfterCloseMayUnassignItselfWhileRunning) {
    Run("create table t(id integer primary key)");
    int fired = 0;
    Sql->SetOnAfterClose([&](host::TObject*) {
        ++fired;
        Sql->SetOnAfterClose(nullptr);
    });
    ASSERT_TRUE(Sql->Open("select id from t", {}, true));
    Sql->Close();
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(Sql->OnAfterClose());
}

// A fetch that fails on a value that does not fit must not touch the row the
// cursor is on: the edited row buffer, the old-row buffer an update or delete
// finds its row by, both indicator buffers and RecNo all stay.
class SqliteFailedFetch : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, s varchar(8))");
        Run("insert into t values (1, 'abcdef'), (2, 'longer than eight'), (3, 'ghi')");
        Other = NewSession();
    }
    struct TSnapshot {
        std::string Row, OldRow, Indicators, OldIndicators;
        int32_t RecNo = 0;
        bool operator==(const TSnapshot&) const = default;
    };
    TSnapshot Take() const {
        const auto bytes = [](const char* p, int32_t n) { return std::string(p, static_cast<size_t>(n)); };
        return {bytes(Sql->RowBuffer(), Sql->RecordSize()), bytes(Sql->OldRowBuffer(), Sql->RecordSize()),
                bytes(Sql->IndicatorBuffer(), Sql->IndicatorSize()),
                bytes(Sql->OldIndicatorBuffer(), Sql->IndicatorSize()), Sql->RecNo()};
    }
    // Fails the fetch that `fetch` makes and checks nothing moved.
    void FailFetch(bool (TSqliteSQL::*fetch)()) {
        const TSnapshot before = Take();
        Session->SetLastError("", 0);
        EXPECT_FALSE(((*Sql).*fetch)());
        EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH) << Session->LastError();
        EXPECT_TRUE(Take() == before) << "a failed fetch changed the buffers or RecNo";
    }
    std::unique_ptr<TSqliteSession> Other;
};

TEST_F(SqliteFailedFetch, AnEditSurvivesAFailedFetchNextAndIsWrittenToItsOwnRow) {
    ASSERT_TRUE(Sql->OpenWrite("select id, s from t order by id"));
    Sql->SetFieldValue(host::Variant("s"), host::Variant("edited"));
    FailFetch(&TSqliteSQL::FetchNext);
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Scalar("select s from t where id = 1", Other.get()).AsString(), "edited");
    EXPECT_EQ(Count("t where s = 'edited'", Other.get()), 1);
}

TEST_F(SqliteFailedFetch, AnEditSurvivesAFailedFetchPriorAndIsWrittenToItsOwnRow) {
    ASSERT_TRUE(Sql->Open("select id, s from t order by id", {}, false));
    ASSERT_TRUE(Sql->SetToEnd());
    ASSERT_TRUE(Sql->FetchPrior());
    ASSERT_EQ(Sql->GetFieldValue(host::Variant("id")).AsInt64(), 3);
    Sql->SetFieldValue(host::Variant("s"), host::Variant("edited"));
    FailFetch(&TSqliteSQL::FetchPrior);
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Scalar("select s from t where id = 3", Other.get()).AsString(), "edited");
    EXPECT_EQ(Count("t where s = 'edited'", Other.get()), 1);
}

TEST_F(SqliteFailedFetch, AKeyChangedBackAfterAFailedFetchDeletesTheRowItCameFrom) {
    ASSERT_TRUE(Sql->OpenWrite("select id, s from t order by id"));
    Sql->SetFieldValue(host::Variant("id"), host::Variant(int32_t{5}));
    FailFetch(&TSqliteSQL::FetchNext);
    Sql->SetFieldValue(host::Variant("id"), host::Variant(int32_t{1}));
    ASSERT_TRUE(Sql->DeleteRow()) << Session->LastError();
    EXPECT_EQ(Count("t where id = 1", Other.get()), 0);
    EXPECT_EQ(Count("t", Other.get()), 2);
}

TEST_F(SqliteTest, DestroyingAnOpenStatementWhoseCloseHandlerRaisesKeepsTheProcessAndTheSession) {
    Run("create table t (id integer primary key)");
    Run("insert into t values (1), (2)");
    auto sql = NewStatement(Session.get());
    ASSERT_TRUE(sql->OpenRead("select id from t"));
    int calls = 0;
    sql->SetOnAfterClose([&](host::TObject*) {
        ++calls;
        throw ELumraException("the handler refused", 0, 0);
    });
    sql.reset();
    EXPECT_EQ(calls, 1);
    // The engine statement went with it: the connection closes cleanly and reopens.
    Session->Close();
    Session->Open();
    EXPECT_EQ(Count("t"), 2);
}

TEST_F(SqliteFailedFetch, AFirstRowThatCannotBeReadLeavesTheCursorOnItsRow) {
    Run("update t set s = 'too long for it' where id = 1");
    ASSERT_TRUE(Sql->Open("select id, s from t order by id", {}, false));
    ASSERT_TRUE(Sql->SetToEnd());
    ASSERT_TRUE(Sql->FetchPrior());
    Sql->SetFieldValue(host::Variant("s"), host::Variant("edited"));
    FailFetch(&TSqliteSQL::FetchFirst);
    EXPECT_FALSE(Sql->Bof());
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Scalar("select s from t where id = 3", Other.get()).AsString(), "edited");
}
