// ExecSQL without Prepare, run again and again: the statement keeps what it
// prepared for the text, so every later call must still run the current text
// with the current values on the dataset's current connection.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "LmrBasDS/LmrBasDS.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"

namespace {

class ExecSqlRepeat : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-execsql-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = Open("a.db");
        Insert = std::make_unique<TSqliteQuery>();
        Insert->SetSession(Session.get());
        Insert->SQL()->SetText("insert into t values (:n, :s)");
    }
    void TearDown() override {
        Insert.reset();
        Session.reset();
        Other.reset();
        std::filesystem::remove_all(Folder);
    }

    std::unique_ptr<TSqliteSession> Open(const std::string& file) {
        auto session = std::make_unique<TSqliteSession>();
        session->SetDatabaseName((Folder / file).string());
        session->SetCreateIfMissing(true);
        session->Open();
        EXPECT_EQ(session->Execute("create table if not exists t (n integer primary key, s text)"), 0)
            << session->LastError();
        return session;
    }

    void Exec(int32_t n, const std::string& s) {
        Insert->ParamByName("n")->SetAsInteger(n);
        Insert->ParamByName("s")->SetAsString(s);
        Insert->ExecSQL();
        EXPECT_EQ(Insert->GetRowsAffected(), 1);
        EXPECT_FALSE(Insert->Prepared());
    }

    // The rows of t in session, as "n=s;" pairs.
    static std::string Rows(TSqliteSession& session) {
        TSqliteQuery q;
        q.SetSession(&session);
        q.SQL()->SetText("select n, s from t order by n");
        q.Open();
        std::string out;
        for (; !q.Eof(); q.Next())
            out += q.Fields()->Fields(0)->AsString() + "=" + q.Fields()->Fields(1)->AsString() + ";";
        return out;
    }

    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
    std::unique_ptr<TSqliteSession> Other;
    std::unique_ptr<TSqliteQuery> Insert;
};

} // namespace

TEST_F(ExecSqlRepeat, EachCallRunsTheTextWithItsOwnValues) {
    Exec(1, "one");
    Exec(2, "two");
    Exec(3, "three");
    EXPECT_EQ(Rows(*Session), "1=one;2=two;3=three;");
}

TEST_F(ExecSqlRepeat, AFailedCallLeavesTheNextOneWorking) {
    Exec(1, "one");
    Insert->ParamByName("n")->SetAsInteger(1);
    EXPECT_THROW(Insert->ExecSQL(), ELumraDatasetError);
    EXPECT_FALSE(Insert->Prepared());
    Exec(2, "two");
    EXPECT_EQ(Rows(*Session), "1=one;2=two;");
}

TEST_F(ExecSqlRepeat, ANewTextIsRunNotTheOneBefore) {
    Exec(1, "one");
    Insert->SQL()->SetText("update t set s = :s where n = :n");
    Insert->ParamByName("n")->SetAsInteger(1);
    Insert->ParamByName("s")->SetAsString("uno");
    Insert->ExecSQL();
    EXPECT_EQ(Insert->GetRowsAffected(), 1);
    EXPECT_EQ(Rows(*Session), "1=uno;");
}

TEST_F(ExecSqlRepeat, RunsOnTheConnectionOpenedAfterTheSessionClosed) {
    Exec(1, "one");
    Session->Close();
    Session->Open();
    Exec(2, "two");
    EXPECT_EQ(Rows(*Session), "1=one;2=two;");
}

TEST_F(ExecSqlRepeat, RunsOnTheSessionTheDatasetMovedTo) {
    Exec(1, "one");
    Other = Open("b.db");
    Insert->SetSession(Other.get());
    Exec(2, "two");
    EXPECT_EQ(Rows(*Session), "1=one;");
    EXPECT_EQ(Rows(*Other), "2=two;");
}

TEST_F(ExecSqlRepeat, PrepareAfterwardsRunsTheSameText) {
    Exec(1, "one");
    Insert->Prepare();
    Insert->ParamByName("n")->SetAsInteger(2);
    Insert->ParamByName("s")->SetAsString("two");
    Insert->ExecSQL();
    EXPECT_TRUE(Insert->Prepared());
    Insert->UnPrepare();
    Exec(3, "three");
    EXPECT_EQ(Rows(*Session), "1=one;2=two;3=three;");
}
