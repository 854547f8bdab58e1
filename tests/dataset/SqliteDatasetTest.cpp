// The query dataset on real SQLite files: field definitions for every column
// type, browsing both ways through a small data link, bookmarks and record
// numbers, nulls and old values, parameters, master-detail and ExecSQL.
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
#include "host/SysUtils.h"

using namespace host;

namespace {

class SqliteDataset : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-dataset-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = std::make_unique<TSqliteSession>();
        Session->SetDatabaseName((Folder / "test.db").string());
        Session->SetCreateIfMissing(true);
        Session->Open();
        Run("create table customers (id integer primary key, name varchar(20), city varchar(20))");
        Run("create table orders (id integer primary key, customer_id integer, amount real, note text)");
        Run("insert into customers values (1, 'Ada', 'London'), (2, 'Bob', null), (3, 'Cy', 'Paris')");
        Run("insert into orders values (10, 1, 5.5, 'first'), (11, 1, 7.25, null), (12, 3, 1.0, 'only')");
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

    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
    std::vector<std::unique_ptr<TSqliteQuery>> Datasets;
};

// Remembers the data it was shown, like a grid with a few rows.
class TWindowLink : public TDataLink {
public:
    int32_t Changes = 0;
    void DataSetChanged() override { ++Changes; }
    std::vector<int32_t> Ids() {
        std::vector<int32_t> ids;
        const int32_t saved = ActiveRecord();
        for (int32_t i = 0; i < RecordCount(); ++i) {
            SetActiveRecord(i);
            ids.push_back(DataSet()->FieldByName("ID")->AsInteger());
        }
        SetActiveRecord(saved);
        return ids;
    }
};

} // namespace

TEST_F(SqliteDataset, FieldDefinitionsCoverEveryColumnTypeAndRepeatedNames) {
    Run("create table kinds (s varchar(12), i integer, f real, n numeric(10,2), d date, t time, dt datetime, "
        "b boolean, bin binary(6), m text, bl blob)");
    Run("insert into kinds values ('text', 5000000000, 2.5, 3.25, '2024-02-29', '13:45:30.000', "
        "'2024-02-29 13:45:30.000', 1, x'00ff10', 'a memo', x'0102')");
    TSqliteQuery* q = Query("select s, i, f, n, d, t, dt, b, bin, m, bl, i as s from kinds");
    q->Open();
    const std::vector<std::pair<std::string, TFieldType>> expected = {
        {"S", ftString},
        {"I", ftLargeint},
        {"F", ftFloat},
        {"N", ftFloat},
        {"D", ftDate},
        {"T", ftTime},
        {"DT", ftDateTime},
        {"B", ftBoolean},
        {"BIN", ftVarBytes},
        {"M", ftMemo},
        {"BL", ftBlob},
        {"S_1", ftLargeint},
        // The driver's hidden key column of a table without a primary key is
        // an ordinary field definition too.
        {"ROWID", ftLargeint}};
    ASSERT_EQ(q->FieldDefs()->Count(), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        TFieldDef* def = q->FieldDefs()->Items(static_cast<int32_t>(i));
        EXPECT_TRUE(SameText(def->Name(), expected[i].first)) << def->Name();
        EXPECT_EQ(def->DataType(), expected[i].second) << def->Name();
    }
    EXPECT_EQ(q->FieldDefs()->Items(0)->Size(), 12);
    EXPECT_EQ(q->FieldDefs()->Items(8)->Size(), 6);

    EXPECT_EQ(q->Fields()->Fields(0)->AsString(), "text");
    EXPECT_EQ(q->Fields()->Fields(1)->AsLargeInt(), 5000000000) << "a 64-bit integer is kept whole";
    EXPECT_DOUBLE_EQ(q->Fields()->Fields(2)->AsFloat(), 2.5);
    EXPECT_DOUBLE_EQ(q->Fields()->Fields(3)->AsFloat(), 3.25);
    EXPECT_DOUBLE_EQ(q->Fields()->Fields(4)->AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_NEAR(q->Fields()->Fields(5)->AsDateTime(), EncodeTime(13, 45, 30, 0), 1e-9);
    EXPECT_NEAR(q->Fields()->Fields(6)->AsDateTime(), EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 0),
                1e-9);
    EXPECT_TRUE(q->Fields()->Fields(7)->AsBoolean());
    EXPECT_EQ(q->Fields()->Fields(8)->AsString(), std::string("\x00\xff\x10", 3))
        << "the stored length survives";
    EXPECT_EQ(q->Fields()->Fields(9)->AsString(), "a memo");
    EXPECT_EQ(q->Fields()->Fields(10)->AsString(), std::string("\x01\x02", 2));

    TSqliteQuery* same = Query("select id, id, id from customers");
    same->Open();
    ASSERT_GE(same->FieldDefs()->Count(), 3);
    EXPECT_TRUE(SameText(same->FieldDefs()->Items(0)->Name(), "ID"));
    EXPECT_TRUE(SameText(same->FieldDefs()->Items(1)->Name(), "ID_1"));
    EXPECT_TRUE(SameText(same->FieldDefs()->Items(2)->Name(), "ID_2"));
    EXPECT_EQ(same->Fields()->Fields(2)->AsInteger(), 1);
}

TEST_F(SqliteDataset, BrowsesBothWaysThroughASmallDataLink) {
    Run("create table numbers (id integer)");
    Run("with recursive c(x) as (select 1 union all select x + 1 from c where x < 25) "
        "insert into numbers select x from c");
    TSqliteQuery* q = Query("select id from numbers order by id");
    TDataSource source(nullptr);
    source.SetDataSet(q);
    TWindowLink link;
    link.SetBufferCount(3);
    link.SetDataSource(&source);
    q->Open();
    EXPECT_EQ(link.Ids(), (std::vector<int32_t>{1, 2, 3}));
    std::vector<int32_t> seen;
    for (; !q->Eof(); q->Next()) {
        seen.push_back(q->FieldByName("ID")->AsInteger());
        EXPECT_EQ(q->RecNo(), seen.back());
    }
    EXPECT_EQ(seen.size(), 25u);
    EXPECT_EQ(link.Ids(), (std::vector<int32_t>{23, 24, 25}));
    std::vector<int32_t> back;
    for (q->Last(); !q->Bof(); q->Prior())
        back.push_back(q->FieldByName("ID")->AsInteger());
    ASSERT_EQ(back.size(), 25u);
    EXPECT_EQ(back.front(), 25);
    EXPECT_EQ(back.back(), 1);
    EXPECT_EQ(link.Ids(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(q->AtEnd()) << "Last put the cursor after the last row";
    q->First();
    EXPECT_FALSE(q->AtEnd());
    EXPECT_EQ(q->RecordCount(), 25);
}

TEST_F(SqliteDataset, BookmarksAndRecordNumbersFindTheirRowsAgain) {
    TSqliteQuery* q = Query("select id, name from customers order by id");
    q->Open();
    q->Next();
    EXPECT_EQ(q->RecNo(), 2);
    TBookmark bob = q->GetBookmark();
    q->Last();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Cy");
    EXPECT_EQ(q->RecNo(), 3);
    EXPECT_TRUE(q->BookmarkValid(bob));
    q->GotoBookmark(bob);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Bob");
    q->FreeBookmark(bob);
    q->SetRecNoValue(1);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Ada");
    q->SetRecNoValue(3);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Cy");
    q->SetRecNoValue(4);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Cy") << "no fourth row: the dataset stays";
    const TBookmarkStr mark = q->Bookmark();
    q->First();
    q->SetBookmark(mark);
    EXPECT_EQ(q->RecNo(), 3);
}

TEST_F(SqliteDataset, NullColumnsAndOldValues) {
    TSqliteQuery* q = Query("select id, name, city from customers where id = 2");
    q->SetReadOnly(false);
    q->Open();
    TField* city = q->FieldByName("CITY");
    EXPECT_TRUE(city->IsNull());
    EXPECT_EQ(city->AsString(), "");
    EXPECT_FALSE(q->FieldByName("NAME")->IsNull());
    q->Edit();
    q->FieldByName("NAME")->SetAsString("Robert");
    const TDataSetState saved = q->SetTempState(dsOldValue);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Bob") << "the row as fetched";
    EXPECT_FALSE(city->IsNull()) << "old values make no null test";
    EXPECT_EQ(city->AsString(), "");
    q->RestoreState(saved);
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Robert");
    q->Cancel();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Bob");
}

TEST_F(SqliteDataset, ParametersComeFromTheTextAndBindTheirValues) {
    TSqliteQuery* q = Query("select name, ':city' as label from customers where id >= :low and city = :city");
    ASSERT_EQ(q->GetParamsCount(), 2);
    q->ParamByName("low")->SetAsInteger(2);
    q->ParamByName("city")->SetAsString("Paris");
    q->Open();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Cy");
    EXPECT_EQ(q->FieldByName("LABEL")->AsString(), ":city") << "a colon inside a literal is text";
    q->Next();
    EXPECT_TRUE(q->Eof());
    q->Close();
    q->ParamByName("city")->SetAsString("London");
    q->ParamByName("low")->SetAsInteger(1);
    q->Open();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Ada");
}

TEST_F(SqliteDataset, AParameterUsedTwiceBindsItsOneValueEverywhere) {
    // One parameter per occurrence in the dataset, one engine parameter in SQLite.
    TSqliteQuery* q = Query("select id, name from customers where id = :id or id = :id + 2 order by id");
    ASSERT_EQ(q->GetParamsCount(), 2);
    q->ParamByName("id")->SetAsInteger(1);
    q->Open();
    std::vector<std::string> names;
    for (; !q->Eof(); q->Next())
        names.push_back(q->FieldByName("NAME")->AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"Ada", "Cy"}));
    EXPECT_EQ(q->RecordCount(), 2);
    q->Close();
    q->ParamByName("id")->SetAsInteger(2);
    q->Open();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Bob");
    EXPECT_EQ(q->RecordCount(), 1);
    q->Close();

    // Names differing only in case are one parameter here and one variable in
    // the driver, though SQLite holds them in separate engine parameters.
    TSqliteQuery* mixed = Query("select id from customers where id = :ID or id = :id + 1 or id = :Id + 2");
    ASSERT_EQ(mixed->GetParamsCount(), 3);
    mixed->ParamByName("id")->SetAsInteger(1);
    mixed->Open();
    EXPECT_EQ(mixed->RecordCount(), 3);

    // Without the second occurrence bound, order 12 would stay unchanged.
    TSqliteQuery* change =
        Query("update orders set note = :note where id = :who + 9 or (customer_id = 3 and :who = 1)");
    change->ParamByName("note")->SetAsString("seen");
    change->ParamByName("who")->SetAsInteger(1);
    change->ExecSQL();
    EXPECT_EQ(change->GetRowsAffected(), 2);
}

TEST_F(SqliteDataset, ExplicitPrepareKeepsTheSessionHeldAcrossOpenAndClose) {
    TSqliteQuery* q = Query("select id from customers");
    q->Prepare();
    EXPECT_EQ(Session->HoldCount(), 1);
    q->Open();
    q->Close();
    EXPECT_TRUE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 1);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 3);
    q->Close();
    q->UnPrepare();
    EXPECT_EQ(Session->HoldCount(), 0);
}

TEST_F(SqliteDataset, AReadOnlyDatasetOpensItsCursorReadOnly) {
    TSqliteQuery* q = Query("select id, name from customers");
    q->Open();
    EXPECT_TRUE(q->Statement()->ReadOnly());
    EXPECT_THROW(q->Edit(), EDatabaseError);
    q->Close();
    q->SetReadOnly(false);
    q->Open();
    EXPECT_FALSE(q->Statement()->ReadOnly());
}

TEST_F(SqliteDataset, MovingTheMasterReopensTheDetailEditingAMasterFieldDoesNot) {
    TSqliteQuery* master = Query("select id, name from customers order by id");
    master->SetReadOnly(false);
    TSqliteQuery* detail = Query("select id, amount from orders where customer_id = :id order by id");
    TDataSource source(nullptr);
    source.SetDataSet(master);
    detail->SetDataSource(&source);
    int32_t detailOpens = 0;
    detail->AfterOpen = [&](TDataSet*) { ++detailOpens; };
    master->Open();
    detail->Open();
    auto ids = [detail] {
        std::vector<int32_t> result;
        for (detail->First(); !detail->Eof(); detail->Next())
            result.push_back(detail->FieldByName("ID")->AsInteger());
        return result;
    };
    EXPECT_EQ(ids(), (std::vector<int32_t>{10, 11}));
    detailOpens = 0;
    master->Next();
    EXPECT_EQ(detailOpens, 1);
    EXPECT_TRUE(ids().empty()) << "Bob has no orders";
    master->Next();
    EXPECT_EQ(ids(), (std::vector<int32_t>{12}));
    EXPECT_FALSE(detail->ParamByName("id")->Bound()) << "the next open reads the master again";

    master->Edit();
    detailOpens = 0;
    master->FieldByName("NAME")->SetAsString("Cyrus");
    EXPECT_EQ(detailOpens, 0);
    master->Cancel();

    // A parameter given its own value no longer follows the master.
    detail->Close();
    detail->ParamByName("id")->SetAsInteger(1);
    detail->Open();
    EXPECT_EQ(ids(), (std::vector<int32_t>{10, 11}));
    detail->SetDataSource(nullptr);
}

TEST_F(SqliteDataset, ExecSqlReportsTheRowsItChanged) {
    TSqliteQuery* q = Query("update orders set amount = amount * 2 where customer_id = :who");
    q->ParamByName("who")->SetAsInteger(1);
    q->ExecSQL();
    EXPECT_EQ(q->GetRowsAffected(), 2);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(Session->HoldCount(), 0);
    TSqliteQuery* check = Query("select sum(amount) as total from orders where customer_id = 1");
    check->Open();
    EXPECT_EQ(check->FieldByName("TOTAL")->AsString(), "25.5")
        << "an expression keeps the engine's own value";

    q->Prepare();
    q->ParamByName("who")->SetAsInteger(3);
    q->ExecSQL();
    EXPECT_EQ(q->GetRowsAffected(), 1);
    EXPECT_TRUE(q->Prepared());
    q->UnPrepare();
}

TEST_F(SqliteDataset, EngineErrorsArriveWithTheirCodeAndLeaveNoHold) {
    TSqliteQuery* q = Query("select missing from nowhere");
    try {
        q->Open();
        FAIL();
    } catch (const ELumraDatasetError& e) {
        EXPECT_LT(e.ErrorCode(), 0);
        EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(Session->HoldCount(), 0);
    TSqliteQuery* blank = Query("\n");
    try {
        blank->Open();
        FAIL() << "a single empty line reaches the engine, which finds no statement in it";
    } catch (const ELumraDatasetError& e) {
        EXPECT_LT(e.ErrorCode(), 0);
    }
    EXPECT_EQ(Session->HoldCount(), 0);
    TSqliteQuery* bad = Query("insert into customers values (1, 'dup', null)");
    EXPECT_THROW(bad->ExecSQL(), ELumraDatasetError);
    EXPECT_EQ(Session->HoldCount(), 0);
    TSqliteQuery* count = Query("select count(*) as n from customers");
    count->Open();
    EXPECT_EQ(count->FieldByName("N")->AsString(), "3") << "the failed insert wrote nothing";
}

TEST_F(SqliteDataset, CalculatedFieldsLiveInTheirOwnAreaOfEachRecord) {
    TSqliteQuery* q = Query("select id, amount from orders order by id");
    q->Prepare();
    q->FieldDefs()->Update();
    for (int32_t i = 0; i < q->FieldDefs()->Count(); ++i)
        q->FieldDefs()->Items(i)->CreateField(q);
    auto* doubled = new TFloatField(q);
    doubled->SetFieldName("DOUBLED");
    doubled->SetFieldKind(fkCalculated);
    doubled->SetDataSet(q);
    int32_t calculations = 0;
    bool dataFieldRefused = false;
    q->OnCalcFields = [&](TDataSet* ds) {
        ++calculations;
        ds->FieldByName("DOUBLED")->SetAsFloat(ds->FieldByName("AMOUNT")->AsFloat() * 2);
        try {
            ds->FieldByName("AMOUNT")->SetAsFloat(0);
        } catch (const EDatabaseError&) {
            dataFieldRefused = true;
        }
    };
    q->Open();
    std::vector<double> values;
    for (; !q->Eof(); q->Next())
        values.push_back(q->FieldByName("DOUBLED")->AsFloat());
    EXPECT_EQ(values, (std::vector<double>{11.0, 14.5, 2.0}));
    EXPECT_EQ(calculations, 3) << "one calculation per fetched row, none for the end of the rows";
    EXPECT_TRUE(dataFieldRefused) << "data fields cannot be written while calculating";
    EXPECT_EQ(q->BookmarkOfs(), q->GetRecordSize() + q->CalcFieldsSize());
    EXPECT_EQ(q->RecBufSize(), q->IndicatorOfs() + q->Statement()->IndicatorSize());
    q->Close();
    q->UnPrepare();
}

TEST_F(SqliteDataset, KeyFieldsComeFromTheCatalogueOnlyWhenInsertsAreSynchronised) {
    Run("create table pairs (a integer, b varchar(5), c integer, primary key (c, a))");
    Run("create table loose (x integer, y integer)");
    auto keyNames = [](TSqliteQuery* q) {
        std::vector<std::string> names;
        for (int32_t i = 0; i < q->KeyFields()->Count(); ++i)
            names.push_back(UpperCase(static_cast<TField*>(q->KeyFields()->Items(i))->FieldName()));
        return names;
    };
    TSqliteQuery* q = Query("select a, b, c from pairs");
    q->SetReadOnly(false);
    q->Open();
    EXPECT_TRUE(keyNames(q).empty()) << "without SyncInserts no key fields are looked up";
    q->Close();
    q->SetSyncInserts(true);
    q->Open();
    EXPECT_EQ(keyNames(q), (std::vector<std::string>{"C", "A"})) << "the primary key in key order";
    q->Close();
    EXPECT_EQ(q->KeyFields()->Count(), 0) << "cleared at close";

    TSqliteQuery* loose = Query("select x, y from loose");
    loose->SetReadOnly(false);
    loose->SetSyncInserts(true);
    loose->Open();
    const std::vector<std::string> all = keyNames(loose);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], "X") << "a table without key columns is identified by every field";
    EXPECT_EQ(all[1], "Y");
    EXPECT_EQ(static_cast<int32_t>(all.size()), loose->FieldCount());
    EXPECT_EQ(Session->HoldCount(), 1) << "the catalogue statement took no hold of its own";
}

TEST_F(SqliteDataset, ClosingTheSessionClosesAndUnpreparesOpenDatasets) {
    TSqliteQuery* q = Query("select id, name from customers");
    TSqliteQuery* prepared = Query("select id from orders");
    q->Open();
    prepared->Prepare();
    prepared->Open();
    Session->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    EXPECT_FALSE(prepared->Active());
    EXPECT_FALSE(prepared->Prepared()) << "a disconnect ends even an explicit prepare";
    EXPECT_EQ(Session->HoldCount(), 0);
    q->Open();
    EXPECT_EQ(q->FieldByName("NAME")->AsString(), "Ada") << "opening again reconnects";
    EXPECT_EQ(Session->HoldCount(), 1);
}
