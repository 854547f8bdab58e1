// The SQLite session: loading the library once per driver, the catalogue's
// library messages, opening database files, and the transaction rules seen
// from a second connection.
#include <sqlite3.h>

#include "sqlite_fixture.h"

TEST(SqliteLibrary, TwoSessionsShareOneLoadAndTheLastOneUnloads) {
    char pattern[] = "/tmp/lmr-sqlite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string file = std::string(pattern) + "/lib.db";
    ASSERT_EQ(SqliteDriverLibraryHandle(), nullptr);
    {
        auto first = std::make_unique<TSqliteSession>();
        auto second = std::make_unique<TSqliteSession>();
        for (TSqliteSession* s : {first.get(), second.get()}) {
            s->SetDatabaseName(file);
            s->SetCreateIfMissing(true);
        }
        first->Open();
        void* handle = SqliteDriverLibraryHandle();
        ASSERT_NE(handle, nullptr);
        second->Open();
        EXPECT_EQ(SqliteDriverLibraryHandle(), handle);
        EXPECT_EQ(SqliteDriverLibraryRefCount(), 2);
        std::string path;
        first->GetLibraryPath(path);
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(path.back(), '/');
        first->Close(); // closing does not give the library up
        EXPECT_EQ(SqliteDriverLibraryRefCount(), 2);
        first.reset();
        EXPECT_EQ(SqliteDriverLibraryRefCount(), 1);
        EXPECT_EQ(SqliteDriverLibraryHandle(), handle);
    }
    EXPECT_EQ(SqliteDriverLibraryRefCount(), 0);
    EXPECT_EQ(SqliteDriverLibraryHandle(), nullptr);
    std::filesystem::remove_all(pattern);
}

TEST(SqliteLibrary, WrongLibraryNamesRaiseTheCatalogueMessages) {
    struct Case {
        std::string name;
        std::string message;
    };
    for (const Case& c : {Case{"libnosuchsqlite.so.7", "Could not load the Database Interface library"},
                          Case{"/no/such/folder/libsqlite3.so.0", "Could not find database library path"},
                          Case{"libm.so.6", "Unable to initialize database interface"}}) {
        TSqliteSession session;
        session.SetLibraryName(c.name);
        session.SetDatabaseName("/tmp/unused.db");
        try {
            session.Open();
            ADD_FAILURE() << c.name << " loaded";
        } catch (const ELumraException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(session.LastError(), c.message);
        }
        EXPECT_FALSE(session.Connected());
        EXPECT_EQ(SqliteDriverLibraryRefCount(), 0);
    }
}

TEST_F(SqliteTest, OpeningAMissingFileFailsUnlessCreationWasAsked) {
    TSqliteSession session;
    session.SetDatabaseName((Folder / "missing.db").string());
    EXPECT_THROW(session.Open(), ELumraException);
    EXPECT_LT(session.LastErrorCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(Folder / "missing.db"));
    session.SetCreateIfMissing(true);
    session.Open();
    EXPECT_TRUE(session.Connected());
    EXPECT_TRUE(std::filesystem::exists(Folder / "missing.db"));
}

TEST_F(SqliteTest, AutoCommitMakesEachChangeVisibleToASecondConnection) {
    Run("create table t (id integer primary key, name varchar(20))");
    auto other = NewSession();
    ASSERT_TRUE(Sql->Execute("insert into t (name) values (?)", {host::Variant("a")}));
    EXPECT_EQ(Sql->RowsProcessed(), 1);
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("t", other.get()), 1);
}

TEST_F(SqliteTest, AUserTransactionIsSeenOnlyAfterCommitAndRollbackLeavesNothing) {
    Run("create table t (id integer primary key, name varchar(20))");
    auto other = NewSession();
    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("insert into t (name) values (?)", {host::Variant("a")}));
    ASSERT_TRUE(Sql->Execute("insert into t (name) values (?)", {host::Variant("b")}));
    EXPECT_TRUE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("t", other.get()), 0);
    EXPECT_EQ(Count("t"), 2); // the connection sees its own pending work
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 2);

    Session->StartTransaction();
    ASSERT_TRUE(Sql->Execute("delete from t"));
    ASSERT_TRUE(Sql->Execute("insert into t (name) values (?)", {host::Variant("c")}));
    Session->Rollback();
    EXPECT_FALSE(Session->EngineTransactionOpen());
    EXPECT_EQ(Count("t", other.get()), 2);
    EXPECT_EQ(Count("t"), 2);
}

TEST_F(SqliteTest, WithoutAutoCommitWorkStaysPendingUntilCommit) {
    Run("create table t (id integer primary key)");
    auto other = NewSession();
    Session->SetAutoCommit(false);
    ASSERT_TRUE(Sql->Execute("insert into t default values"));
    EXPECT_EQ(Count("t", other.get()), 0);
    Session->Commit();
    EXPECT_EQ(Count("t", other.get()), 1);
}

TEST_F(SqliteTest, ASecondStatementInTheTextIsRefusedAndNothingRuns) {
    Run("create table t (id integer primary key)");
    for (const char* text : {"insert into t default values; drop table t",
                             "insert into t default values; /* c */ insert into t default values"}) {
        EXPECT_FALSE(Sql->Execute(text));
        EXPECT_EQ(Session->LastErrorCode(), -SQLITE_MISUSE);
        EXPECT_NE(Session->LastError().find("second statement"), std::string::npos);
        EXPECT_FALSE(Sql->OpenRead(std::string("select * from t; ") + "delete from t"));
    }
    EXPECT_EQ(Count("t"), 0);
    // Trailing semicolons and comments are not a second statement.
    EXPECT_TRUE(Sql->Execute("insert into t default values; -- done\n"));
    EXPECT_EQ(Count("t"), 1);
}

TEST_F(SqliteTest, ExecutingAQueryOrAnEngineErrorIsReportedWithTheEngineCode) {
    EXPECT_FALSE(Sql->Execute("select 1"));
    EXPECT_EQ(Session->LastError(), "The statement returns a result-set");
    EXPECT_FALSE(Sql->Execute("insert into nosuch values (1)"));
    EXPECT_EQ(Session->LastErrorCode(), -SQLITE_ERROR);
    EXPECT_NE(Session->LastError().find("no such table"), std::string::npos);
}

TEST_F(SqliteTest, AStatementMovedToAnotherSessionRunsOnlyOnTheNewConnection) {
    Run("create table t (v integer)");
    auto second = std::make_unique<TSqliteSession>();
    second->SetDatabaseName((Folder / "second.db").string());
    second->SetCreateIfMissing(true);
    second->Open();
    Run("create table t (v integer)", second.get());

    ASSERT_TRUE(Sql->Execute("insert into t values (?)", {host::Variant(int32_t{1})}));
    ASSERT_TRUE(Sql->OpenRead("select count(*) from t"));
    Sql->SetSession(second.get());
    EXPECT_FALSE(Sql->StatementPrepared());
    EXPECT_FALSE(Sql->CursorPrepared());
    ASSERT_TRUE(Sql->Execute("insert into t values (?)", {host::Variant(int32_t{2})})) << second->LastError();
    EXPECT_EQ(Count("t"), 1);
    EXPECT_EQ(Count("t", second.get()), 1);
    EXPECT_EQ(Scalar("select v from t", second.get()).AsInt64(), 2);

    // The first session going away leaves the moved statement working on its new file.
    Session.reset();
    ASSERT_TRUE(Sql->ExecutePrepared({host::Variant(int32_t{3})})) << second->LastError();
    ASSERT_TRUE(Sql->OpenRead("select count(*) from t"));
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{0})).AsInt64(), 2);
    Sql.reset();
}

TEST(SqliteLibrary, AStatementUnlinkedWhilePreparedOutlivesTheDriversLastSession) {
    char pattern[] = "/tmp/lmr-sqlite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(SqliteDriverLibraryRefCount(), 0);
    auto sql = std::make_unique<TSqliteSQL>();
    {
        TSqliteSession session;
        session.SetDatabaseName(std::string(pattern) + "/lib.db");
        session.SetCreateIfMissing(true);
        session.Open();
        ASSERT_EQ(session.Execute("create table t (v integer)"), 0);
        sql->SetSession(&session);
        ASSERT_TRUE(sql->PrepareExecute("insert into t values (?)"));
        ASSERT_TRUE(sql->Open("select v from t", {}, true));
        sql->SetSession(nullptr);
        EXPECT_FALSE(sql->CursorPrepared());
        EXPECT_FALSE(sql->StatementPrepared());
    }
    EXPECT_EQ(SqliteDriverLibraryRefCount(), 0);
    EXPECT_EQ(SqliteDriverLibraryHandle(), nullptr);
    sql.reset(); // nothing of the freed library is reached
    std::filesystem::remove_all(pattern);
}

TEST(SqliteLibrary, ASessionDestroyedWhileACloseHandlerRaisesStillReleasesTheConnectionAndTheLibrary) {
    char pattern[] = "/tmp/lmr-sqlite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(SqliteDriverLibraryRefCount(), 0);
    auto sql = std::make_unique<TSqliteSQL>();
    {
        TSqliteSession session;
        session.SetDatabaseName(std::string(pattern) + "/lib.db");
        session.SetCreateIfMissing(true);
        session.Open();
        ASSERT_EQ(session.Execute("create table t (v integer); insert into t values (1)"), 0);
        sql->SetSession(&session);
        ASSERT_TRUE(sql->OpenRead("select v from t"));
        ASSERT_TRUE(sql->PrepareExecute("insert into t values (?)"));
        sql->SetOnAfterClose([](host::TObject*) { throw ELumraException("the handler refused", 0, 0); });
    }
    EXPECT_EQ(sql->GetSessionObject(), nullptr);
    EXPECT_FALSE(sql->CursorPrepared());
    EXPECT_FALSE(sql->StatementPrepared());
    EXPECT_EQ(SqliteDriverLibraryRefCount(), 0);
    EXPECT_EQ(SqliteDriverLibraryHandle(), nullptr);
    sql.reset();
    std::filesystem::remove_all(pattern);
}

TEST_F(SqliteTest, TheTestHelpersFailLoudlyWhenTheirQueryFails) {
    EXPECT_THROW(Count("no_such_table"), std::runtime_error);
    EXPECT_THROW(Scalar("select * from no_such_table"), std::runtime_error);
    Run("create table t (v integer)");
    EXPECT_EQ(Count("t"), 0);
    EXPECT_TRUE(Scalar("select v from t").IsEmpty()); // no row is an answer, not a failure
}
