// Faults injected through the driver's entry-point table: the N-th engine call
// (prepare, step, bind) of an open, a fetch, an execute and a commit fails,
// once or from then on, for N = 1, 2, ... until the operation completes. Every
// run must end in success or in an error carrying the injected engine code, a
// failed fetch must never look like the end of the rows, and the database
// file must stay sound.
#include <dlfcn.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "drivers/sqlite/SqliteLoader.h"
#include "sqlite_fixture.h"

namespace {

constexpr int InjectedCode = SQLITE_IOERR;

struct TFault {
    int Trigger = 0; // 0: off
    bool Sticky = false;
    int Calls = 0;
    bool Fired = false;
    // The failure also ends the connection's transaction, as the engine does
    // after some errors (a full disk, an I/O error while writing).
    bool EndsTransaction = false;
    bool Ended = false; // a transaction was ended
    bool Trip() {
        if (Trigger == 0) return false;
        ++Calls;
        if (Calls == Trigger || (Sticky && Calls > Trigger)) {
            Fired = true;
            return true;
        }
        return false;
    }
};

TFault GFault;
TSqliteApi GReal;
std::vector<std::string> GPrepared; // texts prepared while armed

// Rolls back the connection's transaction with the real entry points.
void EndTransactionOf(sqlite3* db) {
    if (db == nullptr || GReal.get_autocommit(db) != 0) return;
    sqlite3_stmt* stmt = nullptr;
    if (GReal.prepare_v2(db, "ROLLBACK", -1, &stmt, nullptr) == SQLITE_OK && GReal.step(stmt) == SQLITE_DONE)
        GFault.Ended = true;
    GReal.finalize(stmt);
}
sqlite3* ConnectionOf(sqlite3_stmt* stmt) {
    using TDbHandle = sqlite3* (*)(sqlite3_stmt*);
    const auto dbHandle =
        reinterpret_cast<TDbHandle>(dlsym(SqliteDriverLibraryHandle(), "sqlite3_db_handle"));
    return stmt != nullptr && dbHandle != nullptr ? dbHandle(stmt) : nullptr;
}
int Injected(sqlite3* db) {
    if (GFault.EndsTransaction) EndTransactionOf(db);
    return InjectedCode;
}

int FaultPrepare(sqlite3* db, const char* sql, int n, sqlite3_stmt** stmt, const char** tail) {
    if (GFault.Trigger != 0) GPrepared.emplace_back(sql, n < 0 ? std::strlen(sql) : static_cast<size_t>(n));
    if (GFault.Trip()) {
        *stmt = nullptr;
        return Injected(db);
    }
    return GReal.prepare_v2(db, sql, n, stmt, tail);
}
int FaultStep(sqlite3_stmt* stmt) {
    return GFault.Trip() ? Injected(ConnectionOf(stmt)) : GReal.step(stmt);
}
int FaultBindNull(sqlite3_stmt* s, int i) {
    return GFault.Trip() ? Injected(ConnectionOf(s)) : GReal.bind_null(s, i);
}
int FaultBindInt64(sqlite3_stmt* s, int i, sqlite3_int64 v) {
    return GFault.Trip() ? Injected(ConnectionOf(s)) : GReal.bind_int64(s, i, v);
}
int FaultBindDouble(sqlite3_stmt* s, int i, double v) {
    return GFault.Trip() ? Injected(ConnectionOf(s)) : GReal.bind_double(s, i, v);
}
int FaultBindText(sqlite3_stmt* s, int i, const char* t, sqlite3_uint64 n, void (*d)(void*),
                  unsigned char e) {
    return GFault.Trip() ? Injected(ConnectionOf(s)) : GReal.bind_text64(s, i, t, n, d, e);
}
int FaultBindBlob(sqlite3_stmt* s, int i, const void* b, sqlite3_uint64 n, void (*d)(void*)) {
    return GFault.Trip() ? Injected(ConnectionOf(s)) : GReal.bind_blob64(s, i, b, n, d);
}

} // namespace

class SqliteFaultsBase : public SqliteTest {
protected:
    virtual bool Sticky() const = 0;
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, name varchar(20), v real)");
        Run("insert into t (name, v) values ('a', 1.5), ('b', 2.5), ('c', 3.5)");
        Other = NewSession();
        TSqliteApi& api = SqliteApi();
        GReal = api;
        api.prepare_v2 = FaultPrepare;
        api.step = FaultStep;
        api.bind_null = FaultBindNull;
        api.bind_int64 = FaultBindInt64;
        api.bind_double = FaultBindDouble;
        api.bind_text64 = FaultBindText;
        api.bind_blob64 = FaultBindBlob;
    }
    void TearDown() override {
        GFault = TFault{};
        SqliteApi() = GReal;
        Other.reset();
        SqliteTest::TearDown();
    }
    void Arm(int n, bool endsTransaction = false) {
        GFault = TFault{n, Sticky(), 0, false, endsTransaction};
        GPrepared.clear();
    }
    void Disarm() { GFault.Trigger = 0; }

    // Runs `operation` with the N-th engine call failing, N = 1, 2, ...,
    // until a run passes with no fault fired. `operation` returns true on
    // success; `check` verifies the state after each run (faults off).
    void ForEveryCall(const std::function<bool()>& operation, const std::function<void(bool)>& check) {
        for (int n = 1; n < 200; ++n) {
            SCOPED_TRACE("fault at engine call " + std::to_string(n));
            Session->SetLastError("", 0);
            Arm(n);
            bool ok = false;
            try {
                ok = operation();
            } catch (const ELumraException& e) {
                EXPECT_EQ(e.ErrorCode(), -InjectedCode) << e.what();
            }
            const bool fired = GFault.Fired;
            Disarm();
            if (!ok) {
                EXPECT_TRUE(fired);
                EXPECT_EQ(Session->LastErrorCode(), -InjectedCode) << Session->LastError();
            }
            check(ok);
            EXPECT_EQ(Scalar("pragma integrity_check", Other.get()).AsString(), "ok");
            if (ok && !fired) return;
        }
        ADD_FAILURE() << "the operation never completed";
    }
    std::unique_ptr<TSqliteSession> Other;
};

class SqliteFaults : public SqliteFaultsBase, public ::testing::WithParamInterface<bool> {
protected:
    bool Sticky() const override { return GetParam(); }
};

TEST_P(SqliteFaults, OpeningACursorEndsInSuccessOrTheEngineError) {
    ForEveryCall(
        [&] {
            return Sql->OpenWrite("select id, name, v from t where v > ? order by id", {host::Variant(1.0)});
        },
        [&](bool ok) {
            if (ok) {
                EXPECT_EQ(Sql->RecordCount(), 3);
                EXPECT_EQ(Sql->GetFieldValue(host::Variant("name")).AsString(), "a");
            }
        });
}

TEST_P(SqliteFaults, AFailedFetchIsNeverTakenForTheEndOfTheRows) {
    Sql->SetUniDirectional(false);
    for (int n = 1; n < 20; ++n) {
        SCOPED_TRACE("fault at engine call " + std::to_string(n));
        Session->SetLastError("", 0);
        ASSERT_TRUE(Sql->Open("select name from t order by id", {}, true));
        Arm(n);
        int rows = 0;
        bool failed = false;
        while (Sql->FetchNext())
            ++rows;
        if (!Sql->Eof()) {
            failed = true;
            EXPECT_EQ(Session->LastErrorCode(), -InjectedCode);
        }
        const bool fired = GFault.Fired;
        Disarm();
        EXPECT_EQ(failed, fired);
        if (!failed) {
            EXPECT_EQ(rows, 3);
            EXPECT_EQ(Session->LastErrorCode(), 0);
            break;
        }
        EXPECT_EQ(rows, n - 1); // every row before the failed step was delivered
    }
}

TEST_P(SqliteFaults, AnExecuteEitherChangesTheTableOrLeavesItUnchanged) {
    int64_t expected = 3;
    ForEveryCall(
        [&] {
            return Sql->Execute("insert into t (name, v) values (?, ?)",
                                {host::Variant("x"), host::Variant(9.5)});
        },
        [&](bool ok) {
            if (!ok && Session->EngineTransactionOpen()) Session->Rollback(); // a rollback that failed too
            if (ok) ++expected;
            EXPECT_FALSE(Session->EngineTransactionOpen());
            EXPECT_EQ(Count("t", Other.get()), expected);
            EXPECT_EQ(Count("t"), expected);
        });
}

TEST_P(SqliteFaults, AFailedCommitKeepsTheWorkPendingUntilACommitSucceeds) {
    int64_t committed = 3;
    for (int n = 1; n < 20; ++n) {
        SCOPED_TRACE("fault at engine call " + std::to_string(n));
        Session->StartTransaction();
        ASSERT_TRUE(Sql->Execute("insert into t (name) values ('p')"));
        Arm(n);
        bool ok = true;
        try {
            Session->Commit();
        } catch (const ELumraException& e) {
            ok = false;
            EXPECT_EQ(e.ErrorCode(), -InjectedCode);
        }
        const bool fired = GFault.Fired;
        Disarm();
        EXPECT_EQ(ok, !fired);
        if (!ok) {
            EXPECT_TRUE(Session->EngineTransactionOpen());
            EXPECT_EQ(Count("t", Other.get()), committed);
            Session->Commit();
        }
        ++committed;
        EXPECT_EQ(Count("t", Other.get()), committed);
        EXPECT_EQ(Scalar("pragma integrity_check", Other.get()).AsString(), "ok");
        if (ok) break;
    }
}

INSTANTIATE_TEST_SUITE_P(OnceAndFromThenOn, SqliteFaults, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FromThenOn" : "Once"; });

TEST_P(SqliteFaults, OpeningCountsNothingAndRecordCountCountsOnceWithoutReadingTheRows) {
    Run("with recursive c(i) as (select 1 union all select i + 1 from c where i < 5000)"
        " insert into t (name, v) select 'n' || i, i from c");
    auto counted = [] {
        int n = 0;
        for (const std::string& text : GPrepared)
            n += text.find("count(*)") != std::string::npos ? 1 : 0;
        return n;
    };
    for (bool forward : {false, true}) {
        SCOPED_TRACE(forward ? "forward only" : "scrollable");
        Sql->SetUniDirectional(forward);
        Arm(1000000); // counts engine calls, never fails
        ASSERT_TRUE(Sql->OpenRead("select id, name from t order by v"));
        EXPECT_LT(GFault.Calls, 10); // a prepare, binds and one step
        EXPECT_EQ(counted(), 0);
        ASSERT_TRUE(Sql->FetchNext());
        const int beforeCount = GFault.Calls;
        EXPECT_EQ(Sql->RecordCount(), 5003);
        EXPECT_EQ(counted(), 1);
        EXPECT_LT(GFault.Calls - beforeCount, 10); // not a step per row
        const int afterCount = GFault.Calls;
        EXPECT_EQ(Sql->RecordCount(), 5003);
        EXPECT_EQ(GFault.Calls, afterCount); // asked again: answered from the first count
        // The cursor did not move for the count.
        EXPECT_EQ(Sql->RecNo(), 1);
        EXPECT_EQ(Sql->GetFieldValue(host::Variant("name")).AsString(), "a"); // v 1.5, after n1
        Disarm();
        ASSERT_TRUE(Sql->FetchNext());
        EXPECT_EQ(Sql->GetFieldValue(host::Variant("name")).AsString(), "n2");

        // Read to the end first: the count is the rows read, with no engine call.
        ASSERT_TRUE(Sql->OpenRead("select id, name from t order by v"));
        int rows = 1;
        while (Sql->FetchNext())
            ++rows;
        EXPECT_EQ(rows, 5003);
        Arm(1000000);
        EXPECT_EQ(Sql->RecordCount(), 5003);
        EXPECT_EQ(GFault.Calls, 0);
        Disarm();
    }
}

TEST_P(SqliteFaults, AFailingCountRaisesTheEngineErrorAndIsTriedAgainWhenAsked) {
    ASSERT_TRUE(Sql->OpenRead("select id, name from t where v > ? order by v", {host::Variant(2.0)}));
    Arm(1); // the count statement's prepare
    try {
        Sql->RecordCount();
        ADD_FAILURE() << "a failed count was answered as a number";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.ErrorCode(), -InjectedCode) << e.what();
    }
    Disarm();
    EXPECT_EQ(Sql->RecordCount(), 2);
    EXPECT_EQ(Sql->GetFieldValue(host::Variant("name")).AsString(), "b");
}

// A user transaction of several changes (executes, a read through a cursor,
// an update and an insert through it, a delete) and its Commit, with the N-th
// engine call failing, and in other runs failing and ending the engine's
// transaction as well. A careful application rolls back at the first error; a
// careless one carries on and commits. Read from a second connection
// afterwards, the file holds every change or, after an error, none; and a
// Commit that succeeds never leaves out a change that reported success.
class SqliteUserTransactionFaults : public SqliteFaultsBase,
                                    public ::testing::WithParamInterface<std::tuple<bool, bool, bool>> {
protected:
    bool Sticky() const override { return std::get<0>(GetParam()); }
    bool EndsTransaction() const { return std::get<1>(GetParam()); }
    bool Careless() const { return std::get<2>(GetParam()); }

    std::string Contents() {
        return Scalar("select group_concat(id || ':' || name || ':' || v, ',') from (select * from t order "
                      "by id)",
                      Other.get())
            .AsString();
    }
    void Restore() {
        Run("delete from t; insert into t values (1, 'a', 1.5), (2, 'b', 2.5), (3, 'c', 3.5)", Other.get());
    }
    // Each change, and a query on the second connection that gives 1 when it is in the file.
    struct TChange {
        std::function<bool()> Make;
        const char* Present;
    };
    std::vector<TChange> Changes() {
        return {
            {[&] {
                 return Sql->Execute("insert into t (name, v) values (?, ?)",
                                     {host::Variant("w"), host::Variant(9.5)});
             },
             "select count(*) from t where name = 'w'"},
            {[&] { return Sql->Execute("update t set v = v + 1 where name = ?", {host::Variant("a")}); },
             "select count(*) from t where name = 'a' and v = 2.5"},
            {[&] {
                 if (!Sql->OpenWrite("select id, name, v from t where id >= ? order by id",
                                     {host::Variant(int32_t{2})}))
                     return false;
                 Sql->SetFieldValue(host::Variant("name"), host::Variant("B"));
                 return Sql->UpdateRow();
             },
             "select count(*) from t where id = 2 and name = 'B'"},
            {[&] {
                 if (!Sql->CursorOpen()) return false;
                 Sql->Clear();
                 Sql->SetFieldValue(host::Variant("name"), host::Variant("n"));
                 Sql->SetFieldValue(host::Variant("v"), host::Variant(0.25));
                 const bool ok = Sql->InsertRow();
                 Sql->Close();
                 return ok;
             },
             "select count(*) from t where name = 'n'"},
            {[&] { return Sql->Execute("delete from t where name = ?", {host::Variant("c")}); },
             "select count(*) = 0 from t"
             " where name = 'c'"},
        };
    }
    // Runs the changes and the Commit; which changes reported success, and
    // whether the Commit did. An error stops a careful run.
    bool Work(std::vector<bool>& made, std::string& error) {
        made.clear();
        bool failed = false;
        try {
            Session->StartTransaction();
        } catch (const ELumraException& e) {
            error = e.what();
            return false;
        }
        for (const TChange& change : Changes()) {
            bool ok = false;
            if (!failed || Careless()) {
                try {
                    ok = change.Make();
                    if (!ok && error.empty()) error = Session->LastError();
                } catch (const ELumraException& e) {
                    if (error.empty()) error = e.what();
                }
            }
            made.push_back(ok);
            failed = failed || !ok;
        }
        if (failed && !Careless()) return false;
        try {
            Session->Commit();
            return true;
        } catch (const ELumraException& e) {
            error = e.what();
            return false;
        }
    }
};

TEST_P(SqliteUserTransactionFaults, EveryChangeIsCommittedOrAnErrorIsReportedAndNoneIsKept) {
    Restore();
    const std::string none = Contents();
    std::vector<bool> made;
    std::string error;
    ASSERT_TRUE(Work(made, error)) << error;
    const std::string all = Contents();
    ASSERT_NE(all, none);
    for (int n = 1; n < 300; ++n) {
        SCOPED_TRACE("fault at engine call " + std::to_string(n));
        Restore();
        Session->SetLastError("", 0);
        Arm(n, EndsTransaction());
        error.clear();
        const bool committed = Work(made, error);
        const bool fired = GFault.Fired;
        const bool ended = GFault.Ended;
        Disarm();
        Sql->Close();
        const bool everyChange = std::find(made.begin(), made.end(), false) == made.end();
        if (!committed) {
            EXPECT_TRUE(fired);
            EXPECT_FALSE(error.empty());
            EXPECT_LT(Session->LastErrorCode(), 0) << error;
            try {
                Session->Rollback();
            } catch (const ELumraException& e) {
                ADD_FAILURE() << "Rollback with faults off failed: " << e.what();
            }
            EXPECT_EQ(Contents(), none) << "an error was reported, yet changes were kept: " << error;
        } else if (everyChange) {
            EXPECT_EQ(Contents(), all) << "Commit reported success, yet changes are missing";
        } else {
            // Committed after a change failed on its own: the others are there, that one is not.
            EXPECT_TRUE(Careless());
            EXPECT_FALSE(ended) << "work the engine rolled back was committed: " << Contents();
            for (size_t i = 0; i < made.size(); ++i)
                EXPECT_EQ(Scalar(Changes()[i].Present, Other.get()).AsInt64(), made[i] ? 1 : 0)
                    << "change " << i + 1
                    << (made[i] ? " reported success but is missing" : " failed but is there");
        }
        EXPECT_FALSE(Session->InTransaction());
        EXPECT_EQ(Scalar("pragma integrity_check", Other.get()).AsString(), "ok");
        if (committed && !fired) return;
    }
    ADD_FAILURE() << "the work never completed";
}

INSTANTIATE_TEST_SUITE_P(EveryWay, SqliteUserTransactionFaults,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "FromThenOn" : "Once") +
                                    (std::get<1>(info.param) ? "EndingTheTransaction" : "") +
                                    (std::get<2>(info.param) ? "CarryingOn" : "RollingBack");
                         });

TEST_P(SqliteFaults, ACommitTheEngineRolledBackIsNeverReportedAsDoneWhenTriedAgain) {
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t (name) values ('p')"));
    Arm(2, true); // the COMMIT's step, after its prepare
    EXPECT_THROW(Session->Commit(), ELumraException);
    const bool ended = GFault.Ended;
    Disarm();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_THROW(Session->Commit(), ELumraException);
    EXPECT_TRUE(Session->UnitOfWorkLost());
    EXPECT_TRUE(Session->InTransaction());
    Session->Rollback();
    EXPECT_EQ(Count("t", Other.get()), 3);
}
