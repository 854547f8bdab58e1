// Failure paths of the SQLite session and statement seen from the outside:
// operations that fail half-way leave the buffers, flags, cursor position and
// file as they were; repeated and out-of-order calls stay sane; objects may
// be destroyed or moved in unusual orders; values at and just past every
// limit are kept exactly or refused with the engine's code.
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "LmrBase/LmrBlobs.h"
#include "host/DateTime.h"
#include "host/SysUtils.h"
#include "sqlite_fixture.h"

namespace {

// What one call ended in: a true result, or a false result / an exception,
// with the code and message the session recorded.
struct Outcome {
    bool ok = false;
    bool raised = false;
    int32_t code = 0;
    std::string message;
};

Outcome Try(TLumraSession* session, const std::function<bool()>& call) {
    Outcome out;
    try {
        out.ok = call();
    } catch (const ELumraException& e) {
        out.raised = true;
        out.code = e.ErrorCode();
        out.message = e.Message();
        return out;
    }
    if (!out.ok) {
        out.code = session->LastErrorCode();
        out.message = session->LastError();
    }
    return out;
}

std::string RowBytes(TLumraSQL& sql) {
    return std::string(sql.RowBuffer(), static_cast<size_t>(sql.RecordSize()));
}
std::string OldRowBytes(TLumraSQL& sql) {
    return std::string(sql.OldRowBuffer(), static_cast<size_t>(sql.RecordSize()));
}
std::string Indicators(TLumraSQL& sql) {
    return std::string(sql.IndicatorBuffer(), static_cast<size_t>(sql.IndicatorSize()));
}
std::string OldIndicators(TLumraSQL& sql) {
    return std::string(sql.OldIndicatorBuffer(), static_cast<size_t>(sql.IndicatorSize()));
}

// Everything a failed row operation must leave as it was.
struct CursorState {
    std::string row, oldRow, ind, oldInd;
    int32_t recNo = 0;
    bool open = false, bof = false, eof = false;
    static CursorState Of(TLumraSQL& sql) {
        return {RowBytes(sql), OldRowBytes(sql), Indicators(sql), OldIndicators(sql),
                sql.RecNo(),   sql.CursorOpen(), sql.Bof(),       sql.Eof()};
    }
    bool operator==(const CursorState&) const = default;
};

std::string Dump(const CursorState& s) {
    return "recNo=" + std::to_string(s.recNo) + " open=" + std::to_string(s.open) +
           " bof=" + std::to_string(s.bof) + " eof=" + std::to_string(s.eof);
}

host::Variant Id(const char* name) {
    return host::Variant(name);
}

} // namespace

// A table with every kind of constraint, and a second connection to check
// what really reached the file.
class AttackCore : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table people (id integer primary key, name varchar(10) not null unique,"
            " age integer check (age >= 0))");
        Run("create trigger no_delete_root before delete on people when old.id = 1"
            " begin select raise(abort, 'root stays'); end");
        Run("insert into people values (1, 'root', 50), (2, 'ann', 30), (3, 'bob', 40)");
        Other = NewSession();
    }
    void TearDown() override {
        Other.reset();
        SqliteTest::TearDown();
    }
    std::string Names(TSqliteSession* session) {
        auto sql = NewStatement(session);
        std::string out;
        if (!sql->OpenRead("select name from people order by id")) {
            ADD_FAILURE() << "reading people failed: " << session->LastError();
            return "<error>";
        }
        do {
            out += sql->GetFieldValue(host::Variant(int32_t{0})).AsString() + ",";
        } while (sql->FetchNext());
        return out;
    }
    std::unique_ptr<TSqliteSession> Other;
};

// ---- Engine errors carry the extended code, negated, and the engine's message

struct ConstraintCase {
    const char* what;
    const char* sql;
    int32_t code;
    const char* message;
};

class AttackConstraintCodes : public AttackCore, public ::testing::WithParamInterface<ConstraintCase> {};

TEST_P(AttackConstraintCodes, AFailingExecuteReportsTheExtendedCodeAndChangesNothing) {
    const ConstraintCase& c = GetParam();
    const std::string before = Names(Other.get());
    Outcome r = Try(Session.get(), [&] { return Sql->Execute(c.sql); });
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.message;
    EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
    EXPECT_EQ(Session->LastErrorCode(), c.code);
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Names(Other.get()), before);
    // The statement stays usable for a good execution right after.
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (9, 'zed', 1)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Constraints, AttackConstraintCodes,
    ::testing::Values(
        ConstraintCase{"unique", "insert into people (name, age) values ('ann', 1)",
                       -SQLITE_CONSTRAINT_UNIQUE, "UNIQUE constraint failed"},
        ConstraintCase{"primary key", "insert into people (id, name, age) values (2, 'x', 1)",
                       -SQLITE_CONSTRAINT_PRIMARYKEY, "UNIQUE constraint failed"},
        ConstraintCase{"not null", "insert into people (name, age) values (null, 1)",
                       -SQLITE_CONSTRAINT_NOTNULL, "NOT NULL constraint failed"},
        ConstraintCase{"check", "update people set age = -1 where id = 2", -SQLITE_CONSTRAINT_CHECK,
                       "CHECK constraint failed"},
        ConstraintCase{"trigger", "delete from people where id = 1", -SQLITE_CONSTRAINT_TRIGGER,
                       "root stays"},
        // Several rows in one statement: the later failure takes the earlier rows with it.
        ConstraintCase{"later row", "insert into people (id, name, age) values (7, 'new', 1), (8, 'ann', 1)",
                       -SQLITE_CONSTRAINT_UNIQUE, "UNIQUE constraint failed"},
        ConstraintCase{"syntax", "insert into people valuez (1)", -SQLITE_ERROR, "syntax error"},
        ConstraintCase{"missing table", "insert into nobody values (1)", -SQLITE_ERROR, "no such table"}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

// ---- Failing row operations leave the cursor exactly as it was ---------------------

TEST_F(AttackCore, AFailingUpdateRowKeepsTheEditedRowTheOldRowAndThePositionAndCanBeRetried) {
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    ASSERT_TRUE(Sql->FetchNext());
    Sql->SetFieldValue(Id("name"), host::Variant("bob"));
    const CursorState before = CursorState::Of(*Sql);
    Outcome r = Try(Session.get(), [&] { return Sql->UpdateRow(); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_UNIQUE) << r.message;
    EXPECT_EQ(CursorState::Of(*Sql), before) << Dump(CursorState::Of(*Sql)) << " vs " << Dump(before);
    EXPECT_EQ(Sql->GetOldValue(Id("name")).AsString(), "ann");
    EXPECT_TRUE(Sql->IsDirty());
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
    Sql->SetFieldValue(Id("name"), host::Variant("anna"));
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Names(Other.get()), "root,anna,bob,");
}

TEST_F(AttackCore, AFailingDeleteRowKeepsTheRowAndTheCursorMovesOnFromIt) {
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    const CursorState before = CursorState::Of(*Sql);
    Outcome r = Try(Session.get(), [&] { return Sql->DeleteRow(); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_TRIGGER) << r.message;
    EXPECT_NE(r.message.find("root stays"), std::string::npos);
    EXPECT_EQ(CursorState::Of(*Sql), before);
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
    ASSERT_TRUE(Sql->FetchNext()) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
    ASSERT_TRUE(Sql->DeleteRow()) << Session->LastError();
    EXPECT_EQ(Names(Other.get()), "root,bob,");
}

TEST_F(AttackCore, AFailingInsertRowKeepsTheRowBufferForARetry) {
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    Sql->Clear();
    Sql->SetFieldValue(Id("name"), host::Variant("new"));
    Sql->SetFieldValue(Id("age"), host::Variant(int64_t{-4}));
    const CursorState before = CursorState::Of(*Sql);
    Outcome r = Try(Session.get(), [&] { return Sql->InsertRow(); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_CHECK) << r.message;
    EXPECT_EQ(CursorState::Of(*Sql), before);
    EXPECT_EQ(Sql->GetFieldValue(Id("name")).AsString(), "new");
    Sql->SetFieldValue(Id("age"), host::Variant(int64_t{4}));
    ASSERT_TRUE(Sql->InsertRow()) << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);
}

// A failing write inside a user transaction undoes that statement only: the
// transaction's earlier work is still there and commits.
TEST_F(AttackCore, AFailingRowWriteInsideAUserTransactionKeepsTheEarlierWork) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people where id = 2")) << Session->LastError();
    Sql->SetFieldValue(Id("name"), host::Variant("dan"));
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->UpdateRow(); }).ok);
    EXPECT_TRUE(Session->InTransaction());
    Sql->SetFieldValue(Id("name"), host::Variant("eve"));
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
    Session->Commit();
    EXPECT_EQ(Names(Other.get()), "root,eve,bob,dan,");
}

// A first row that its column cannot hold fails the open's fetch; the cursor
// does not pretend to stand on a row and a later open of good rows works.
TEST_F(AttackCore, AFirstRowThatDoesNotFitFailsTheOpenAndAFollowingOpenWorks) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'abcd'), (2, 'ok')");
    Outcome r = Try(Session.get(), [&] { return Sql->OpenRead("select id, s from narrow order by id"); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_MISMATCH) << r.message;
    EXPECT_NE(r.message.find("s"), std::string::npos);
    EXPECT_NE(Sql->RecNo(), 0) << "no row was read";
    ASSERT_TRUE(Sql->OpenRead("select id, s from narrow where id = 2")) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("s")).AsString(), "ok");
}

// MoveTo over a row that cannot be read stops there with the engine code and
// does not walk on past it as if it were the end.
TEST_F(AttackCore, MoveToStopsAtARowThatCannotBeReadWithItsCode) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'a'), (2, 'b'), (3, 'long!'), (4, 'd')");
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenRead("select id, s from narrow order by id")) << Session->LastError();
    EXPECT_FALSE(Sql->MoveTo(3));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
    EXPECT_EQ(Sql->RecNo(), 1);
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
    EXPECT_FALSE(Sql->Eof());
    ASSERT_TRUE(Sql->MoveTo(0)) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("s")).AsString(), "a");
}

// ---- Prepare and open failures ------------------------------------------------------

TEST_F(AttackCore, AFailingPrepareLeavesNothingPreparedAndTheNextOpenWorks) {
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id")) << Session->LastError();
    Outcome r = Try(Session.get(), [&] { return Sql->PrepareOpen("select x from nowhere"); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_ERROR);
    EXPECT_NE(r.message.find("no such table"), std::string::npos) << r.message;
    EXPECT_FALSE(Sql->CursorPrepared());
    EXPECT_FALSE(Sql->CursorOpen());
    EXPECT_EQ(Sql->GetFieldCount(), 0);
    EXPECT_THROW(Sql->OpenReadPrepared(), ELumraException);
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id")) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
}

TEST_F(AttackCore, AFailingExecutePrepareLeavesTheStatementUnprepared) {
    ASSERT_TRUE(Sql->PrepareExecute("update people set age = age + 1")) << Session->LastError();
    Outcome r = Try(Session.get(), [&] { return Sql->Execute("update nobody set x = 1"); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_ERROR);
    EXPECT_FALSE(Sql->StatementPrepared());
    try {
        Sql->ExecutePrepared();
        ADD_FAILURE() << "executed a statement that is not prepared";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.ErrorCode(), 0);
        EXPECT_EQ(e.Message(), "The statement is not prepared");
    }
    EXPECT_EQ(Scalar("select sum(age) from people", Other.get()).AsInt64(), 120);
}

TEST_F(AttackCore, OnAfterOpenFiresOnlyForOpensThatSucceeded) {
    int opened = 0;
    Sql->SetOnAfterOpen([&](host::TObject*) { ++opened; });
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->OpenRead("select * from nowhere"); }).ok);
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->OpenRead("select id from people where 0"); }).ok);
    EXPECT_EQ(opened, 0);
    ASSERT_TRUE(Sql->OpenRead("select id from people"));
    EXPECT_EQ(opened, 1);
}

// ---- Repeated calls ---------------------------------------------------------------

TEST_F(AttackCore, RepeatedCloseUnprepareAndPrepareStaySane) {
    Sql->Close();
    Sql->UnprepareOpen();
    Sql->Unprepare();
    Sql->UnprepareExecute();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Sql->PrepareOpen("select id, name from people order by id")) << Session->LastError();
        ASSERT_TRUE(Sql->PrepareExecute("update people set age = age + 1 where id = ?"))
            << Session->LastError();
    }
    ASSERT_TRUE(Sql->OpenReadPrepared()) << Session->LastError();
    ASSERT_TRUE(Sql->ExecutePrepared({host::Variant(int32_t{2})})) << Session->LastError();
    ASSERT_TRUE(Sql->FetchNext());
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
    Sql->Close();
    Sql->Close();
    EXPECT_TRUE(Sql->CursorPrepared());
    ASSERT_TRUE(Sql->OpenReadPrepared()) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
    Sql->Unprepare();
    Sql->Unprepare();
    EXPECT_FALSE(Sql->CursorPrepared());
    EXPECT_FALSE(Sql->StatementPrepared());
    EXPECT_EQ(Scalar("select age from people where id = 2", Other.get()).AsInt64(), 31);
}

TEST_F(AttackCore, FetchingPastEitherEndKeepsAnsweringFalseWithoutAnError) {
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id")) << Session->LastError();
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(Sql->FetchNext());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(Sql->FetchNext());
        EXPECT_TRUE(Sql->Eof());
        EXPECT_GE(Session->LastErrorCode(), 0);
    }
    ASSERT_TRUE(Sql->FetchPrior()) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 3);
    ASSERT_TRUE(Sql->MoveTo(0));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(Sql->FetchPrior());
        EXPECT_TRUE(Sql->Bof());
    }
    ASSERT_TRUE(Sql->FetchNext()) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
}

TEST_F(AttackCore, WrongStateOperationsRaiseTheCatalogueMessagesWithCodeZero) {
    auto expectRaise = [&](const char* what, const std::function<void()>& call, const std::string& message) {
        try {
            call();
            ADD_FAILURE() << what << " did not raise";
        } catch (const ELumraException& e) {
            EXPECT_EQ(e.Message(), message) << what;
            EXPECT_EQ(e.ErrorCode(), 0) << what;
            EXPECT_EQ(Session->LastError(), message) << what;
        }
    };
    expectRaise(
        "MoveTo", [&] { Sql->MoveTo(0); }, "The cursor is not opened");
    expectRaise(
        "IsDirty", [&] { Sql->IsDirty(); }, "The cursor is not opened");
    expectRaise(
        "Clear", [&] { Sql->Clear(); }, "The cursor is not opened");
    expectRaise(
        "OpenReadPrepared", [&] { Sql->OpenReadPrepared(); }, "The cursor is not prepared");
    expectRaise(
        "ExecutePrepared", [&] { Sql->ExecutePrepared(); }, "The statement is not prepared");
    ASSERT_TRUE(Sql->OpenRead("select id, name from people order by id"));
    const CursorState before = CursorState::Of(*Sql);
    expectRaise(
        "SetFieldValue", [&] { Sql->SetFieldValue(Id("name"), host::Variant("x")); },
        "The cursor is read-only");
    expectRaise(
        "Clear", [&] { Sql->Clear(); }, "The cursor is read-only");
    EXPECT_EQ(CursorState::Of(*Sql), before);
}

// Row changes on a cursor opened read-only are refused with a clear error and
// leave the file alone.
TEST_F(AttackCore, RowWritesOnAReadOnlyCursorAreRefused) {
    ASSERT_TRUE(Sql->OpenRead("select id, name, age from people order by id"));
    for (auto op : {&TLumraSQL::UpdateRow, &TLumraSQL::InsertRow, &TLumraSQL::DeleteRow}) {
        Outcome r = Try(Session.get(), [&] { return (Sql.get()->*op)(); });
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
    }
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
}

// ---- Transactions called out of order -------------------------------------------------

TEST_F(AttackCore, ASecondStartTransactionRaisesAndLeavesTheFirstOneRunning) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    try {
        Session->StartTransaction();
        ADD_FAILURE() << "a second StartTransaction was accepted";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.Message(), "A user transaction is already in progress");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_EQ(Session->LastErrorCode(), 0);
    EXPECT_TRUE(Session->InTransaction());
    EXPECT_EQ(Count("people", Other.get()), 3) << "the refused start committed the pending work";
    Session->Rollback();
    EXPECT_FALSE(Session->InTransaction());
    EXPECT_EQ(Count("people", Other.get()), 3);
    EXPECT_EQ(Count("people"), 3);
}

TEST_F(AttackCore, CommitAndRollbackWithoutATransactionAndTwiceAreHarmless) {
    Session->Commit();
    Session->Rollback();
    Session->Rollback();
    Session->Commit();
    EXPECT_FALSE(Session->InTransaction());
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"));
    Session->Commit();
    Session->Commit();
    Session->Rollback();
    EXPECT_EQ(Count("people", Other.get()), 4);
    // Auto-commit keeps working after all of it.
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (5, 'eve', 5)"));
    EXPECT_EQ(Count("people", Other.get()), 5);
}

TEST_F(AttackCore, RollbackWithoutAUserTransactionDiscardsPendingWorkWhenAutoCommitIsOff) {
    Session->SetAutoCommit(false);
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"));
    Session->Rollback();
    Session->Rollback();
    EXPECT_EQ(Count("people"), 3);
    EXPECT_EQ(Count("people", Other.get()), 3);
}

// A commit the engine refuses (a deferred foreign key still broken) raises
// the engine's code, keeps the transaction and its work, and a commit after
// the repair stores all of it.
class AttackDeferred : public AttackCore {
protected:
    void SetUp() override {
        AttackCore::SetUp();
        Run("create table parent (id integer primary key)");
        Run("create table child (id integer primary key, parent_id integer"
            " references parent(id) deferrable initially deferred)");
        Run("pragma foreign_keys = on");
    }
};

TEST_F(AttackDeferred, ARefusedCommitRaisesTheEngineCodeAndKeepsTheWorkForTheNextCommit) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into child values (1, 10)")) << Session->LastError();
    Outcome r = Try(Session.get(), [&] {
        Session->Commit();
        return true;
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_FOREIGNKEY) << r.message;
    EXPECT_NE(r.message.find("FOREIGN KEY constraint failed"), std::string::npos) << r.message;
    EXPECT_TRUE(Session->InTransaction());
    EXPECT_EQ(Count("child", Other.get()), 0);
    ASSERT_TRUE(Sql->Execute("insert into parent values (10)")) << Session->LastError();
    Session->Commit();
    EXPECT_FALSE(Session->InTransaction());
    EXPECT_EQ(Count("child", Other.get()), 1);
    EXPECT_EQ(Count("parent", Other.get()), 1);
}

// The automatic commit after a change is part of that change: when the engine
// refuses it, the execute fails with the engine's code, the row is not in the
// file, and nothing is left pending for a later statement to commit.
TEST_F(AttackDeferred, AnExecuteWhoseAutomaticCommitIsRefusedFailsAndLeavesNothingPending) {
    Outcome r = Try(Session.get(), [&] { return Sql->Execute("insert into child values (1, 10)"); });
    EXPECT_FALSE(r.ok) << "a change that never reached the file was reported as done";
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_FOREIGNKEY) << r.message;
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("child", Other.get()), 0);
    ASSERT_TRUE(Sql->Execute("insert into parent values (20)")) << Session->LastError();
    EXPECT_EQ(Count("parent", Other.get()), 1);
    EXPECT_EQ(Count("child", Other.get()), 0) << "the refused row was committed by the next statement";
    EXPECT_EQ(Count("child"), 0);
}

TEST_F(AttackDeferred, AnInsertRowWhoseAutomaticCommitIsRefusedFailsAndLeavesNothingPending) {
    ASSERT_TRUE(Sql->Execute("insert into parent values (5)")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into child values (1, 5)")) << Session->LastError();
    ASSERT_TRUE(Sql->OpenWrite("select id, parent_id from child")) << Session->LastError();
    Sql->Clear();
    Sql->SetFieldValue(Id("id"), host::Variant(int64_t{2}));
    Sql->SetFieldValue(Id("parent_id"), host::Variant(int64_t{10}));
    Outcome r = Try(Session.get(), [&] { return Sql->InsertRow(); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_CONSTRAINT_FOREIGNKEY) << r.message;
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("child", Other.get()), 1);
    ASSERT_TRUE(Sql->Execute("insert into parent values (6)")) << Session->LastError();
    EXPECT_EQ(Count("child", Other.get()), 1) << "the refused row was committed by the next statement";
}

// A write refused because another connection holds the file reports the
// busy code and leaves the user transaction usable once the lock is gone.
TEST_F(AttackCore, AWriteRefusedAsBusyReportsTheCodeAndCanBeRetried) {
    Other->StartTransaction();
    auto otherSql = NewStatement(Other.get());
    ASSERT_TRUE(otherSql->Execute("insert into people (id, name, age) values (10, 'x', 1)"))
        << Other->LastError();
    Session->Close();
    Session->SetBusyTimeout(0);
    Session->Open();
    Outcome r = Try(Session.get(),
                    [&] { return Sql->Execute("insert into people (id, name, age) values (11, 'y', 1)"); });
    EXPECT_FALSE(r.ok);
    EXPECT_LT(r.code, 0);
    EXPECT_EQ((-r.code) & 0xFF, SQLITE_BUSY) << r.code;
    EXPECT_NE(r.message.find("locked"), std::string::npos) << r.message;
    Other->Commit();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (11, 'y', 1)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 5);
}

// ---- Sessions closed, reopened, destroyed, statements moved ----------------------------

TEST_F(AttackCore, AStatementWorksAgainAfterItsSessionClosedAndReopened) {
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id"));
    ASSERT_TRUE(Sql->PrepareExecute("update people set age = age + 1"));
    Session->Close();
    EXPECT_FALSE(Sql->CursorOpen());
    EXPECT_FALSE(Sql->CursorPrepared());
    EXPECT_FALSE(Sql->StatementPrepared());
    EXPECT_THROW(Sql->ExecutePrepared(), ELumraException);
    Session->Open();
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id")) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
    ASSERT_TRUE(Sql->Execute("update people set age = age + 1")) << Session->LastError();
    EXPECT_EQ(Scalar("select sum(age) from people", Other.get()).AsInt64(), 123);
}

TEST_F(AttackCore, ClosingTheSessionDiscardsTheUncommittedUserTransaction) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"));
    Session->Close();
    EXPECT_FALSE(Session->InTransaction());
    Session->Open();
    Session->Commit();
    EXPECT_EQ(Count("people", Other.get()), 3);
    EXPECT_EQ(Count("people"), 3);
}

TEST_F(AttackCore, SettingTheSameSessionAgainKeepsOneLinkAndMovingLeavesTheOldList) {
    Sql->SetSession(Session.get());
    Sql->SetSession(Session.get());
    int links = 0;
    for (TLumraSQL* q : Session->Queries())
        links += q == Sql.get();
    EXPECT_EQ(links, 1);
    Sql->SetSession(Other.get());
    for (TLumraSQL* q : Session->Queries())
        EXPECT_NE(q, Sql.get());
    Sql->SetSession(nullptr);
    for (TLumraSQL* q : Other->Queries())
        EXPECT_NE(q, Sql.get());
    EXPECT_EQ(Sql->GetSessionObject(), nullptr);
}

// A cursor prepared on one session and moved to another reads the new
// session's file, also when the text stays the same.
TEST_F(AttackCore, APreparedCursorMovedToAnotherSessionReadsThatSessionsFile) {
    const std::string otherFile = (Folder / "other.db").string();
    auto elsewhere = std::make_unique<TSqliteSession>();
    elsewhere->SetDatabaseName(otherFile);
    elsewhere->SetCreateIfMissing(true);
    elsewhere->Open();
    ASSERT_EQ(
        elsewhere->Execute("create table people (id integer primary key, name varchar(10), age integer);"
                           "insert into people values (100, 'far', 1)"),
        0);
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id"));
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
    Sql->SetSession(elsewhere.get());
    EXPECT_FALSE(Sql->CursorOpen());
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id")) << elsewhere->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 100);
    Sql->SetSession(nullptr);
    elsewhere.reset();
}

TEST_F(AttackCore, AStatementOutlivingItsSessionRaisesTheUnlinkedErrorAndIsDestroyedCleanly) {
    ASSERT_TRUE(Sql->OpenRead("select id from people order by id"));
    ASSERT_TRUE(Sql->PrepareExecute("update people set age = 1"));
    Other.reset();
    Session.reset(); // the driver's last session: the library goes
    EXPECT_EQ(Sql->GetSessionObject(), nullptr);
    EXPECT_FALSE(Sql->CursorOpen());
    EXPECT_FALSE(Sql->StatementPrepared());
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { Sql->OpenRead("select 1"); }, [&] { Sql->Execute("select 1"); },
             [&] { Sql->GetLastError(); }}) {
        try {
            call();
            ADD_FAILURE() << "an unlinked statement ran";
        } catch (const ELumraException& e) {
            EXPECT_EQ(e.Message(), "The session property is not linked to a session");
            EXPECT_EQ(e.ErrorCode(), 0);
        }
    }
    Sql->Close();
    Sql->Unprepare();
    Sql.reset();
}

// A statement linked to a second session keeps working after the first
// session of the driver is destroyed: the library stays loaded.
TEST_F(AttackCore, DestroyingOneSessionLeavesTheOthersStatementsWorking) {
    auto sql = NewStatement(Other.get());
    ASSERT_TRUE(sql->OpenRead("select id from people order by id"));
    Sql.reset();
    Session.reset();
    ASSERT_TRUE(sql->FetchNext()) << Other->LastError();
    EXPECT_EQ(sql->GetFieldValue(Id("id")).AsInt64(), 2);
    ASSERT_TRUE(sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Other->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);
}

// ---- Settings at their limits ------------------------------------------------------

TEST_F(AttackCore, FetchAndBlobSizeSettingsAcceptExactlyTheirRanges) {
    struct Case {
        int32_t value;
        bool accepted;
    };
    for (Case c : {Case{0, false}, Case{-1, false}, Case{1, true}, Case{1000, true}, Case{1001, false},
                   Case{std::numeric_limits<int32_t>::min(), false}}) {
        Sql->SetMaxFetchCount(77);
        Sql->SetMaxFetchCount(c.value);
        EXPECT_EQ(Sql->MaxFetchCount(), c.accepted ? c.value : 77) << c.value;
    }
    for (Case c : {Case{0, true}, Case{-1, false}, Case{32763, true}, Case{32764, false},
                   Case{std::numeric_limits<int32_t>::max(), false}}) {
        Sql->SetBlobSize(99);
        Sql->SetBlobSize(c.value);
        EXPECT_EQ(Sql->BlobSize(), c.accepted ? c.value : 99) << c.value;
    }
}

class AttackFetchCount : public AttackCore, public ::testing::WithParamInterface<int32_t> {};

TEST_P(AttackFetchCount, EveryRowIsReadOnceInOrderWhateverTheFetchSize) {
    Run("create table many (id integer primary key, s varchar(8))");
    Run("with recursive c(i) as (select 1 union all select i + 1 from c where i < 2003)"
        " insert into many select i, 'r' || i from c");
    Sql->SetMaxFetchCount(GetParam());
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenRead("select id, s from many order by id")) << Session->LastError();
    int64_t expect = 1;
    do {
        ASSERT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), expect);
        ASSERT_EQ(Sql->GetFieldValue(Id("s")).AsString(), "r" + std::to_string(expect));
        ++expect;
    } while (Sql->FetchNext());
    EXPECT_EQ(expect, 2004);
    EXPECT_EQ(Sql->RecordCount(), 2003);
    ASSERT_TRUE(Sql->MoveTo(999));
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1000);
    ASSERT_TRUE(Sql->MoveTo(1000));
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1001);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AttackFetchCount, ::testing::Values(1, 2, 999, 1000));

// ---- Values at and past their limits --------------------------------------------------

class AttackValues : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table v (id integer primary key, s varchar(5), n integer, r real, b boolean, bin "
            "binary(4),"
            " m text, bl blob, d date, tm time, dt datetime)");
        Run("insert into v (id) values (1)");
    }
    // Writes one value through SetFieldValue and UpdateRow, then reads it back
    // through a fresh cursor.
    host::Variant WriteAndRead(const char* column, const host::Variant& value) {
        auto sql = NewStatement(Session.get());
        const std::string text = std::string("select id, ") + column + " from v where id = 1";
        if (!sql->OpenWrite(text)) {
            ADD_FAILURE() << Session->LastError();
            return host::Variant();
        }
        sql->SetFieldValue(Id(column), value);
        if (!sql->UpdateRow()) {
            ADD_FAILURE() << Session->LastError();
            return host::Variant();
        }
        auto read = NewStatement(Session.get());
        if (!read->OpenRead(text)) {
            ADD_FAILURE() << "reading back failed: " << Session->LastError();
            return host::Variant();
        }
        return read->GetFieldValue(Id(column));
    }
    // A value that does not fit: SetFieldValue raises -SQLITE_MISMATCH and
    // leaves the row buffer as it was.
    void ExpectRefused(const char* column, const host::Variant& value) {
        SCOPED_TRACE(column);
        auto sql = NewStatement(Session.get());
        ASSERT_TRUE(sql->OpenWrite(std::string("select id, ") + column + " from v where id = 1"));
        const std::string row = RowBytes(*sql), ind = Indicators(*sql);
        try {
            sql->SetFieldValue(Id(column), value);
            ADD_FAILURE() << "accepted " << value.AsString();
        } catch (const ELumraException& e) {
            EXPECT_EQ(e.ErrorCode(), -SQLITE_MISMATCH) << e.Message();
            EXPECT_NE(e.Message().find(column), std::string::npos) << e.Message();
        }
        EXPECT_EQ(RowBytes(*sql), row);
        EXPECT_EQ(Indicators(*sql), ind);
    }
};

TEST_F(AttackValues, TextExactlyAtTheDeclaredLengthIsKeptAndOneMoreIsRefused) {
    EXPECT_EQ(WriteAndRead("s", host::Variant("abcde")).AsString(), "abcde");
    EXPECT_EQ(WriteAndRead("s", host::Variant("")).AsString(), "");
    EXPECT_EQ(Scalar("select typeof(s) from v"), host::Variant("text")) << "empty text is not null";
    ExpectRefused("s", host::Variant("abcdef"));
    ExpectRefused("s", host::Variant(std::string("ab\0d", 4)));
    // Multi-byte text counts bytes: five two-byte characters are ten bytes.
    ExpectRefused("s", host::Variant("\xC3\xA9\xC3\xA9\xC3\xA9"));
}

TEST_F(AttackValues, BinaryExactlyAtTheDeclaredLengthIsKeptAndOneMoreIsRefused) {
    auto bytes = [](const std::string& b) {
        host::Variant v = host::VarArrayCreate(0, static_cast<int32_t>(b.size()) - 1, host::varByte);
        if (!b.empty()) {
            std::memcpy(host::VarArrayLock(v), b.data(), b.size());
            host::VarArrayUnlock(v);
        }
        return v;
    };
    host::Variant got = WriteAndRead("bin", bytes(std::string("\0\xFF\0\x01", 4)));
    ASSERT_TRUE(got.IsArray());
    EXPECT_EQ(host::VarArrayHighBound(got) - host::VarArrayLowBound(got) + 1, 4);
    ExpectRefused("bin", bytes("12345"));
    got = WriteAndRead("bin", bytes(""));
    EXPECT_FALSE(got.IsNull()) << "empty bytes are not null";
}

TEST_F(AttackValues, IntegersAtTheirEdgesRoundTripAndNonWholeValuesAreRefused) {
    for (int64_t n :
         {int64_t{std::numeric_limits<int32_t>::min()}, int64_t{std::numeric_limits<int32_t>::max()},
          int64_t{std::numeric_limits<int32_t>::max()} + 1, std::numeric_limits<int64_t>::min(),
          std::numeric_limits<int64_t>::max(), (int64_t{1} << 53) + 1}) {
        EXPECT_EQ(WriteAndRead("n", host::Variant(n)).AsInt64(), n);
    }
    EXPECT_EQ(WriteAndRead("n", host::Variant(std::numeric_limits<int32_t>::min())).AsInt64(),
              std::numeric_limits<int32_t>::min());
    ExpectRefused("n", host::Variant(9.3e18)); // beyond the 64-bit range
    ExpectRefused("n", host::Variant(-9.3e18));
    ExpectRefused("n", host::Variant(std::nan("")));
    ExpectRefused("n", host::Variant(std::numeric_limits<double>::infinity()));
    ExpectRefused("n", host::Variant("12abc"));
}

TEST_F(AttackValues, DoublesAtTheirEdgesKeepEveryBit) {
    int64_t id = 10;
    for (double d : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max(), 1e300,
                     9007199254740992.0, 0.1}) {
        SCOPED_TRACE(d);
        const host::Variant got = WriteAndRead("r", host::Variant(d));
        ASSERT_FALSE(got.IsNull());
        double have = got.AsDouble();
        EXPECT_EQ(std::memcmp(&have, &d, sizeof d), 0) << "came back as " << have;
        ASSERT_TRUE(
            Sql->Execute("insert into v (id, r) values (?, ?)", {host::Variant(id), host::Variant(d)}))
            << Session->LastError();
        have = Scalar("select r from v where id = " + std::to_string(id)).AsDouble();
        EXPECT_EQ(std::memcmp(&have, &d, sizeof d), 0) << "host variable came back as " << have;
        ++id;
    }
}

// A REAL column keeps every bit, or the value is refused: SQLite stores a
// negative zero in a REAL column as the integer 0, so it comes back positive.
TEST_F(AttackValues, ANegativeZeroInARealColumnIsKeptOrRefused) {
    const double negZero = -0.0;
    auto sql = NewStatement(Session.get());
    ASSERT_TRUE(sql->OpenWrite("select id, r from v where id = 1"));
    bool refused = false;
    try {
        sql->SetFieldValue(Id("r"), host::Variant(negZero));
        ASSERT_TRUE(sql->UpdateRow()) << Session->LastError();
    } catch (const ELumraException& e) {
        refused = true;
        EXPECT_EQ(e.ErrorCode(), -SQLITE_MISMATCH);
    }
    if (!refused) {
        const double have = Scalar("select r from v where id = 1").AsDouble();
        EXPECT_TRUE(std::signbit(have)) << "-0.0 written through SetFieldValue came back as " << have;
    }
    Outcome r = Try(Session.get(), [&] {
        return Sql->Execute("insert into v (id, r) values (?, ?)",
                            {host::Variant(int64_t{2}), host::Variant(negZero)});
    });
    if (r.ok) {
        const double have = Scalar("select r from v where id = 2").AsDouble();
        EXPECT_TRUE(std::signbit(have)) << "-0.0 bound as a host variable came back as " << have;
    } else {
        EXPECT_EQ(r.code, -SQLITE_MISMATCH) << r.message;
    }
}

// SQLite cannot store a NaN (it becomes NULL), so a NaN is refused.
TEST_F(AttackValues, ANaNIsRefusedRatherThanStoredAsNull) {
    ExpectRefused("r", host::Variant(std::nan("")));
    Outcome r = Try(Session.get(), [&] {
        return Sql->Execute("insert into v (id, r) values (?, ?)",
                            {host::Variant(int64_t{99}), host::Variant(std::nan(""))});
    });
    EXPECT_FALSE(r.ok) << "a NaN was stored as NULL without an error";
    if (!r.ok) {
        EXPECT_EQ(r.code, -SQLITE_MISMATCH) << r.message;
    }
}

TEST_F(AttackValues, BooleanColumnsTakeOnlyTrueAndFalse) {
    EXPECT_TRUE(WriteAndRead("b", host::Variant(true)).AsBoolean());
    EXPECT_FALSE(WriteAndRead("b", host::Variant(false)).AsBoolean());
    EXPECT_EQ(Scalar("select b from v").AsInt64(), 0);
    EXPECT_TRUE(WriteAndRead("b", host::Variant(int32_t{1})).AsBoolean());
    ExpectRefused("b", host::Variant("maybe"));
}

TEST_F(AttackValues, HostTextAroundTheStringLimitIsStoredWhole) {
    int64_t id = 10;
    for (size_t n : {size_t{0}, size_t{254}, size_t{255}, size_t{256}, size_t{70000}}) {
        std::string text(n, 'x');
        for (size_t i = 0; i < n; ++i)
            text[i] = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(
            Sql->Execute("insert into v (id, m) values (?, ?)", {host::Variant(id), host::Variant(text)}))
            << Session->LastError();
        EXPECT_EQ(Scalar("select m from v where id = " + std::to_string(id)).AsString(), text) << n;
        EXPECT_EQ(Scalar("select typeof(m) from v where id = " + std::to_string(id)).AsString(), "text") << n;
        ++id;
    }
}

TEST_F(AttackValues, EmptyByteArraysAreStoredAsEmptyBlobsNotNull) {
    host::Variant empty = host::VarArrayCreate(0, -1, host::varByte);
    ASSERT_TRUE(Sql->Execute("insert into v (id, bl) values (?, ?)", {host::Variant(int64_t{5}), empty}))
        << Session->LastError();
    EXPECT_EQ(Scalar("select typeof(bl) from v where id = 5").AsString(), "blob");
    EXPECT_EQ(Scalar("select length(bl) from v where id = 5").AsInt64(), 0);
}

TEST_F(AttackValues, DatesAtDayZeroAndAtTheFarYearsRoundTrip) {
    struct Case {
        const char* column;
        host::TDateTime value;
        const char* stored;
    };
    const Case cases[] = {
        {"d", 0.0, "1899-12-30"},
        {"d", host::EncodeDate(1, 1, 1), "0001-01-01"},
        {"d", host::EncodeDate(9999, 12, 31), "9999-12-31"},
        {"d", host::EncodeDate(1600, 2, 29), "1600-02-29"},
        {"dt", host::EncodeDate(9999, 12, 31) + host::EncodeTime(23, 59, 59, 999), "9999-12-31 23:59:59.999"},
        {"dt", host::EncodeDate(2000, 1, 1) + host::EncodeTime(0, 0, 0, 1), "2000-01-01 00:00:00.001"},
        {"tm", host::EncodeTime(23, 59, 59, 999), "23:59:59.999"},
        {"tm", host::EncodeTime(0, 0, 0, 1), "00:00:00.001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        const host::Variant got = WriteAndRead(c.column, host::Variant::FromDate(c.value));
        EXPECT_DOUBLE_EQ(got.AsDouble(), c.value);
        EXPECT_EQ(Scalar(std::string("select ") + c.column + " from v where id = 1").AsString(), c.stored);
    }
}

// A date before 1899-12-30 with a time of day: TDateTime counts the days
// backwards and the time forwards (-1.25 is 1899-12-29 06:00).
TEST_F(AttackValues, DateTimesBeforeDayZeroKeepTheirTimeOfDay) {
    const host::TDateTime value = -1.25;
    WriteAndRead("dt", host::Variant::FromDate(value));
    EXPECT_EQ(Scalar("select dt from v where id = 1").AsString(), "1899-12-29 06:00:00");
    const host::Variant got = WriteAndRead("dt", host::Variant::FromDate(value));
    EXPECT_DOUBLE_EQ(got.AsDouble(), value);
}

TEST_F(AttackValues, DatesThatNoTextFormHoldsAreRefused) {
    ExpectRefused("d", host::Variant::FromDate(host::EncodeDate(9999, 12, 31) + 1.0));
    ExpectRefused("d", host::Variant::FromDate(host::EncodeDate(1, 1, 1) - 1.0));
    ExpectRefused("dt", host::Variant::FromDate(std::nan("")));
    ExpectRefused("tm", host::Variant::FromDate(1.5)); // a date in a time column
}

// ---- Texts that are not one query ---------------------------------------------------

// A read-only cursor reads: a text that changes data (also one that returns
// rows, as DELETE ... RETURNING does) is refused before it changes anything,
// and so is a second statement behind a query; Describe opens nothing.
TEST_F(AttackCore, AReadOnlyOpenOrADescribeNeverChangesData) {
    for (const char* text :
         {"insert into people (id, name, age) values (4, 'dan', 5)", "delete from people where id = 2",
          "update people set age = 0", "select id from people; delete from people where id = 3"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Try(Session.get(), [&] { return Sql->OpenRead(text); }).ok);
        EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
        Try(Session.get(), [&] { return Sql->Describe(text); });
        EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
        EXPECT_EQ(Scalar("select sum(age) from people", Other.get()).AsInt64(), 120);
        Sql->Unprepare();
    }
}

// A cursor opened for reading runs no change, even one that returns rows.
TEST_F(AttackCore, AReadOnlyOpenRefusesAChangeThatReturnsRows) {
    for (const char* text : {"delete from people where id = 3 returning id",
                             "update people set age = 0 where id = 3 returning age",
                             "insert into people (id, name, age) values (4, 'dan', 5) returning id"}) {
        SCOPED_TRACE(text);
        Outcome r = Try(Session.get(), [&] { return Sql->OpenRead(text); });
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
        EXPECT_EQ(Scalar("select sum(age) from people", Other.get()).AsInt64(), 120);
        Sql->Unprepare();
        Run("insert or replace into people values (3, 'bob', 40)");
        Run("delete from people where id = 4");
    }
}

// Whatever a cursor changes inside a user transaction belongs to it: the
// rollback undoes it.
TEST_F(AttackCore, AChangeRunThroughACursorInsideAUserTransactionIsUndoneByRollback) {
    Session->StartTransaction();
    Outcome r =
        Try(Session.get(), [&] { return Sql->OpenWrite("delete from people where id = 3 returning id"); });
    Sql->Close();
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,") << "seen by another connection before the commit";
    Session->Rollback();
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,") << "open " << (r.ok ? "succeeded" : r.message);
}

TEST_F(AttackCore, EmptyAndCommentOnlyTextsAreRefusedWithAMessage) {
    for (const char* text : {"", " ", "\n\t", "-- nothing here", "/* nor here */", ";"}) {
        SCOPED_TRACE(std::string("\"") + text + "\"");
        Outcome open = Try(Session.get(), [&] { return Sql->OpenRead(text); });
        EXPECT_FALSE(open.ok);
        EXPECT_FALSE(open.message.empty());
        EXPECT_FALSE(Sql->CursorOpen());
        Outcome exec = Try(Session.get(), [&] { return Sql->Execute(text); });
        EXPECT_FALSE(exec.ok && Sql->RowsProcessed() != 0);
        Outcome prep = Try(Session.get(), [&] { return Sql->Describe(text); });
        EXPECT_FALSE(prep.ok);
    }
    ASSERT_TRUE(Sql->OpenRead("select id from people")) << Session->LastError();
}

// ---- A row that cannot be read stays in the way ----------------------------------------

class AttackBadRow : public AttackCore, public ::testing::WithParamInterface<bool> {};

// Fetching again after a failed fetch fails again on the same row: the bad
// row is never skipped as if it did not exist.
TEST_P(AttackBadRow, FetchingAgainAfterAFailedFetchDoesNotSkipTheBadRow) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'a'), (2, 'long!'), (3, 'c')");
    Sql->SetUniDirectional(GetParam());
    ASSERT_TRUE(Sql->OpenRead("select id, s from narrow order by id")) << Session->LastError();
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        const bool fetched = Sql->FetchNext();
        EXPECT_FALSE(fetched);
        if (fetched) {
            ADD_FAILURE() << "skipped to row " << Sql->GetFieldValue(Id("id")).AsInt64();
            break;
        }
        EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISMATCH);
        EXPECT_EQ(Sql->RecNo(), 0);
        EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 1);
        EXPECT_FALSE(Sql->Eof());
    }
}

// The row count of a cursor is the number of rows the query returns, also
// when one of them cannot be read.
TEST_P(AttackBadRow, RecordCountIsNotCutShortByARowThatCannotBeRead) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'a'), (2, 'long!'), (3, 'c')");
    Sql->SetUniDirectional(GetParam());
    ASSERT_TRUE(Sql->OpenRead("select id, s from narrow order by id")) << Session->LastError();
    EXPECT_FALSE(Sql->FetchNext());
    int32_t count = -1;
    try {
        count = Sql->RecordCount();
    } catch (const ELumraException& e) {
        EXPECT_LT(e.ErrorCode(), 0) << e.Message();
        return;
    }
    EXPECT_EQ(count, 3);
}

INSTANTIATE_TEST_SUITE_P(Directions, AttackBadRow, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Forward" : "Scrollable"; });

// FetchCurrent re-reads the row: edits of the row buffer that were not
// written are gone and the row is no longer dirty.
TEST_F(AttackCore, FetchCurrentDiscardsUnwrittenEdits) {
    Sql->SetUniDirectional(false);
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    ASSERT_TRUE(Sql->FetchNext());
    const CursorState fetched = CursorState::Of(*Sql);
    Sql->SetFieldValue(Id("name"), host::Variant("zed"));
    Sql->SetFieldValue(Id("age"), host::Variant::Null());
    EXPECT_TRUE(Sql->IsDirty());
    ASSERT_TRUE(Sql->FetchCurrent()) << Session->LastError();
    EXPECT_EQ(CursorState::Of(*Sql), fetched);
    EXPECT_FALSE(Sql->IsDirty());
    EXPECT_EQ(Sql->GetFieldValue(Id("name")).AsString(), "ann");
}

// ---- Field identifiers past the ends -----------------------------------------------

TEST_F(AttackCore, ColumnNumbersPastEitherEndAreNotFoundErrors) {
    ASSERT_TRUE(Sql->OpenRead("select id, name from people order by id"));
    for (int32_t n : {int32_t{-1}, int32_t{2}, std::numeric_limits<int32_t>::max(),
                      std::numeric_limits<int32_t>::min()}) {
        SCOPED_TRACE(n);
        const host::Variant id(n);
        EXPECT_EQ(Sql->GetField(id), nullptr);
        EXPECT_EQ(Sql->GetFieldType(id), ntUnknown);
        EXPECT_EQ(Sql->GetFieldSize(id), 0);
        EXPECT_EQ(Sql->GetFieldName(n), "");
        for (const std::function<void()>& call : std::vector<std::function<void()>>{
                 [&] { Sql->GetFieldValue(id); }, [&] { Sql->GetOldValue(id); },
                 [&] { Sql->IsFieldNull(id); }, [&] { Sql->IsFieldDirty(id); }}) {
            try {
                call();
                ADD_FAILURE() << "no error";
            } catch (const ELumraException& e) {
                EXPECT_EQ(e.ErrorCode(), 0);
                EXPECT_NE(e.Message().find("\"" + std::to_string(n) + "\""), std::string::npos)
                    << e.Message();
            }
        }
    }
    try {
        Sql->GetOutVar(host::Variant(int32_t{3}));
        ADD_FAILURE() << "an output variable that does not exist was read";
    } catch (const ELumraException& e) {
        EXPECT_NE(e.Message().find("\"3\""), std::string::npos) << e.Message();
        EXPECT_EQ(e.ErrorCode(), 0);
    }
}

// ---- Host variables that change shape between executions ---------------------------

TEST_F(AttackValues, HostVariablesChangingTypeAndSizeBetweenExecutionsAreStoredAsGiven) {
    const std::string longText(300, 'L');
    const std::vector<host::Variant> values = {host::Variant("short"),        host::Variant(longText),
                                               host::Variant("again"),        host::Variant::Null(),
                                               host::Variant(int32_t{-7}),    host::Variant(int64_t{1} << 40),
                                               host::Variant(int32_t{7}),     host::Variant(2.5),
                                               host::Variant(true),           host::Variant(""),
                                               host::Variant(longText + "x"), host::Variant::Null(),
                                               host::Variant("last")};
    int64_t id = 100;
    for (const host::Variant& v : values) {
        ASSERT_TRUE(Sql->Execute("insert into v (id, m) values (?, ?)", {host::Variant(id), v}))
            << Session->LastError();
        ++id;
    }
    id = 100;
    for (const host::Variant& v : values) {
        SCOPED_TRACE(id);
        const host::Variant got = Scalar("select m from v where id = " + std::to_string(id));
        if (v.IsNull()) {
            EXPECT_TRUE(Scalar("select m is null from v where id = " + std::to_string(id)).AsInt64() == 1);
        } else if (v.VarType() == host::varBoolean) {
            EXPECT_EQ(Scalar("select m from v where id = " + std::to_string(id)).AsString(), "1");
        } else {
            EXPECT_EQ(got.AsString(), v.AsString());
        }
        ++id;
    }
}

// The same for a prepared cursor reopened with values of changing shape.
TEST_F(AttackValues, ACursorReopenedWithValuesOfAnotherShapeFindsTheirRows) {
    Run("insert into v (id, s, m) values (2, 'abc', 'abc'), (3, 'x', '" + std::string(300, 'L') + "')");
    const std::string text = "select id from v where m = ?";
    ASSERT_TRUE(Sql->OpenRead(text, {host::Variant("abc")})) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
    ASSERT_TRUE(Sql->OpenRead(text, {host::Variant(std::string(300, 'L'))})) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 3);
    ASSERT_TRUE(Sql->OpenRead(text, {host::Variant("abc")})) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
    EXPECT_FALSE(Sql->OpenRead(text, {host::Variant("ab")}));
    EXPECT_GE(Session->LastErrorCode(), 0);
    ASSERT_TRUE(Sql->OpenReadPrepared({host::Variant("abc")})) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 2);
}

// A Currency host variable keeps its four decimals exactly, or is refused.
TEST_F(AttackValues, CurrencyHostVariablesAreStoredWithoutRounding) {
    int64_t id = 10;
    for (int64_t scaled : {int64_t{1}, int64_t{-5}, int64_t{123456789}, int64_t{9007199254740993},
                           std::numeric_limits<int64_t>::max()}) {
        const host::Currency c = host::Currency::FromScaled(scaled);
        SCOPED_TRACE(c.ToString());
        Outcome r = Try(Session.get(), [&] {
            return Sql->Execute("insert into v (id, m) values (?, ?)", {host::Variant(id), host::Variant(c)});
        });
        if (!r.ok) {
            EXPECT_EQ(r.code, -SQLITE_MISMATCH) << r.message; // refused rather than rounded
            ++id;
            continue;
        }
        const host::Variant got = Scalar("select m from v where id = " + std::to_string(id));
        host::Currency back;
        EXPECT_NO_THROW(back = got.AsCurrency()) << "stored as " << got.AsString();
        EXPECT_EQ(back, c) << "stored as " << got.AsString();
        ++id;
    }
}

// The same rule for an amount written into a REAL column: fifteen significant
// digits come back exactly, more are refused.
TEST_F(AttackValues, CurrencyWrittenToARealColumnKeepsFifteenDigitsAndRefusesMore) {
    for (int64_t scaled : {int64_t{-5}, int64_t{999999999999999}, int64_t{-922337203685477}}) {
        const host::Currency c = host::Currency::FromScaled(scaled);
        EXPECT_EQ(WriteAndRead("r", host::Variant(c)).AsCurrency(), c) << c.ToString();
    }
    ExpectRefused("r", host::Variant(host::Currency::FromScaled(9007199254740993)));
    ExpectRefused("r", host::Variant(host::Currency::FromScaled(std::numeric_limits<int64_t>::min())));
}

// ---- Old values of blob columns -------------------------------------------------------

TEST_F(AttackValues, OldValueAndDirtyStateOfABlobFollowTheRowAsFetched) {
    Run("update v set bl = x'010203', m = 'before' where id = 1");
    Run("insert into v (id, bl, m) values (2, x'09', 'second')");
    ASSERT_TRUE(Sql->OpenWrite("select id, bl from v order by id")) << Session->LastError();
    auto bytesOf = [](host::Variant v) {
        if (!v.IsArray()) return std::string("<not bytes: ") + v.AsString() + ">";
        const int32_t n = host::VarArrayHighBound(v) - host::VarArrayLowBound(v) + 1;
        std::string out(static_cast<const char*>(host::VarArrayLock(v)), static_cast<size_t>(n));
        host::VarArrayUnlock(v);
        return out;
    };
    host::Variant fresh = host::VarArrayCreate(0, 1, host::varByte);
    std::memcpy(host::VarArrayLock(fresh), "\xAA\xBB", 2);
    host::VarArrayUnlock(fresh);
    EXPECT_FALSE(Sql->IsFieldDirty(Id("bl")));
    Sql->SetFieldValue(Id("bl"), fresh);
    EXPECT_TRUE(Sql->IsFieldDirty(Id("bl")));
    EXPECT_EQ(bytesOf(Sql->GetFieldValue(Id("bl"))), "\xAA\xBB");
    EXPECT_EQ(bytesOf(Sql->GetOldValue(Id("bl"))), "\x01\x02\x03");
    ASSERT_TRUE(Sql->FetchNext()) << Session->LastError();
    EXPECT_FALSE(Sql->IsFieldDirty(Id("bl"))) << "the edit of the previous row follows the cursor";
    EXPECT_EQ(bytesOf(Sql->GetFieldValue(Id("bl"))), "\x09");
    EXPECT_EQ(Scalar("select hex(bl) from v where id = 1").AsString(), "010203");
}

// ---- Files that are not databases, folders that do not exist -----------------------

TEST_F(AttackCore, AFileThatIsNotADatabaseIsReportedWithTheEngineCode) {
    const std::string junk = (Folder / "junk.db").string();
    {
        FILE* f = std::fopen(junk.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string bytes(4096, 'J');
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    auto session = std::make_unique<TSqliteSession>();
    session->SetDatabaseName(junk);
    Outcome r;
    try {
        session->Open();
        auto sql = NewStatement(session.get());
        r = Try(session.get(), [&] { return sql->OpenRead("select 1"); });
        if (r.ok) r = Try(session.get(), [&] { return sql->Execute("create table t (x)"); });
    } catch (const ELumraException& e) {
        r.code = e.ErrorCode();
        r.message = e.Message();
    }
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, -SQLITE_NOTADB) << r.message;
    EXPECT_NE(r.message.find("not a database"), std::string::npos) << r.message;
}

TEST_F(AttackCore, AFolderThatDoesNotExistFailsTheOpenAndTheSessionStaysUsable) {
    auto session = std::make_unique<TSqliteSession>();
    session->SetDatabaseName((Folder / "missing" / "x.db").string());
    session->SetCreateIfMissing(true);
    int before = 0, after = 0;
    session->SetBeforeConnect([&](host::TObject*) { ++before; });
    session->SetAfterConnect([&](host::TObject*) { ++after; });
    try {
        session->Open();
        ADD_FAILURE() << "opened a file in a folder that does not exist";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.ErrorCode(), -SQLITE_CANTOPEN) << e.Message();
        EXPECT_FALSE(e.Message().empty());
    }
    EXPECT_FALSE(session->Connected());
    EXPECT_TRUE(session->LibraryLoaded());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    session->SetDatabaseName(File);
    session->Open();
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(after, 1);
    EXPECT_EQ(Count("people", session.get()), 3);
}

// A connect event that raises stops the open: no connection is left behind.
TEST_F(AttackCore, ABeforeConnectHandlerThatRaisesLeavesTheSessionDisconnected) {
    auto session = std::make_unique<TSqliteSession>();
    session->SetDatabaseName(File);
    session->SetBeforeConnect([](host::TObject*) { throw ELumraException("not now", 0, 0); });
    EXPECT_THROW(session->Open(), ELumraException);
    EXPECT_FALSE(session->Connected());
    session->SetBeforeConnect(nullptr);
    session->Open();
    EXPECT_EQ(Count("people", session.get()), 3);
}

// A session destroyed inside a user transaction with pending work leaves
// the file as it was before the transaction.
TEST_F(AttackCore, DestroyingASessionInsideAUserTransactionCommitsNothing) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"));
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people where id = 2"));
    Sql->SetFieldValue(Id("name"), host::Variant("anna"));
    ASSERT_TRUE(Sql->UpdateRow()) << Session->LastError();
    Sql.reset();
    Session.reset();
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
}

// Attaching another session's connection handle and detaching it again
// leaves that connection open for its owner.
TEST_F(AttackCore, AnAttachedHandleIsDetachedOnCloseAndStaysOpenForItsOwner) {
    auto guest = std::make_unique<TSqliteSession>();
    guest->SetHandle(Session->Handle());
    EXPECT_TRUE(guest->Connected());
    EXPECT_TRUE(guest->ExternalHandle());
    EXPECT_EQ(Count("people", guest.get()), 3);
    guest->Close();
    EXPECT_FALSE(guest->Connected());
    EXPECT_FALSE(guest->ExternalHandle());
    EXPECT_TRUE(Session->Connected());
    EXPECT_EQ(Count("people"), 3);
    guest->SetHandle(Session->Handle());
    guest.reset();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);
}

// ---- Row operations without a row --------------------------------------------------

// Every row operation on a statement with no open cursor, never opened or
// closed again, fails cleanly: false or an error, never a crash.
TEST_F(AttackCore, RowOperationsWithoutAnOpenCursorFailCleanly) {
    auto tryAll = [&](const char* when) {
        SCOPED_TRACE(when);
        for (auto op : {&TLumraSQL::FetchNext, &TLumraSQL::FetchPrior, &TLumraSQL::FetchCurrent,
                        &TLumraSQL::UpdateRow, &TLumraSQL::InsertRow, &TLumraSQL::DeleteRow}) {
            Outcome r = Try(Session.get(), [&] { return (Sql.get()->*op)(); });
            EXPECT_FALSE(r.ok);
        }
        EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
    };
    tryAll("never opened");
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id"));
    Sql->Close();
    tryAll("closed");
    ASSERT_TRUE(Sql->Describe("select id, name, age from people order by id"));
    tryAll("described");
}

// Field access on a cursor that is described but not open has no row to
// read or write: whatever it answers, it neither crashes nor writes.
TEST_F(AttackCore, FieldAccessOnADescribedCursorNeitherCrashesNorWrites) {
    ASSERT_TRUE(Sql->Describe("select id, name, age from people order by id"));
    ASSERT_EQ(Sql->GetFieldCount(), 3);
    for (int32_t c = 0; c < 3; ++c) {
        const host::Variant id(c);
        try {
            Sql->GetFieldValue(id);
            Sql->IsFieldNull(id);
            Sql->GetOldValue(id);
        } catch (const ELumraException&) {
        }
    }
    try {
        Sql->SetFieldValue(Id("name"), host::Variant("x"));
    } catch (const ELumraException&) {
    }
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,");
}

TEST_F(AttackCore, AColumnThatIsNotABlobHasNoBlobStream) {
    ASSERT_TRUE(Sql->OpenRead("select id, name from people"));
    try {
        Sql->BlobManager()->BlobByName("name");
        ADD_FAILURE() << "a text column has a blob stream";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.Message(), "Field \"name\" is not a blob");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
}

// ---- Destruction while the session closes its statements ---------------------------

// A close handler may destroy another statement of the same session while
// the session is closing its statements.
TEST_F(AttackCore, AStatementDestroyedByAnotherOnesCloseHandlerDuringSessionCloseIsSkippedSafely) {
    auto first = NewStatement(Session.get());
    auto second = NewStatement(Session.get());
    auto third = NewStatement(Session.get());
    ASSERT_TRUE(first->OpenRead("select id from people"));
    ASSERT_TRUE(second->OpenRead("select id from people"));
    ASSERT_TRUE(third->OpenRead("select id from people"));
    int thirdClosed = 0;
    third->SetOnAfterClose([&](host::TObject*) { ++thirdClosed; });
    first->SetOnAfterClose([&](host::TObject*) { second.reset(); });
    Session->Close();
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(first->CursorOpen());
    EXPECT_FALSE(third->CursorOpen());
    EXPECT_EQ(thirdClosed, 1);
    for (TLumraSQL* q : Session->Queries())
        EXPECT_NE(q, nullptr);
    Session->Open();
    ASSERT_TRUE(third->OpenRead("select id from people order by id")) << Session->LastError();
    EXPECT_EQ(third->GetFieldValue(Id("id")).AsInt64(), 1);
}

// A close handler may also unlink its own statement from the session while
// the session is closing its statements.
TEST_F(AttackCore, AStatementLeavingItsSessionFromItsCloseHandlerDuringSessionCloseIsSafe) {
    auto first = NewStatement(Session.get());
    auto second = NewStatement(Session.get());
    ASSERT_TRUE(first->OpenRead("select id from people"));
    ASSERT_TRUE(second->OpenRead("select id from people"));
    first->SetOnAfterClose([&](host::TObject*) { first->SetSession(Other.get()); });
    Session->Close();
    EXPECT_FALSE(second->CursorOpen());
    EXPECT_EQ(first->GetSessionObject(), Other.get());
    ASSERT_TRUE(first->OpenRead("select id from people order by id")) << Other->LastError();
    EXPECT_EQ(first->GetFieldValue(Id("id")).AsInt64(), 1);
}

// ---- Row counts after failures -------------------------------------------------------

// A failed execution changed no rows: its count is not the previous one's.
TEST_F(AttackCore, AFailedExecuteReportsNoRowsProcessed) {
    ASSERT_TRUE(Sql->Execute("update people set age = age + 1")) << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 3);
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->Execute("update people set name = 'ann'"); }).ok);
    EXPECT_EQ(Sql->RowsProcessed(), 0);
    ASSERT_TRUE(Sql->PrepareExecute("update people set age = ? where id = 2")) << Session->LastError();
    ASSERT_TRUE(Sql->ExecutePrepared({host::Variant(int32_t{5})})) << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->ExecutePrepared({host::Variant(int32_t{-5})}); }).ok);
    EXPECT_EQ(Sql->RowsProcessed(), 0);
    ASSERT_TRUE(Sql->Execute("update people set age = 1 where id = 99")) << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 0);
}

// ---- Transaction control written as SQL ---------------------------------------------

// Transaction control run as a statement's SQL must not take the user
// transaction apart behind the session's back: either it is refused and the
// transaction stays whole, or the session follows it and nothing reports
// success for work that did not happen.
class AttackControlText : public AttackCore, public ::testing::WithParamInterface<const char*> {};

TEST_P(AttackControlText, InsideAUserTransactionTheTransactionStaysWholeOrFailsLoudly) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    Outcome control = Try(Session.get(), [&] { return Sql->Execute(GetParam()); });
    Outcome second = Try(Session.get(), [&] {
        return Sql->Execute("insert into people (id, name, age) values (5, 'eve', 5)");
    });
    bool committed = false;
    try {
        if (Session->InTransaction()) Session->Rollback();
        committed = true;
    } catch (const ELumraException&) {
    }
    EXPECT_TRUE(committed);
    // The user rolled back: nothing of the transaction may be left in the file.
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,")
        << GetParam() << " ran " << (control.ok ? "ok" : control.message) << ", the second insert "
        << (second.ok ? "ok" : second.message);
}

INSTANTIATE_TEST_SUITE_P(Texts, AttackControlText, ::testing::Values("rollback", "begin"),
                         [](const auto& info) { return std::string(info.param); });
INSTANTIATE_TEST_SUITE_P(CommitTexts, AttackControlText, ::testing::Values("commit", "end"),
                         [](const auto& info) { return std::string(info.param); });

// With AutoCommit on and no user transaction, an application's own BEGIN
// holds its changes until its own COMMIT, as the engine does: the driver's
// automatic commit is for changes it opened a transaction for, and none of
// the held changes is seen elsewhere before that COMMIT. The session's
// Rollback ends such a transaction too: the connection has one engine
// transaction, and Rollback undoes whatever of it is not committed.
TEST_F(AttackCore, AnApplicationsOwnBeginHoldsItsChangesUntilItsOwnCommit) {
    ASSERT_TRUE(Sql->Execute("begin")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 3) << "seen before the application's own commit";
    ASSERT_TRUE(Sql->Execute("commit")) << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);

    ASSERT_TRUE(Sql->Execute("begin")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (5, 'eve', 5)"))
        << Session->LastError();
    Session->Rollback();
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,dan,");
    // Afterwards each change commits as it runs again.
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (6, 'fay', 6)"))
        << Session->LastError();
    EXPECT_EQ(Names(Other.get()), "root,ann,bob,dan,fay,");
}

// ---- The base blob stream at odd positions ------------------------------------------

namespace {
// The base stream leaves Read to the driver; this one has nothing stored.
class TBareBlobStream : public TLumraBlobStream {
public:
    TBareBlobStream() : TLumraBlobStream(nullptr, "b") {}
    int32_t Read(void*, int32_t) override { return 0; }
};
} // namespace

TEST(AttackBlobStream, WritesAtOddPositionsStayInsideTheBuffer) {
    TBareBlobStream s;
    EXPECT_EQ(s.Seek(100, host::soFromBeginning), 100);
    EXPECT_EQ(s.Write("abcde", 5), 5);
    EXPECT_GE(s.GetBlobSize(), 5);
    s.Clear();
    EXPECT_EQ(s.Seek(-10, host::soFromBeginning), -10);
    EXPECT_EQ(s.Write("abcde", 5), 0);
    EXPECT_EQ(s.Write("abcde", -1), 0);
    s.Truncate();
    EXPECT_EQ(s.GetBlobSize(), 0);
    EXPECT_EQ(s.Seek(0, host::soFromEnd), 0);
    EXPECT_THROW(s.Seek(int64_t{1} << 40, host::soFromBeginning), host::EStreamError);
    EXPECT_EQ(s.Write("xy", 2), 2);
    EXPECT_EQ(s.GetBlobSize(), 2);
}

// ---- Rows changed behind the cursor's back ------------------------------------------

// A row another connection deleted after it was fetched cannot be updated:
// the update fails with a message instead of reporting success for a write
// that changed nothing.
TEST_F(AttackCore, UpdatingARowDeletedByAnotherConnectionFailsInsteadOfReportingSuccess) {
    // In WAL mode the other connection may write while this cursor reads.
    Run("pragma journal_mode = wal");
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    ASSERT_TRUE(Sql->FetchNext());
    ASSERT_EQ(Other->Execute("delete from people where id = 2"), 0) << Other->LastError();
    Sql->SetFieldValue(Id("name"), host::Variant("ghost"));
    Outcome r = Try(Session.get(), [&] { return Sql->UpdateRow(); });
    EXPECT_FALSE(r.ok) << "an update of a row that no longer exists reported success";
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(Names(Other.get()), "root,bob,");
}

TEST_F(AttackCore, DeletingARowDeletedByAnotherConnectionFailsInsteadOfReportingSuccess) {
    // In WAL mode the other connection may write while this cursor reads.
    Run("pragma journal_mode = wal");
    ASSERT_TRUE(Sql->OpenWrite("select id, name, age from people order by id")) << Session->LastError();
    ASSERT_TRUE(Sql->FetchNext());
    ASSERT_EQ(Other->Execute("delete from people where id = 2"), 0) << Other->LastError();
    Outcome r = Try(Session.get(), [&] { return Sql->DeleteRow(); });
    EXPECT_FALSE(r.ok) << "a delete of a row that no longer exists reported success";
    EXPECT_EQ(Names(Other.get()), "root,bob,");
}

// ---- Failed binds and writes that keep their blob values -----------------------------

TEST_F(AttackValues, AFailedBindLeavesNothingBehindForTheNextExecutionOfTheSameShape) {
    const std::string insert = "insert into v (id, s, m) values (?, ?, ?)";
    ASSERT_TRUE(Sql->Execute(insert, {host::Variant(int64_t{2}), host::Variant("aa"), host::Variant("one")}))
        << Session->LastError();
    Outcome bad = Try(Session.get(), [&] {
        return Sql->Execute(
            insert, {host::Variant(int64_t{3}), host::Variant("bb"), host::Variant(std::string("t\0o", 3))});
    });
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.message.find("zero byte"), std::string::npos) << bad.message;
    ASSERT_TRUE(
        Sql->ExecutePrepared({host::Variant(int64_t{4}), host::Variant("cc"), host::Variant("three")}))
        << Session->LastError();
    EXPECT_EQ(Scalar("select group_concat(id || ':' || s || ':' || m, ',') from v where id > 1 order by id")
                  .AsString(),
              "2:aa:one,4:cc:three");
    const std::string query = "select id from v where s = ? and m = ?";
    ASSERT_TRUE(Sql->OpenRead(query, {host::Variant("aa"), host::Variant("one")})) << Session->LastError();
    EXPECT_FALSE(
        Try(Session.get(), [&] {
            return Sql->OpenRead(query, {host::Variant("cc"), host::Variant(std::string("t\0o", 3))});
        }).ok);
    EXPECT_FALSE(Sql->CursorOpen());
    ASSERT_TRUE(Sql->OpenReadPrepared({host::Variant("cc"), host::Variant("three")})) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(Id("id")).AsInt64(), 4);
}

TEST_F(AttackValues, AFailedInsertRowKeepsItsMemoAndBlobValuesForTheRetry) {
    Run("create table docs (id integer primary key, name varchar(8) unique, body text, data blob)");
    Run("insert into docs values (1, 'taken', 'x', x'00')");
    ASSERT_TRUE(Sql->OpenWrite("select id, name, body, data from docs")) << Session->LastError();
    Sql->Clear();
    host::Variant bytes = host::VarArrayCreate(0, 2, host::varByte);
    std::memcpy(host::VarArrayLock(bytes), "\x01\x00\x02", 3);
    host::VarArrayUnlock(bytes);
    const std::string body(50000, 'b');
    Sql->SetFieldValue(Id("name"), host::Variant("taken"));
    Sql->SetFieldValue(Id("body"), host::Variant(body));
    Sql->SetFieldValue(Id("data"), bytes);
    EXPECT_FALSE(Try(Session.get(), [&] { return Sql->InsertRow(); }).ok);
    EXPECT_EQ(Sql->GetFieldValue(Id("body")).AsString(), body);
    Sql->SetFieldValue(Id("name"), host::Variant("free"));
    ASSERT_TRUE(Sql->InsertRow()) << Session->LastError();
    EXPECT_EQ(Scalar("select body from docs where name = 'free'").AsString(), body);
    EXPECT_EQ(Scalar("select hex(data) from docs where name = 'free'").AsString(), "010002");
}

// Transaction calls on a session that is not connected fail cleanly or do
// nothing; they never crash.
TEST_F(AttackCore, CommitAndRollbackOnAClosedSessionFailCleanly) {
    Session->Close();
    for (const std::function<void()>& call :
         std::vector<std::function<void()>>{[&] { Session->Commit(); }, [&] { Session->Rollback(); }}) {
        try {
            call();
        } catch (const ELumraException& e) {
            EXPECT_FALSE(e.Message().empty());
        }
    }
    EXPECT_FALSE(Session->InTransaction());
    Session->Open();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 4);
}

// A user transaction started on a session that is not connected is either
// refused or really covers the work done once connected.
TEST_F(AttackCore, AUserTransactionStartedWhileDisconnectedIsRefusedOrCoversTheWork) {
    Session->Close();
    try {
        Session->StartTransaction();
    } catch (const ELumraException& e) {
        EXPECT_FALSE(e.Message().empty());
        EXPECT_FALSE(Session->InTransaction());
        return;
    }
    Session->Open();
    ASSERT_TRUE(Sql->Execute("insert into people (id, name, age) values (4, 'dan', 5)"))
        << Session->LastError();
    EXPECT_EQ(Count("people", Other.get()), 3) << "work of the user transaction was committed at once";
    Session->Rollback();
    EXPECT_EQ(Count("people", Other.get()), 3);
}

// ---- Host variables of the smaller and unsigned integer types ------------------------

// Every integer Variant binds as its exact value (or is refused): none is
// stored as NULL or wrapped.
TEST_F(AttackValues, HostVariablesOfEveryIntegerTypeBindTheirExactValue) {
    struct Case {
        host::Variant value;
        int64_t expected;
    };
    const std::vector<Case> cases = {
        {host::Variant(int16_t{-32768}), -32768},
        {host::Variant(uint8_t{200}), 200},
        {host::Variant(static_cast<int8_t>(-100)), -100},
        {host::Variant(static_cast<uint16_t>(65535)), 65535},
        {host::Variant(static_cast<uint32_t>(4000000000u)), 4000000000},
        {host::Variant(static_cast<uint64_t>(9223372036854775807ull)), std::numeric_limits<int64_t>::max()},
    };
    int64_t id = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(host::VarTypeAsText(c.value.VarType()) + " " + std::to_string(c.expected));
        Outcome r = Try(Session.get(), [&] {
            return Sql->Execute("insert into v (id, n) values (?, ?)", {host::Variant(id), c.value});
        });
        if (r.ok) {
            const host::Variant got = Scalar("select n from v where id = " + std::to_string(id));
            EXPECT_FALSE(got.IsNull()) << "stored as NULL";
            if (!got.IsNull()) {
                EXPECT_EQ(got.AsInt64(), c.expected);
            }
        } else {
            EXPECT_LT(r.code, 0) << r.message;
            EXPECT_FALSE(r.message.empty());
        }
        ++id;
    }
}
