// A three-level master-detail chain (customers, their orders, the orders'
// lines) whose grandchild fails to re-open when the top master scrolls: the
// first error reaches the caller as an ordinary exception, and the chain goes
// on working once the cause is gone.
#include <gtest/gtest.h>

#include <filesystem>
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

class SqliteThreeLevels : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-dataset-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = std::make_unique<TSqliteSession>();
        Session->SetDatabaseName((Folder / "test.db").string());
        Session->SetCreateIfMissing(true);
        Session->Open();
        Run("create table customers (id integer primary key, name varchar(20))");
        Run("create table orders (id integer primary key, customer_id integer)");
        Run("create table lines (id integer primary key, order_id integer, qty integer)");
        Run("insert into customers values (1, 'Ada'), (2, 'Bob'), (3, 'Cy')");
        Run("insert into orders values (10, 1), (11, 1), (13, 2), (12, 3)");
        Run("insert into lines values (100, 10, 1), (101, 10, 2), (130, 13, 3), (120, 12, 4)");
        Customers = Query("select id, name from customers order by id");
        Orders = Query("select id, customer_id from orders where customer_id = :id order by id");
        // An engine error at the first fetch of order 13's lines while `Fail13` is 1.
        Lines = Query("select id, qty from lines where order_id = :id and "
                      "(case when :id = 13 and (select fail from switch) = 1 "
                      "then abs(-9223372036854775807 - 1) else 1 end) order by id");
        Run("create table switch (fail integer)");
        Run("insert into switch values (0)");
        CustomerSource.SetDataSet(Customers);
        OrderSource.SetDataSet(Orders);
        Orders->SetDataSource(&CustomerSource);
        Lines->SetDataSource(&OrderSource);
        Customers->Open();
        Orders->Open();
        Lines->Open();
    }
    void TearDown() override {
        Lines->SetDataSource(nullptr);
        Orders->SetDataSource(nullptr);
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
    static std::vector<int32_t> Ids(TDataSet* ds) {
        std::vector<int32_t> ids;
        if (!ds->Active()) return ids;
        for (ds->First(); !ds->Eof(); ds->Next())
            ids.push_back(ds->FieldByName("ID")->AsInteger());
        ds->First();
        return ids;
    }
    // Checks the chain follows the master again once the cause is gone.
    void ExpectTheChainWorks() {
        if (!Lines->Active()) Lines->Open();
        Customers->First();
        EXPECT_EQ(Ids(Orders), (std::vector<int32_t>{10, 11}));
        EXPECT_EQ(Ids(Lines), (std::vector<int32_t>{100, 101}));
        Customers->Next();
        EXPECT_EQ(Ids(Orders), (std::vector<int32_t>{13}));
        EXPECT_EQ(Ids(Lines), (std::vector<int32_t>{130}));
        Customers->Next();
        EXPECT_EQ(Ids(Lines), (std::vector<int32_t>{120}));
    }

    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
    std::vector<std::unique_ptr<TSqliteQuery>> Datasets;
    TSqliteQuery* Customers = nullptr;
    TSqliteQuery* Orders = nullptr;
    TSqliteQuery* Lines = nullptr;
    TDataSource CustomerSource{nullptr};
    TDataSource OrderSource{nullptr};
};

} // namespace

TEST_F(SqliteThreeLevels, AGrandchildWhoseBeforeOpenRaisesReportsItToTheScrollingCaller) {
    bool refuse = true;
    Lines->BeforeOpen = [&](TDataSet*) {
        if (refuse) DatabaseError("the lines refuse to open");
    };
    try {
        Customers->Next();
        ADD_FAILURE() << "the grandchild's failure was not reported";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "the lines refuse to open");
    }
    refuse = false;
    ExpectTheChainWorks();
}

TEST_F(SqliteThreeLevels, AGrandchildThatHitsAnEngineErrorReportsItToTheScrollingCaller) {
    Run("update switch set fail = 1");
    try {
        Customers->Next();
        ADD_FAILURE() << "the grandchild's failure was not reported";
    } catch (const ELumraDatasetError& e) {
        EXPECT_NE(std::string(e.what()).find("integer overflow"), std::string::npos) << e.what();
        EXPECT_LT(e.ErrorCode(), 0);
    }
    Run("update switch set fail = 0");
    ExpectTheChainWorks();
}

// The same kind of failure one level down: the SQL lines end their update
// block by telling the dataset, which closes itself; a close that raises
// reaches the caller that changed the text.
TEST_F(SqliteThreeLevels, ChangingTheSqlOfAnOpenDatasetWhoseBeforeCloseRaisesReportsTheError) {
    bool refuse = true;
    Customers->BeforeClose = [&](TDataSet*) {
        if (refuse) DatabaseError("the customers stay open");
    };
    try {
        Customers->SQL()->SetText("select id, name from customers where id > 1 order by id");
        ADD_FAILURE() << "the refused close was not reported";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "the customers stay open");
    }
    refuse = false;
    Customers->Close();
    Customers->SQL()->SetText("select id, name from customers where id > 1 order by id");
    Customers->Open();
    EXPECT_EQ(Ids(Customers), (std::vector<int32_t>{2, 3}));
}

TEST_F(SqliteThreeLevels, DestroyingTheTopSourceWhileTheGrandchildCannotReopenKeepsTheProcess) {
    auto source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(Customers);
    Orders->SetDataSource(source.get());
    bool refuse = true;
    Lines->BeforeOpen = [&](TDataSet*) {
        if (refuse) DatabaseError("the lines refuse to open");
    };
    source.reset();
    EXPECT_EQ(Orders->DataSource(), nullptr);
    refuse = false;
    Orders->SetDataSource(&CustomerSource);
    ExpectTheChainWorks();
}
