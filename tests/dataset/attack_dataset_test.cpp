// Failure paths of the query dataset on a real SQLite file: opens, prepares,
// posts, deletes and ExecSQL that fail leave the dataset, its session hold
// and the file as they were; sessions and datasets destroyed, closed or
// reopened in unusual orders stay sane.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "LmrBasDS/LmrBasDS.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/DataLinks.h"
#include "host/SysUtils.h"

using namespace host;

namespace {

class AttackDataset : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-attack-ds-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        File = (Folder / "test.db").string();
        Session = NewSession(true);
        Run("create table people (id integer primary key, name varchar(10) not null unique,"
            " age integer check (age >= 0))");
        Run("create trigger no_delete_root before delete on people when old.id = 1"
            " begin select raise(abort, 'root stays'); end");
        Run("insert into people values (1, 'root', 50), (2, 'ann', 30), (3, 'bob', 40)");
        Other = NewSession(false);
    }
    void TearDown() override {
        Datasets.clear();
        Other.reset();
        Session.reset();
        std::filesystem::remove_all(Folder);
    }
    std::unique_ptr<TSqliteSession> NewSession(bool create) {
        auto s = std::make_unique<TSqliteSession>();
        s->SetDatabaseName(File);
        s->SetCreateIfMissing(create);
        s->Open();
        return s;
    }
    void Run(const std::string& sql) { ASSERT_EQ(Session->Execute(sql), 0) << Session->LastError(); }

    TSqliteQuery* Query(const std::string& sql, bool writable = false) {
        Datasets.push_back(std::make_unique<TSqliteQuery>());
        TSqliteQuery* q = Datasets.back().get();
        q->SetSession(Session.get());
        q->SQL()->SetText(sql);
        if (writable) q->SetReadOnly(false);
        return q;
    }
    // The names in the file, read through the second connection.
    std::string Names() {
        auto sql = std::make_unique<TSqliteSQL>();
        sql->SetSession(Other.get());
        std::string out;
        if (!sql->OpenRead("select name from people order by id")) {
            ADD_FAILURE() << "reading people failed: " << Other->LastError();
            return "<error>";
        }
        do {
            out += sql->GetFieldValue(Variant(int32_t{0})).AsString() + ",";
        } while (sql->FetchNext());
        return out;
    }
    // Runs call, which must raise ELumraDatasetError; answers its code.
    static int32_t DatasetErrorCode(const std::function<void()>& call, std::string* message = nullptr) {
        try {
            call();
        } catch (const ELumraDatasetError& e) {
            if (message) *message = e.Message();
            return e.ErrorCode();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "raised something else: " << e.what();
            return 1;
        }
        ADD_FAILURE() << "did not raise";
        return 1;
    }

    std::filesystem::path Folder;
    std::string File;
    std::unique_ptr<TSqliteSession> Session;
    std::unique_ptr<TSqliteSession> Other;
    std::vector<std::unique_ptr<TSqliteQuery>> Datasets;
};

} // namespace

// ---- Opens and prepares that fail give the session hold back ------------------------

TEST_F(AttackDataset, AFailingOpenRaisesTheEngineErrorAndReleasesTheSessionHold) {
    Session->SetKeepConnection(false);
    Session->OpenSession(); // keeps the connection for the checks below
    TSqliteQuery* q = Query("select id from nowhere");
    std::string message;
    EXPECT_EQ(DatasetErrorCode([&] { q->Open(); }, &message), -SQLITE_ERROR);
    EXPECT_NE(message.find("no such table"), std::string::npos) << message;
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 1) << "the failed open kept a hold on the session";
    // Repaired, the same dataset opens.
    Run("create table nowhere (id integer)");
    Run("insert into nowhere values (7)");
    q->Open();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 7);
    q->Close();
    EXPECT_EQ(Session->HoldCount(), 1);
    Session->CloseSession();
}

TEST_F(AttackDataset, AFailingPrepareRaisesAndLeavesTheDatasetUnpreparedWithoutAHold) {
    TSqliteQuery* q = Query("select id from nowhere");
    EXPECT_EQ(DatasetErrorCode([&] { q->Prepare(); }), -SQLITE_ERROR);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 0);
    // A dataset that is not prepared may change its session.
    q->SetSession(Other.get());
    EXPECT_EQ(q->GetSession(), Other.get());
}

// A first row whose value its column cannot hold fails the open with the
// engine's mismatch code; the dataset is closed and holds nothing.
TEST_F(AttackDataset, AnOpenWhoseFirstRowDoesNotFitRaisesAndHoldsNothing) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'abcd')");
    TSqliteQuery* q = Query("select id, s from narrow");
    EXPECT_EQ(DatasetErrorCode([&] { q->Open(); }), -SQLITE_MISMATCH);
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(Session->HoldCount(), 0);
}

// A row that cannot be read in the middle of a scroll raises and the dataset
// stays on the last good record.
TEST_F(AttackDataset, AScrollOntoARowThatCannotBeReadRaisesAndStaysOnTheLastGoodRecord) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'a'), (2, 'b'), (3, 'long!')");
    TSqliteQuery* q = Query("select id, s from narrow order by id");
    q->Open();
    q->Next();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(DatasetErrorCode([&] { q->Next(); }), -SQLITE_MISMATCH);
    EXPECT_TRUE(q->Active());
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(q->FieldByName("S")->AsString(), "b");
    EXPECT_EQ(q->RecNo(), 2);
    q->First();
    EXPECT_EQ(q->FieldByName("S")->AsString(), "a");
}

// ---- ExecSQL --------------------------------------------------------------------------

TEST_F(AttackDataset, AFailingExecSqlRaisesTheCodeAndReportsNoRowsAffected) {
    TSqliteQuery* ok = Query("update people set age = age + 1");
    ok->ExecSQL();
    EXPECT_EQ(ok->GetRowsAffected(), 3);
    TSqliteQuery* q = Query("update people set name = 'ann' where id = 3");
    EXPECT_EQ(DatasetErrorCode([&] { q->ExecSQL(); }), -SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(q->GetRowsAffected(), 0);
    EXPECT_EQ(Session->HoldCount(), 0) << "a failed ExecSQL kept its hold";
    EXPECT_EQ(Names(), "root,ann,bob,");
    q->SQL()->SetText("update people set name = 'cy' where id = 3");
    q->ExecSQL();
    EXPECT_EQ(q->GetRowsAffected(), 1);
    EXPECT_EQ(Names(), "root,ann,cy,");
}

// ---- Repeated and out-of-order calls ------------------------------------------------

TEST_F(AttackDataset, RepeatedPrepareOpenAndCloseHoldTheSessionExactlyOnce) {
    Session->SetKeepConnection(false);
    TSqliteQuery* q = Query("select id from people order by id");
    q->Prepare();
    q->Prepare();
    EXPECT_EQ(Session->HoldCount(), 1);
    q->Open();
    q->Open();
    EXPECT_EQ(Session->HoldCount(), 1);
    q->Close();
    q->Close();
    EXPECT_TRUE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 1);
    q->UnPrepare();
    q->UnPrepare();
    EXPECT_EQ(Session->HoldCount(), 0);
    EXPECT_FALSE(Session->Connected()) << "the last hold went with KeepConnection off";
    q->Open();
    EXPECT_TRUE(Session->Connected());
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
    q->Close();
    EXPECT_FALSE(Session->Connected());
}

TEST_F(AttackDataset, SessionAndReadOnlyCannotChangeWhileOpenOrPrepared) {
    TSqliteQuery* q = Query("select id from people");
    q->Open();
    EXPECT_THROW(q->SetSession(Other.get()), EDatabaseError);
    EXPECT_THROW(q->SetReadOnly(false), EDatabaseError);
    EXPECT_EQ(q->GetSession(), Session.get());
    EXPECT_TRUE(q->ReadOnly());
    EXPECT_TRUE(q->Active());
    q->Close();
    q->SetSession(Other.get());
    q->SetSession(Other.get());
    q->Open();
    EXPECT_EQ(Session->HoldCount(), 0);
    EXPECT_EQ(Other->HoldCount(), 1);
}

// ---- Sessions closed, reopened and destroyed under datasets --------------------------

TEST_F(AttackDataset, AnOpenDatasetClosesWithItsSessionAndOpensAgainAfterReconnect) {
    TSqliteQuery* q = Query("select id, name from people order by id");
    q->Open();
    q->Next();
    Session->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 0);
    q->Open();
    EXPECT_TRUE(Session->Connected());
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(Session->HoldCount(), 1);
}

TEST_F(AttackDataset, AnOpenDatasetOutlivesItsSessionAndRefusesToOpenWithoutOne) {
    TSqliteQuery* q = Query("select id, name from people order by id", true);
    q->Open();
    Other.reset();
    Session.reset();
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->GetSession(), nullptr);
    try {
        q->Open();
        ADD_FAILURE() << "opened without a session";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.Message(), "The session property is not linked to a session");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_FALSE(q->Active());
    Datasets.clear();
}

TEST_F(AttackDataset, ADatasetDestroyedWhileOpenAndEditingGivesItsHoldBackAndWritesNothing) {
    Session->SetKeepConnection(false);
    Session->OpenSession();
    {
        auto q = std::make_unique<TSqliteQuery>();
        q->SetSession(Session.get());
        q->SetReadOnly(false);
        q->SQL()->SetText("select id, name from people order by id");
        q->Open();
        q->Edit();
        q->FieldByName("NAME")->SetAsString("gone");
        EXPECT_EQ(Session->HoldCount(), 2);
    }
    EXPECT_EQ(Session->HoldCount(), 1);
    EXPECT_TRUE(Session->Queries().empty());
    EXPECT_EQ(Names(), "root,ann,bob,");
    Session->CloseSession();
}

TEST_F(AttackDataset, ChangingTheSqlOfAnOpenDatasetClosesItAndTheNewTextOpens) {
    TSqliteQuery* q = Query("select id from people order by id");
    q->Open();
    q->SQL()->SetText("select name from nowhere");
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(Session->HoldCount(), 0);
    EXPECT_EQ(DatasetErrorCode([&] { q->Open(); }), -SQLITE_ERROR);
    q->SQL()->SetText("select name from people order by id");
    q->Open();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "root");
    EXPECT_EQ(Session->HoldCount(), 1);
}

// ---- Parameters at their limits ---------------------------------------------------

TEST_F(AttackDataset, AParameterTextAtTheColumnLengthIsFoundAndOneMoreMatchesNothing) {
    Run("insert into people values (4, 'abcdefghij', 1)");
    TSqliteQuery* q = Query("select id from people where name = :name");
    q->ParamByName("name")->SetAsString("abcdefghij");
    q->Open();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 4);
    q->Close();
    q->ParamByName("name")->SetAsString("abcdefghijk");
    q->Open();
    EXPECT_TRUE(q->IsEmpty());
    q->Close();
    EXPECT_EQ(Session->HoldCount(), 0);
}

// A parameter value the engine cannot take (text with a zero byte) fails the
// open; the dataset is closed afterwards and gives its session hold back.
TEST_F(AttackDataset, AParameterRefusedWhileOpeningLeavesTheDatasetClosedWithoutAHold) {
    TSqliteQuery* q = Query("select id from people where name = :name");
    q->ParamByName("name")->SetAsString(std::string("ann\0x", 5));
    try {
        q->Open();
        ADD_FAILURE() << "text with a zero byte was bound";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("zero byte"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 0);
    q->ParamByName("name")->SetAsString("ann");
    q->Open();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
}

TEST_F(AttackDataset, IntegerParametersAtTheir32BitEdgesBindExactly) {
    Run("create table nums (n integer)");
    Run("insert into nums values (2147483647), (-2147483648), (2147483648), (-2147483649)");
    TSqliteQuery* q = Query("select n from nums where n = :n");
    for (int32_t n : {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()}) {
        q->ParamByName("n")->SetAsInteger(n);
        q->Open();
        ASSERT_FALSE(q->IsEmpty()) << n;
        EXPECT_EQ(q->FieldByName("N")->AsLargeInt(), n);
        EXPECT_EQ(q->RecordCount(), 1);
        q->Close();
    }
}

// ---- Master and detail destroyed in unusual orders ----------------------------------

class AttackMasterDetail : public AttackDataset {
protected:
    void SetUp() override {
        AttackDataset::SetUp();
        Run("create table orders (id integer primary key, person_id integer, amount real)");
        Run("insert into orders values (10, 1, 1.5), (11, 2, 2.5), (12, 2, 3.5)");
    }
    std::vector<int32_t> Ids(TSqliteQuery* q) {
        std::vector<int32_t> out;
        for (q->First(); !q->Eof(); q->Next())
            out.push_back(q->FieldByName("ID")->AsInteger());
        return out;
    }
};

TEST_F(AttackMasterDetail, ADataSourceDestroyedUnderAnOpenDetailLeavesBothUsable) {
    TSqliteQuery* master = Query("select id from people order by id");
    TSqliteQuery* detail = Query("select id from orders where person_id = :id order by id");
    auto source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(master);
    detail->SetDataSource(source.get());
    master->Open();
    detail->Open();
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{10}));
    source.reset();
    EXPECT_EQ(detail->GetDataSource(), nullptr);
    master->Next();
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{10})) << "a detail without a master stays where it is";
    detail->Close();
    detail->ParamByName("id")->SetAsInteger(2);
    detail->Open();
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{11, 12}));
}

TEST_F(AttackMasterDetail, AMasterDestroyedUnderAnOpenDetailLeavesTheDetailUsable) {
    auto master = std::make_unique<TSqliteQuery>();
    master->SetSession(Session.get());
    master->SQL()->SetText("select id from people order by id");
    TSqliteQuery* detail = Query("select id from orders where person_id = :id order by id");
    TDataSource source(nullptr);
    source.SetDataSet(master.get());
    detail->SetDataSource(&source);
    master->Open();
    detail->Open();
    master->Next();
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{11, 12}));
    master.reset();
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_TRUE(detail->Active());
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{11, 12}));
    detail->Close();
    detail->ParamByName("id")->SetAsInteger(1);
    detail->Open();
    EXPECT_EQ(Ids(detail), (std::vector<int32_t>{10}));
    EXPECT_EQ(Session->HoldCount(), 1);
}

// A dataset's AfterClose handler may destroy another dataset of the same
// session while the session closes every statement.
TEST_F(AttackDataset, ADatasetDestroyedByAnotherOnesAfterCloseDuringSessionCloseIsSkippedSafely) {
    TSqliteQuery* first = Query("select id from people");
    auto second = std::make_unique<TSqliteQuery>();
    second->SetSession(Session.get());
    second->SQL()->SetText("select id from people");
    TSqliteQuery* third = Query("select id from people order by id");
    first->Open();
    second->Open();
    third->Open();
    first->AfterClose = [&](TDataSet*) { second.reset(); };
    Session->Close();
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(first->Active());
    EXPECT_FALSE(third->Active());
    EXPECT_EQ(Session->HoldCount(), 0);
    third->Open();
    EXPECT_EQ(third->FieldByName("ID")->AsInteger(), 1);
}

// ---- Row counts, positions and bookmarks past their ends -------------------------------

// A failed execution changed no rows: its count is not the previous one's.
TEST_F(AttackDataset, AFailingExecSqlOfTheSameDatasetReportsNoRowsAffected) {
    TSqliteQuery* q = Query("update people set name = :name where id = 3");
    q->Prepare();
    q->ParamByName("name")->SetAsString("cy");
    q->ExecSQL();
    EXPECT_EQ(q->GetRowsAffected(), 1);
    q->ParamByName("name")->SetAsString("ann");
    EXPECT_EQ(DatasetErrorCode([&] { q->ExecSQL(); }), -SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_EQ(q->GetRowsAffected(), 0);
    EXPECT_EQ(Names(), "root,ann,cy,");
}

TEST_F(AttackDataset, RecordNumbersOutsideTheRowsLeaveTheDatasetWhereItIs) {
    TSqliteQuery* q = Query("select id from people order by id");
    q->Open();
    q->Next();
    for (int32_t n : {0, -1, 4, std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(n);
        try {
            q->SetRecNoValue(n);
        } catch (const EDatabaseError&) {
        }
        EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
    }
    q->SetRecNoValue(3);
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 3);
}

// The lowest record number is outside the rows like any other.
TEST_F(AttackDataset, TheLowestRecordNumberLeavesTheDatasetWhereItIs) {
    TSqliteQuery* q = Query("select id from people order by id");
    q->Open();
    q->Next();
    try {
        q->SetRecNoValue(std::numeric_limits<int32_t>::min());
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
}

// A bookmark kept over a close and reopen, while another connection removed
// its row, goes nowhere wrong: an error or a valid record, never a crash.
TEST_F(AttackDataset, ABookmarkOfARowGoneSinceTheReopenIsRefusedOrHarmless) {
    TSqliteQuery* q = Query("select id from people order by id");
    q->Open();
    q->Last();
    TBookmark mark = q->GetBookmark();
    q->Close();
    ASSERT_EQ(Other->Execute("delete from people where id = 3"), 0) << Other->LastError();
    q->Open();
    try {
        if (q->BookmarkValid(mark)) q->GotoBookmark(mark);
    } catch (const EDatabaseError&) {
    }
    q->FreeBookmark(mark);
    EXPECT_TRUE(q->Active());
    const int32_t id = q->FieldByName("ID")->AsInteger();
    EXPECT_TRUE(id == 1 || id == 2) << id;
    q->Last();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(q->RecordCount(), 2);
}

// A row that cannot be read is never stepped over: Last may reach the end
// (the rows behind it are good), but going back from there stops at the bad
// row with the engine's code instead of showing the row before it.
TEST_F(AttackDataset, ScrollingBackOverARowThatCannotBeReadRaisesAndDoesNotSkipIt) {
    Run("create table narrow (id integer primary key, s varchar(3))");
    Run("insert into narrow values (1, 'a'), (2, 'long!'), (3, 'c')");
    TSqliteQuery* q = Query("select id, s from narrow order by id");
    q->Open();
    try {
        q->Last();
    } catch (const ELumraDatasetError& e) {
        EXPECT_EQ(e.ErrorCode(), -SQLITE_MISMATCH);
        EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
        return;
    }
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(DatasetErrorCode([&] { q->Prior(); }), -SQLITE_MISMATCH);
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 3);
    q->First();
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(DatasetErrorCode([&] { q->Next(); }), -SQLITE_MISMATCH);
    EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
}

// ---- A user transaction on a session that lets its connection go ---------------------

// With KeepConnection off, the last dataset giving its hold back closes the
// connection; work of a user transaction still running must not vanish with
// it: either the connection stays until the transaction ends, or the commit
// fails loudly.
TEST_F(AttackDataset, AUserTransactionSurvivesTheLastHoldGoingWithKeepConnectionOff) {
    Session->SetKeepConnection(false);
    Session->Open();
    Session->StartTransaction();
    TSqliteQuery* q = Query("insert into people (id, name, age) values (4, 'dan', 5)");
    q->ExecSQL();
    EXPECT_EQ(q->GetRowsAffected(), 1);
    bool committed = true;
    try {
        Session->Commit();
    } catch (const std::exception&) {
        committed = false;
    }
    if (committed) {
        EXPECT_EQ(Names(), "root,ann,bob,dan,") << "Commit reported success for an insert that was lost";
    }
    // With the transaction over and no hold left, the connection goes.
    EXPECT_FALSE(Session->Connected());
}

// The connection a user transaction kept also survives the hold going while
// the work is rolled back, and closes once Rollback ended the transaction.
TEST_F(AttackDataset, AUserTransactionKeptOpenWithKeepConnectionOffIsUndoneByRollback) {
    Session->SetKeepConnection(false);
    Session->Open();
    Session->StartTransaction();
    TSqliteQuery* q = Query("insert into people (id, name, age) values (4, 'dan', 5)");
    q->ExecSQL();
    EXPECT_TRUE(Session->Connected());
    EXPECT_TRUE(Session->InTransaction());
    EXPECT_TRUE(Session->EngineTransactionOpen());
    Session->Rollback();
    EXPECT_FALSE(Session->Connected());
    EXPECT_EQ(Names(), "root,ann,bob,");
}
