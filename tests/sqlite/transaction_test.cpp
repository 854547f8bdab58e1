// The session's units of work on the engine: work the engine rolled back by
// itself is never reported as committed, reads belong to the transaction
// that writes, and statements that cannot run inside a transaction run when
// none is active.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "drivers/sqlite/SqliteErrors.h"
#include "sqlite_fixture.h"

namespace {

// How the application keeps work pending: a user transaction, or AutoCommit off.
enum class TUnit { Transaction, NoAutoCommit };

void StartUnit(TSqliteSession& session, TUnit unit) {
    if (unit == TUnit::Transaction)
        session.StartTransaction();
    else
        session.SetAutoCommit(false);
}

// A way of making the engine end the transaction by itself.
struct TEngineRollback {
    const char* Name;
    const char* Setup; // run before the unit of work starts
    std::function<bool(TSqliteSQL&)> Fail;
};

const TEngineRollback EngineRollbacks[] = {
    {"InsertOrRollback", "",
     [](TSqliteSQL& sql) { return sql.Execute("insert or rollback into t values (1, 'again')"); }},
    {"TriggerRaise",
     "create trigger no_x before insert on t when new.v = 'x' begin select raise(rollback, 'no x'); end",
     [](TSqliteSQL& sql) {
         return sql.Execute("insert into t values (?, ?)", {host::Variant(int32_t{2}), host::Variant("x")});
     }},
    {"TriggerRaiseOnAnUpdateThroughTheCursor",
     "create trigger no_y before update on t when new.v = 'y' begin select raise(rollback, 'no y'); end",
     [](TSqliteSQL& sql) {
         if (!sql.OpenWrite("select id, v from t order by id")) return true;
         sql.SetFieldValue(host::Variant("v"), host::Variant("y"));
         return sql.UpdateRow();
     }},
    {"SessionScript", "",
     [](TSqliteSQL& sql) {
         return sql.SqliteSession()->Execute(
                    "insert into t values (5, 'e'); insert or rollback into t values (1, 'z')") == 0;
     }},
};

} // namespace

class SqliteEngineRollback : public SqliteTest,
                             public ::testing::WithParamInterface<std::tuple<TEngineRollback, TUnit>> {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, v text)");
        const char* setup = std::get<0>(GetParam()).Setup;
        if (*setup != '\0') Run(setup);
        Other = NewSession();
    }
    std::unique_ptr<TSqliteSession> Other;
};

TEST_P(SqliteEngineRollback, WorkTheEngineRolledBackIsNeverCommittedAndLaterChangesAreRefusedUntilRollback) {
    const auto& [how, unit] = GetParam();
    StartUnit(*Session, unit);
    ASSERT_TRUE(Sql->Execute("insert into t values (1, 'a')")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into t values (3, 'c')")) << Session->LastError();
    EXPECT_FALSE(how.Fail(*Sql));
    EXPECT_LT(Session->LastErrorCode(), 0);
    Sql->Close();
    EXPECT_TRUE(Session->UnitOfWorkLost());

    // Every later change fails, saying why.
    EXPECT_FALSE(Sql->Execute("insert into t values (4, 'd')"));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_ABORT_ROLLBACK);
    EXPECT_NE(Session->LastError().find("rolled the transaction back"), std::string::npos)
        << Session->LastError();
    try {
        Session->Commit();
        ADD_FAILURE() << "Commit reported success for work the engine had rolled back";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.ErrorCode(), -SQLITE_ABORT_ROLLBACK);
    }
    EXPECT_THROW(Session->Commit(), ELumraException) << "a second Commit must not succeed either";
    EXPECT_EQ(Count("t", Other.get()), 0);

    Session->Rollback();
    EXPECT_FALSE(Session->UnitOfWorkLost());
    EXPECT_EQ(Count("t", Other.get()), 0);
    EXPECT_EQ(Count("t"), 0);

    // The session goes on as new.
    if (unit == TUnit::Transaction) Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t values (7, 'g')")) << Session->LastError();
    Session->Commit();
    EXPECT_EQ(Count("t", Other.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(EveryWay, SqliteEngineRollback,
                         ::testing::Combine(::testing::ValuesIn(EngineRollbacks),
                                            ::testing::Values(TUnit::Transaction, TUnit::NoAutoCommit)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) +
                                    (std::get<1>(info.param) == TUnit::Transaction ? "InATransaction"
                                                                                   : "WithoutAutoCommit");
                         });

TEST_F(SqliteTest, AnEngineErrorThatUndoesOnlyItsStatementKeepsTheRestOfTheTransaction) {
    Run("create table t (id integer primary key, v text)");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t values (1, 'a')"));
    EXPECT_FALSE(Sql->Execute("insert into t values (1, 'duplicate')"));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_CONSTRAINT_PRIMARYKEY);
    EXPECT_FALSE(Session->UnitOfWorkLost());
    ASSERT_TRUE(Sql->Execute("insert into t values (2, 'b')"));
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 2);
}

TEST_F(SqliteTest, RowsChangedThroughACursorInsideATransactionAreUndoneByRollback) {
    Run("create table t (id integer primary key, v text)");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Open("insert into t (v) values ('r') returning id", {}, false)) << Session->LastError();
    EXPECT_EQ(Count("t", other.get()), 0);
    Sql->Close();
    Session->Rollback();
    EXPECT_EQ(Count("t", other.get()), 0);
    EXPECT_EQ(Count("t"), 0);
}

// Only Commit and Rollback end a user transaction: a COMMIT written as SQL
// would commit work a later Rollback could no longer undo, so it is refused
// and the transaction stays whole.
TEST_F(SqliteTest, AnApplicationsOwnCommitInsideATransactionIsRefused) {
    Run("create table t (id integer primary key)");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t values (1)"));
    EXPECT_EQ(Session->Execute("commit"), SqliteCodeMisuse);
    EXPECT_NE(Session->LastError().find("Commit or Rollback"), std::string::npos) << Session->LastError();
    EXPECT_TRUE(Session->InTransaction());
    EXPECT_FALSE(Session->UnitOfWorkLost());
    ASSERT_TRUE(Sql->Execute("insert into t values (2)"));
    EXPECT_EQ(Count("t", other.get()), 0);
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 2);
}

// Inside either kind of unit of work, SQL that would begin or end the engine
// transaction is refused through every way of running SQL, and the work so
// far stays in the unit; savepoints nest inside it and stay allowed.
class SqliteControlText : public SqliteTest,
                          public ::testing::WithParamInterface<std::tuple<const char*, TUnit>> {};

TEST_P(SqliteControlText, IsRefusedInsideAUnitOfWorkAndTheWorkStaysWhole) {
    const auto& [text, unit] = GetParam();
    Run("create table t (id integer primary key)");
    auto other = NewSession();
    StartUnit(*Session, unit);
    ASSERT_TRUE(Sql->Execute("insert into t values (1)")) << Session->LastError();
    EXPECT_FALSE(Sql->Execute(text));
    EXPECT_EQ(Session->LastErrorCode(), SqliteCodeMisuse);
    EXPECT_NE(Session->Execute(std::string("insert into t values (2); ") + text), 0);
    EXPECT_EQ(Session->LastErrorCode(), SqliteCodeMisuse);
    EXPECT_TRUE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("t", other.get()), 0);
    Session->Rollback();
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("t", other.get()), 0);
    // Outside a unit of work the engine's own rules apply again.
    Session->SetAutoCommit(true);
    ASSERT_TRUE(Sql->Execute("begin")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into t values (3)")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("commit")) << Session->LastError();
    EXPECT_EQ(Count("t", other.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(EachText, SqliteControlText,
                         ::testing::Combine(::testing::Values("commit", "END TRANSACTION", "begin immediate",
                                                              "rollback", "/* x */ ROLLBACK TRANSACTION"),
                                            ::testing::Values(TUnit::Transaction, TUnit::NoAutoCommit)),
                         [](const auto& info) {
                             std::string name;
                             for (const char c : std::string(std::get<0>(info.param)))
                                 if (std::isalpha(static_cast<unsigned char>(c))) name += c;
                             return name + (std::get<1>(info.param) == TUnit::Transaction
                                                ? "InATransaction"
                                                : "WithoutAutoCommit");
                         });

TEST_F(SqliteTest, SavepointsInsideAUserTransactionStayAllowed) {
    Run("create table t (id integer primary key)");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t values (1)")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("savepoint a")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("insert into t values (2)")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("rollback transaction to savepoint a")) << Session->LastError();
    ASSERT_TRUE(Sql->Execute("release a")) << Session->LastError();
    EXPECT_EQ(Count("t", other.get()), 0);
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 1);
}

// ---- Statements that cannot run inside a transaction --------------------------------

struct TFreeStatement {
    const char* Name;
    const char* Sql;
    const char* Check; // a query whose first value must be `Expected` afterwards
    const char* Expected;
};

const TFreeStatement FreeStatements[] = {
    {"Vacuum", "vacuum", "pragma integrity_check", "ok"},
    {"JournalModeWal", "pragma journal_mode = wal", "pragma journal_mode", "wal"},
    {"UserVersion", "pragma user_version = 7", "pragma user_version", "7"},
    {"Attach", "attach database 'AUX' as aux", "select count(*) from pragma_database_list where name = 'aux'",
     "1"},
};

class SqliteTransactionFree : public SqliteTest,
                              public ::testing::WithParamInterface<std::tuple<TFreeStatement, bool>> {};

TEST_P(SqliteTransactionFree, RunsThroughAStatementWhenNoTransactionIsActive) {
    const auto& [statement, autoCommit] = GetParam();
    Run("create table t (id integer primary key)");
    Session->SetAutoCommit(autoCommit);
    std::string text = statement.Sql;
    if (const size_t at = text.find("AUX"); at != std::string::npos)
        text.replace(at, 3, (Folder / "aux.db").string());
    ASSERT_TRUE(Sql->Execute(text)) << Session->LastError();
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Scalar(statement.Check).AsString(), statement.Expected);
    // The session's own work still runs in transactions afterwards.
    ASSERT_TRUE(Sql->Execute("insert into t default values")) << Session->LastError();
    Session->Commit();
    auto other = NewSession();
    EXPECT_EQ(Count("t", other.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(Each, SqliteTransactionFree,
                         ::testing::Combine(::testing::ValuesIn(FreeStatements), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) +
                                    (std::get<1>(info.param) ? "WithAutoCommit" : "WithoutAutoCommit");
                         });

TEST_F(SqliteTest, AJournalModeChangeThroughACursorRunsWhenNoTransactionIsActive) {
    ASSERT_TRUE(Sql->OpenRead("pragma journal_mode = wal")) << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{0})).AsString(), "wal");
}

TEST_F(SqliteTest, AVacuumInsideAUserTransactionIsRefusedByTheEngineAndTheTransactionGoesOn) {
    Run("create table t (id integer primary key)");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t values (1)"));
    EXPECT_FALSE(Sql->Execute("vacuum"));
    EXPECT_NE(Session->LastError().find("VACUUM"), std::string::npos) << Session->LastError();
    EXPECT_FALSE(Session->UnitOfWorkLost());
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 1);
}

// ---- Two sessions reading, writing and committing ----------------------------------

namespace {

// One session's part: read the balance, write it less 10, commit.
enum TStep : char { Read = 'r', Write = 'w', Commit = 'c' };

struct TOrder {
    std::string Steps; // "AB" letters: whose step comes next, three each
};

std::vector<TOrder> EveryOrder() {
    std::vector<TOrder> orders;
    std::string s = "AAABBB";
    do
        orders.push_back({s});
    while (std::next_permutation(s.begin(), s.end()));
    return orders; // 20 orders
}

} // namespace

class SqliteTwoWriters : public SqliteTest,
                         public ::testing::WithParamInterface<std::tuple<TOrder, const char*>> {};

TEST_P(SqliteTwoWriters, NoOrderOfReadWriteAndCommitLosesAnUpdateSilently) {
    const auto& [order, journal] = GetParam();
    ASSERT_EQ(Session->Execute(std::string("pragma journal_mode = ") + journal), 0);
    Run("create table acct (id integer primary key, balance integer)");
    Run("insert into acct values (1, 100)");
    struct TParty {
        std::unique_ptr<TSqliteSession> Session;
        std::unique_ptr<TSqliteSQL> Sql;
        int64_t Seen = 0;
        int Next = 0; // index into "rwc"
        bool Failed = false;
        bool Committed = false;
        std::string Error;
    };
    TParty parties[2];
    for (TParty& p : parties) {
        p.Session = std::make_unique<TSqliteSession>();
        p.Session->SetDatabaseName(File);
        p.Session->SetBusyTimeout(0);
        p.Session->Open();
        p.Sql = NewStatement(p.Session.get());
        p.Session->StartTransaction();
    }
    for (char who : order.Steps) {
        TParty& p = parties[who - 'A'];
        const char step = "rwc"[p.Next++];
        if (p.Failed) continue;
        bool ok = true;
        try {
            if (step == Read) {
                ok = p.Sql->OpenRead("select balance from acct where id = 1");
                if (ok) p.Seen = p.Sql->GetFieldValue(host::Variant("balance")).AsInt64();
                p.Sql->Close();
            } else if (step == Write) {
                ok = p.Sql->Execute("update acct set balance = ? where id = 1", {host::Variant(p.Seen - 10)});
            } else {
                p.Session->Commit();
                p.Committed = true;
            }
        } catch (const ELumraException&) {
            ok = false;
        }
        if (!ok) {
            // A refusal is a clear engine error, never a silent one.
            p.Failed = true;
            p.Error = p.Session->LastError();
            EXPECT_LT(p.Session->LastErrorCode(), 0) << who << " " << step;
            EXPECT_FALSE(p.Error.empty());
            p.Session->Rollback();
        }
    }
    const int committed = parties[0].Committed + parties[1].Committed;
    auto other = NewSession();
    EXPECT_EQ(Scalar("select balance from acct where id = 1", other.get()).AsInt64(), 100 - 10 * committed)
        << "order " << order.Steps << ": A " << (parties[0].Committed ? "committed" : parties[0].Error)
        << ", B " << (parties[1].Committed ? "committed" : parties[1].Error);
    EXPECT_GE(committed, 1) << "order " << order.Steps << ": one of the two always gets through";
    for (TParty& p : parties) {
        p.Sql.reset();
        p.Session.reset();
    }
}

// A's steps and B's in the order they run: "ArAwBrAcBwBc_wal".
std::string OrderName(const ::testing::TestParamInfo<std::tuple<TOrder, const char*>>& info) {
    std::string name;
    std::vector<int> next(2);
    for (char who : std::get<0>(info.param).Steps)
        name += std::string(1, who) + "rwc"[next[who - 'A']++];
    return name + "_" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, SqliteTwoWriters,
                         ::testing::Combine(::testing::ValuesIn(EveryOrder()),
                                            ::testing::Values("delete", "wal")),
                         OrderName);
