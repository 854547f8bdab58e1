// The query dataset's parameters and states on real SQLite files: a lone null
// parameter, date and time parameters against rows SQLite's own functions
// wrote, a session that closes under a prepared dataset, row counts after
// statements that change none, and which statements ExecSQL and Open take.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LmrBasDS/LmrBasDS.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/DataLinks.h"
#include "host/DateTime.h"

using namespace host;

namespace {

class SqliteParamsAndStates : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-states-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = std::make_unique<TSqliteSession>();
        Session->SetDatabaseName((Folder / "test.db").string());
        Session->SetCreateIfMissing(true);
        Session->Open();
        Run("create table t (id integer primary key, k integer, d date, tm time, dt datetime)");
        Run("insert into t values (1, null, date('2024-01-02'), time('00:00'), datetime('2024-01-02')),"
            " (2, 5, date('2024-03-04'), time('10:30'), datetime('2024-03-04 10:30'))");
    }
    void TearDown() override {
        Datasets.clear();
        Session.reset();
        std::filesystem::remove_all(Folder);
    }
    void Run(const std::string& sql) { ASSERT_EQ(Session->Execute(sql), 0) << Session->LastError(); }
    TSqliteQuery* Query(const std::string& sql) {
        Datasets.push_back(std::make_unique<TSqliteQuery>());
        TSqliteQuery* q = Datasets.back().get();
        q->SetSession(Session.get());
        q->SQL()->SetText(sql);
        return q;
    }
    // The ids the open dataset shows.
    static std::vector<int32_t> Ids(TSqliteQuery* q) {
        std::vector<int32_t> ids;
        for (q->First(); !q->Eof(); q->Next())
            ids.push_back(q->FieldByName("ID")->AsInteger());
        return ids;
    }
    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
    std::vector<std::unique_ptr<TSqliteQuery>> Datasets;
};

TEST_F(SqliteParamsAndStates, AQueryWithOneNullParameterRuns) {
    TSqliteQuery* q = Query("select id from t where k is :k or (:k is null and id = 1)");
    ASSERT_EQ(q->Params()->Count(), 2);
    TSqliteQuery* one = Query("select id from t where k is :k");
    one->ParamByName("k")->Clear();
    ASSERT_NO_THROW(one->Open());
    EXPECT_EQ(Ids(one), (std::vector<int32_t>{1}));
    one->Close();
    one->ParamByName("k")->SetAsInteger(5);
    one->Open();
    EXPECT_EQ(Ids(one), (std::vector<int32_t>{2}));

    TSqliteQuery* change = Query("update t set k = :k where id = 2");
    change->ParamByName("k")->Clear();
    ASSERT_NO_THROW(change->ExecSQL());
    EXPECT_EQ(change->GetRowsAffected(), 1);
}

TEST_F(SqliteParamsAndStates, ADetailOfAnEmptyMasterOpensEmpty) {
    TSqliteQuery* master = Query("select id, k from t where id = 1");
    TSqliteQuery* detail = Query("select id from t where k = :k");
    TDataSource source(nullptr);
    source.SetDataSet(master);
    detail->SetDataSource(&source);
    master->Open();
    ASSERT_NO_THROW(detail->Open()) << "the master's key is null";
    EXPECT_TRUE(Ids(detail).empty());
    detail->SetDataSource(nullptr);
}

TEST_F(SqliteParamsAndStates, DateAndTimeParametersMatchRowsSqliteFunctionsWrote) {
    struct Case {
        const char* sql;
        const char* param;
        std::function<void(TLumraParam*)> set;
        std::vector<int32_t> ids;
    };
    const std::vector<Case> cases = {
        {"select id from t where d = :p",
         "p",
         [](TLumraParam* p) { p->SetAsDate(EncodeDate(2024, 1, 2)); },
         {1}},
        {"select id from t where tm = :p", "p", [](TLumraParam* p) { p->SetAsTime(0.0); }, {1}},
        {"select id from t where tm = :p",
         "p",
         [](TLumraParam* p) { p->SetAsTime(EncodeTime(10, 30, 0, 0)); },
         {2}},
        {"select id from t where dt = :p",
         "p",
         [](TLumraParam* p) { p->SetAsDateTime(EncodeDate(2024, 1, 2)); },
         {1}},
        {"select id from t where dt = :p",
         "p",
         [](TLumraParam* p) { p->SetAsDateTime(EncodeDate(2024, 3, 4) + EncodeTime(10, 30, 0, 0)); },
         {2}},
    };
    for (const Case& c : cases) {
        TSqliteQuery* q = Query(c.sql);
        c.set(q->ParamByName(c.param));
        q->Open();
        EXPECT_EQ(Ids(q), c.ids) << c.sql;
        q->Close();
    }
}

TEST_F(SqliteParamsAndStates, APreparedDatasetOpensAsUsualAfterItsSessionClosed) {
    TSqliteQuery* q = Query("select id from t order by id");
    q->Prepare();
    ASSERT_TRUE(q->Prepared());
    Session->Close();
    EXPECT_FALSE(q->Prepared());
    ASSERT_NO_THROW(q->Open());
    EXPECT_EQ(Ids(q), (std::vector<int32_t>{1, 2}));
    q->Close();
    EXPECT_EQ(Session->HoldCount(), 0);

    TSqliteQuery* change = Query("update t set k = 1 where id = 1");
    change->Prepare();
    Session->Close();
    ASSERT_NO_THROW(change->ExecSQL());
    EXPECT_EQ(change->GetRowsAffected(), 1);
    change->Prepare();
    EXPECT_TRUE(change->Prepared());
    change->UnPrepare();
    EXPECT_EQ(Session->HoldCount(), 0);
}

TEST_F(SqliteParamsAndStates, AStatementThatChangesNoRowsAffectsNone) {
    TSqliteQuery* update = Query("update t set k = 7");
    update->ExecSQL();
    EXPECT_EQ(update->GetRowsAffected(), 2);
    TSqliteQuery* ddl = Query("create table other (a integer)");
    ddl->ExecSQL();
    EXPECT_EQ(ddl->GetRowsAffected(), 0);
}

TEST_F(SqliteParamsAndStates, ExecSqlRefusesASelectAndOpenTakesAPragmaWithRows) {
    TSqliteQuery* select = Query("select id from t");
    try {
        select->ExecSQL();
        ADD_FAILURE() << "a select ran as ExecSQL";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("The statement returns a result-set"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(Session->HoldCount(), 0);

    TSqliteQuery* pragma = Query("pragma table_info(t)");
    ASSERT_NO_THROW(pragma->Open());
    EXPECT_EQ(pragma->FieldByName("name")->AsString(), "id");
    pragma->Close();
    TSqliteQuery* setting = Query("pragma user_version");
    ASSERT_NO_THROW(setting->ExecSQL()) << "a pragma that returns a row still executes";

    TSqliteQuery* change = Query("update t set k = 1");
    try {
        change->Open();
        ADD_FAILURE() << "an update opened as a cursor";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("The statement doesn't return a result-set"), std::string::npos)
            << e.Message();
    }
}

} // namespace
