// The host dataset's contract with its descendants and data links, shown
// through an in-memory descendant: buffer ring and link windows, editing
// order and error actions, calculated and lookup fields, master-detail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "MemDataSet.h"
#include "host/Streams.h"

using namespace host;
using memds::TMemDataSet;

namespace {

// A link that remembers what it was told.
class TRecordingLink : public TDataLink {
public:
    int32_t Changed = 0, Scrolled = 0, ActiveChanges = 0;
    int32_t LastDistance = 0;
    void ActiveChanged() override { ++ActiveChanges; }
    void DataSetChanged() override { ++Changed; }
    void DataSetScrolled(int32_t distance) override {
        ++Scrolled;
        LastDistance = distance;
    }
};

std::unique_ptr<TMemDataSet> MakeNumbers(int32_t rows) {
    auto ds = std::make_unique<TMemDataSet>(
        nullptr, std::vector<memds::ColumnSpec>{{"ID", ftInteger}, {"NAME", ftString, 10}});
    for (int32_t i = 1; i <= rows; ++i)
        ds->AddRow({Variant(i), Variant("n" + std::to_string(i))});
    return ds;
}

// The ID shown at each window position of a link.
std::vector<int32_t> Window(TDataLink& link) {
    std::vector<int32_t> ids;
    const int32_t saved = link.ActiveRecord();
    for (int32_t i = 0; i < link.RecordCount(); ++i) {
        link.SetActiveRecord(i);
        ids.push_back(link.DataSet()->FieldByName("ID")->AsInteger());
    }
    link.SetActiveRecord(saved);
    return ids;
}

} // namespace

TEST(DataSetBrowsing, LinksOfDifferentBufferCountsSeeWindowsAroundTheActiveRecord) {
    auto ds = MakeNumbers(20);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    TRecordingLink grid, small, single;
    grid.SetBufferCount(5);
    small.SetBufferCount(3);
    grid.SetDataSource(&src);
    small.SetDataSource(&src);
    single.SetDataSource(&src);
    ds->Open();

    EXPECT_EQ(ds->BufferCount(), 5);
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Window(small), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(ds->Bof());

    // Within the ring: the grid's active row moves, nothing is fetched.
    const int32_t fetched = ds->FetchCount;
    EXPECT_EQ(ds->MoveBy(3), 3);
    EXPECT_EQ(ds->FetchCount, fetched);
    EXPECT_EQ(grid.ActiveRecord(), 3);
    EXPECT_EQ(small.ActiveRecord(), 2); // the smaller window slid to keep ID 4 visible
    EXPECT_EQ(Window(small), (std::vector<int32_t>{2, 3, 4}));
    EXPECT_EQ(single.ActiveRecord(), 0);

    // Across the ring's end: records rotate in, windows scroll with them.
    EXPECT_EQ(ds->MoveBy(4), 4);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 8);
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{4, 5, 6, 7, 8}));
    EXPECT_EQ(grid.ActiveRecord(), 4);
    EXPECT_EQ(Window(small), (std::vector<int32_t>{6, 7, 8}));
    EXPECT_GT(grid.Scrolled, 0);

    // Back across the start of the ring.
    EXPECT_EQ(ds->MoveBy(-6), -6);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(grid.ActiveRecord(), 0);
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{2, 3, 4, 5, 6}));

    // Past both ends.
    EXPECT_EQ(ds->MoveBy(-5), -1);
    EXPECT_TRUE(ds->Bof());
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{16, 17, 18, 19, 20}));
    ds->Next();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 20);
    ds->Close();
    EXPECT_FALSE(grid.Active());
}

TEST(DataSetBrowsing, ResyncAfterAChangeKeepsTheRecordAtItsScreenPosition) {
    auto ds = MakeNumbers(12);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    TRecordingLink grid;
    grid.SetBufferCount(4);
    grid.SetDataSource(&src);
    ds->Open();
    ds->MoveBy(6); // ID 7, shown in the last row of the grid
    ASSERT_EQ(grid.ActiveRecord(), 3);

    ds->FRows[3].Data[0] = 0; // ID 4 becomes null behind the dataset's back
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("seven");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 7);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "seven");
    EXPECT_EQ(grid.ActiveRecord(), 3);
    const std::vector<int32_t> window = Window(grid);
    EXPECT_EQ(window[3], 7);
    EXPECT_EQ(window[0], 0); // the re-read row 4 shows its null ID

    // Resync reads the record at the cursor, so the cursor goes to the active record first.
    ds->UpdateCursorPos();
    ds->Resync({rmCenter});
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 7);
    EXPECT_EQ(ds->ActiveRecord(), 1); // (4 - 1) / 2
}

TEST(DataSetBrowsing, BookmarksSurviveScrollingAndCompareInRecordOrder) {
    auto ds = MakeNumbers(30);
    ds->Open();
    ds->MoveBy(4);
    TBookmark five = ds->GetBookmark();
    const TBookmarkStr fiveStr = ds->Bookmark();
    ds->Last();
    TBookmark thirty = ds->GetBookmark();
    ds->First();
    EXPECT_EQ(ds->CompareBookmarks(five, thirty), -1);
    EXPECT_EQ(ds->CompareBookmarks(nullptr, thirty), -1);
    EXPECT_EQ(ds->CompareBookmarks(nullptr, nullptr), 0);

    int32_t scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    ds->GotoBookmark(five);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 5);
    EXPECT_EQ(scrolls, 1);
    ds->MoveBy(10);
    ds->SetBookmark(fiveStr);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 5);
    EXPECT_EQ(ds->RecNo(), 5);
    EXPECT_TRUE(ds->BookmarkValid(thirty));
    ds->FreeBookmark(five);
    ds->FreeBookmark(thirty);
}

TEST(DataSetBrowsing, GotoBookmarkOfAVanishedRecordRaisesRecordNotFound) {
    auto ds = MakeNumbers(5);
    ds->Open();
    ds->MoveBy(2);
    const TBookmarkStr three = ds->Bookmark();
    ds->First();
    ds->FRows.erase(ds->FRows.begin() + 2); // deleted behind the dataset's back
    EXPECT_FALSE(ds->BookmarkValid(const_cast<char*>(three.data())));
    int32_t scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    try {
        ds->SetBookmark(three);
        FAIL();
    } catch (EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("The record can no longer be found"), std::string::npos);
    }
    EXPECT_EQ(scrolls, 0);
}

TEST(DataSetBrowsing, EmptyDatasetIsAtBothEndsAndEditInserts) {
    auto ds = MakeNumbers(0);
    EXPECT_TRUE(ds->IsEmpty()) << "a closed dataset shows no record";
    ds->Open();
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    ds->Edit();
    EXPECT_EQ(ds->State(), dsInsert);
    ds->FieldByName("ID")->SetAsInteger(1);
    ds->Post();
    EXPECT_EQ(ds->FRows.size(), 1u);
    EXPECT_FALSE(ds->IsEmpty());
    ds->Close();
    EXPECT_TRUE(ds->IsEmpty());
}

// ----- editing

class DataSetEditing : public ::testing::Test {
protected:
    void SetUp() override {
        ds = MakeNumbers(5);
        auto log = [this](const char* name) {
            return [this, name](TDataSet* d) {
                static const char* states[] = {"Inactive", "Browse", "Edit", "Insert"};
                ds->Log.push_back(std::string(name) + ":" +
                                  (d->State() <= dsInsert ? states[d->State()] : "?"));
            };
        };
        ds->BeforeEdit = log("BeforeEdit");
        ds->AfterEdit = log("AfterEdit");
        ds->BeforeInsert = log("BeforeInsert");
        ds->AfterInsert = log("AfterInsert");
        ds->OnNewRecord = log("OnNewRecord");
        ds->BeforePost = log("BeforePost");
        ds->AfterPost = log("AfterPost");
        ds->BeforeCancel = log("BeforeCancel");
        ds->AfterCancel = log("AfterCancel");
        ds->BeforeDelete = log("BeforeDelete");
        ds->AfterDelete = log("AfterDelete");
        ds->BeforeScroll = log("BeforeScroll");
        ds->AfterScroll = log("AfterScroll");
        ds->Open();
        ds->Log.clear();
    }
    std::unique_ptr<TMemDataSet> ds;
};

TEST_F(DataSetEditing, EditPostRunsInTheHostsOrderWithTheHostsStates) {
    ds->Next();
    ds->Log.clear();
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    ds->FieldByName("NAME")->SetAsString("two");
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    EXPECT_EQ(ds->Log,
              (std::vector<std::string>{"BeforeEdit:Browse", "InternalEdit:Browse", "AfterEdit:Edit",
                                        "BeforePost:Edit", "InternalPost:Edit", "AfterPost:Browse"}));
    EXPECT_EQ(ds->Text(1, 1), "two");
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(DataSetEditing, CancelRestoresTheRecordFromTheCursor) {
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("changed");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "n1");
    EXPECT_EQ(ds->Log,
              (std::vector<std::string>{"BeforeEdit:Browse", "InternalEdit:Browse", "AfterEdit:Edit",
                                        "BeforeCancel:Edit", "InternalCancel:Edit", "AfterCancel:Browse"}));
}

TEST_F(DataSetEditing, InsertPutsTheNewRecordBeforeTheCurrentOneAndAppendAfterTheLast) {
    ds->MoveBy(2); // ID 3
    ds->Log.clear();
    ds->Insert();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(ds->RecNo(), -1);
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    ds->FieldByName("ID")->SetAsInteger(100);
    ds->Post();
    EXPECT_EQ(ds->Log,
              (std::vector<std::string>{"BeforeInsert:Browse", "BeforeScroll:Browse", "InternalInsert:Browse",
                                        "OnNewRecord:Insert", "AfterInsert:Insert", "AfterScroll:Insert",
                                        "BeforePost:Insert", "InternalPost:Insert", "AfterPost:Browse"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 100);
    EXPECT_EQ(ds->RecNo(), 3);

    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(200);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 200);
    EXPECT_EQ(ds->RecNo(), 7);
    ds->Next();
    EXPECT_TRUE(ds->Eof());

    ds->InsertRecord({Variant(int32_t{300}), Variant("ins")});
    ds->AppendRecord({Variant(int32_t{400}), Variant("app")});
    EXPECT_EQ(ds->FRows.size(), 9u);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "app");
    EXPECT_EQ(ds->Text(6, 1), "ins");
}

TEST_F(DataSetEditing, AppendRecordRunsTheInsertEventsAndKeepsDefaultsForEmptyValues) {
    auto defaults = ds->AfterInsert;
    ds->AfterInsert = [&](TDataSet* d) {
        defaults(d);
        d->FieldByName("ID")->SetAsInteger(-1);
        d->FieldByName("NAME")->SetAsString("default");
    };
    ds->AppendRecord({Variant(int32_t{7}), Variant()});
    EXPECT_EQ(ds->Log,
              (std::vector<std::string>{"BeforeInsert:Browse", "BeforeScroll:Browse", "OnNewRecord:Insert",
                                        "AfterInsert:Insert", "BeforePost:Insert", "InternalAddRecord:append",
                                        "AfterPost:Browse", "AfterScroll:Browse"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 7);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "default");
    EXPECT_EQ(ds->RecNo(), 6);
}

TEST_F(DataSetEditing, DeleteRemovesTheRecordAndShowsItsSuccessor) {
    ds->Next();
    ds->Log.clear();
    ds->Delete();
    EXPECT_EQ(ds->Log,
              (std::vector<std::string>{"BeforeDelete:Browse", "BeforeScroll:Browse", "InternalDelete",
                                        "AfterDelete:Browse", "AfterScroll:Browse"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    ds->Last();
    ds->Delete();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
}

// A new record has no row of its own; leaving it must bring back the record
// it was inserted in front of, whatever the size of the ring.
TEST(DataSetInserting, LeavingANewRecordShowsTheRecordItWasInsertedBefore) {
    for (int32_t buffers : {1, 3, 5}) {
        SCOPED_TRACE(buffers);
        auto ds = MakeNumbers(6);
        TDataSource src(nullptr);
        src.SetDataSet(ds.get());
        TRecordingLink grid;
        grid.SetBufferCount(buffers);
        grid.SetDataSource(&src);
        ds->Open();
        ds->MoveBy(3); // ID 4

        ds->Insert();
        ds->Cancel();
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
        EXPECT_EQ(ds->RecNo(), 4);

        ds->OnNewRecord = [](TDataSet*) { DatabaseError("no new records today"); };
        EXPECT_THROW(ds->Insert(), EDatabaseError);
        EXPECT_EQ(ds->State(), dsBrowse);
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
        ds->OnNewRecord = nullptr;

        ds->Insert();
        ds->FieldByName("ID")->SetAsInteger(40);
        ds->Post();
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 40);
        EXPECT_EQ(ds->RecNo(), 4);
        ds->Next();
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
        ds->Close();
    }
}

TEST(DataSetInserting, AppendShowsTheNewRecordBelowTheLastOnesAndCancelShowsTheLast) {
    auto ds = MakeNumbers(10);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    TRecordingLink grid, pair;
    grid.SetBufferCount(4);
    pair.SetBufferCount(2);
    grid.SetDataSource(&src);
    pair.SetDataSource(&src);
    ds->Open();
    ds->Next(); // ID 2
    ds->Append();
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{8, 9, 10, 0}));
    EXPECT_EQ(grid.ActiveRecord(), 3);
    EXPECT_EQ(Window(pair), (std::vector<int32_t>{10, 0}));
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 10);
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{7, 8, 9, 10}));
    EXPECT_EQ(Window(pair), (std::vector<int32_t>{9, 10}));
    EXPECT_EQ(ds->RecNo(), 10);
}

TEST(DataSetInserting, ARingGrowingDuringAnInsertShowsTheRecordsAfterTheNewOne) {
    auto ds = MakeNumbers(6);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    TRecordingLink single;
    single.SetDataSource(&src);
    ds->Open();
    ds->MoveBy(2); // ID 3
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(30);

    TRecordingLink grid;
    grid.SetBufferCount(3);
    grid.SetDataSource(&src);
    EXPECT_EQ(Window(grid), (std::vector<int32_t>{30, 3, 4}));
    EXPECT_EQ(ds->State(), dsInsert);
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
}

TEST_F(DataSetEditing, PostErrorActionsRetryAbortOrFail) {
    struct Case {
        TDataAction Action;
        int32_t Failures;
        const char* Expect; // "ok", "abort", "fail"
    };
    for (const Case& c : {Case{daRetry, 2, "ok"}, Case{daAbort, 1, "abort"}, Case{daFail, 1, "fail"}}) {
        SCOPED_TRACE(c.Expect);
        int32_t asked = 0;
        ds->OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& action) {
            EXPECT_STREQ(e.what(), "post refused");
            ++asked;
            action = c.Action;
        };
        ds->Edit();
        ds->FieldByName("NAME")->SetAsString("x");
        ds->FailPosts = c.Failures;
        const std::string result = [&] {
            try {
                ds->Post();
                return "ok";
            } catch (EAbort&) {
                return "abort";
            } catch (EDatabaseError&) {
                return "fail";
            }
        }();
        EXPECT_EQ(result, c.Expect);
        EXPECT_EQ(asked, c.Failures);
        EXPECT_EQ(ds->State(), std::string(c.Expect) == "ok" ? dsBrowse : dsEdit);
        if (ds->State() == dsEdit) ds->Cancel();
    }
}

TEST_F(DataSetEditing, ReadOnlyDatasetRefusesEditingAndFieldsRefuseWritesOutsideEditing) {
    EXPECT_THROW(ds->FieldByName("ID")->SetAsInteger(9), EDatabaseError);
    ds->ReadOnlyData = true;
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_THROW(ds->Insert(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(DataSetEditing, RequiredFieldsAreCheckedAtPost) {
    ds->FieldByName("NAME")->SetRequired(true);
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(9);
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsInsert);
    ds->Cancel();
    EXPECT_EQ(ds->FRows.size(), 5u);
}

// ----- calculated and lookup fields

TEST(DataSetCalcFields, CalculatedAndLookupFieldsAreComputedOnFetchOnly) {
    auto colors = std::make_unique<TMemDataSet>(
        nullptr, std::vector<memds::ColumnSpec>{{"CID", ftInteger}, {"CNAME", ftString, 10}});
    colors->AddRow({Variant(int32_t{1}), Variant("red")});
    colors->AddRow({Variant(int32_t{2}), Variant("blue")});
    colors->Open();

    auto ds = std::make_unique<TMemDataSet>(
        nullptr, std::vector<memds::ColumnSpec>{{"ID", ftInteger}, {"COLOR", ftInteger}, {"PRICE", ftFloat}});
    ds->AddRow({Variant(int32_t{1}), Variant(int32_t{2}), Variant(2.5)});
    ds->AddRow({Variant(int32_t{2}), Variant(int32_t{1}), Variant(4.0)});
    ds->AddRow({Variant(int32_t{3}), Variant(int32_t{9}), Variant::Null()});
    // Persistent fields: data, one calculated, one lookup.
    for (auto [name, type] : {std::pair{"ID", ftInteger}, std::pair{"COLOR", ftInteger}}) {
        TField* f = CreateFieldOfType(type, ds.get());
        f->SetFieldName(name);
        f->SetDataSet(ds.get());
    }
    auto* price = new TFloatField(ds.get());
    price->SetFieldName("PRICE");
    price->SetDataSet(ds.get());
    auto* doubled = new TFloatField(ds.get());
    doubled->SetFieldName("DOUBLED");
    doubled->SetFieldKind(fkCalculated);
    doubled->SetDataSet(ds.get());
    auto* colorName = new TStringField(ds.get());
    colorName->SetFieldName("COLORNAME");
    colorName->SetSize(10);
    colorName->SetFieldKind(fkLookup);
    colorName->SetLookupDataSet(colors.get());
    colorName->SetKeyFields("COLOR");
    colorName->SetLookupKeyFields("CID");
    colorName->SetLookupResultField("CNAME");
    colorName->SetDataSet(ds.get());

    int32_t calcs = 0;
    ds->OnCalcFields = [&](TDataSet* d) {
        ++calcs;
        EXPECT_EQ(d->State(), dsCalcFields);
        const TField* p = d->FieldByName("PRICE");
        if (!p->IsNull()) d->FieldByName("DOUBLED")->SetAsFloat(p->AsFloat() * 2);
        // Data fields are not writable while calculating.
        EXPECT_THROW(d->FieldByName("ID")->SetAsInteger(0), EDatabaseError);
    };
    ds->Open();
    EXPECT_FALSE(ds->DefaultFields());
    EXPECT_EQ(ds->CalcFieldsSize(), (8 + 1) + (11 + 1));
    EXPECT_EQ(doubled->Offset(), 0);
    EXPECT_EQ(colorName->Offset(), 9);
    EXPECT_LT(doubled->FieldNo(), 0);
    EXPECT_EQ(calcs, ds->FetchCount);

    const int32_t before = calcs;
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(doubled->AsFloat(), 5.0);
        EXPECT_EQ(colorName->AsString(), "blue");
    }
    EXPECT_EQ(calcs, before); // reading never recomputes

    ds->Next();
    EXPECT_EQ(colorName->AsString(), "red");
    EXPECT_DOUBLE_EQ(doubled->AsFloat(), 8.0);
    ds->Next();
    EXPECT_TRUE(colorName->IsNull());
    EXPECT_TRUE(doubled->IsNull());
    EXPECT_EQ(calcs, ds->FetchCount);

    const Variant values = ds->FieldValues("ID;COLORNAME;PRICE");
    ASSERT_TRUE(values.IsArray());
    EXPECT_EQ(values[0].AsInteger(), 3);
    EXPECT_TRUE(values[1].IsNull());
    EXPECT_TRUE(values[2].IsNull());
    EXPECT_THROW(ds->FieldValues("ID;NOPE"), EDatabaseError);

    // With AutoCalcFields off an edit does not recompute; on, it does.
    ds->First();
    ds->SetAutoCalcFields(false);
    ds->Edit();
    price->SetAsFloat(10);
    EXPECT_DOUBLE_EQ(doubled->AsFloat(), 5.0);
    ds->SetAutoCalcFields(true);
    price->SetAsFloat(11);
    EXPECT_DOUBLE_EQ(doubled->AsFloat(), 22.0);
    ds->Cancel();
    EXPECT_DOUBLE_EQ(doubled->AsFloat(), 5.0);
    ds->Close();
    colors->Close();
}

TEST(DataSetFields, DefaultFieldsFollowTheFieldDefinitionsAndDisappearAtClose) {
    auto ds = MakeNumbers(2);
    ds->Open();
    ASSERT_EQ(ds->FieldCount(), 2);
    EXPECT_TRUE(ds->DefaultFields());
    EXPECT_NE(dynamic_cast<TIntegerField*>(ds->FieldByName("id")), nullptr);
    auto* name = dynamic_cast<TStringField*>(ds->FieldByName("NAME"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->Size(), 10);
    EXPECT_EQ(name->DataSize(), 11);
    EXPECT_EQ(ds->FieldByName("ID")->Value().AsInteger(), 1);
    try {
        ds->FieldByName("MISSING");
        FAIL();
    } catch (EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("MISSING"), std::string::npos);
    }
    std::vector<TField*> list;
    ds->GetFieldList(list, "NAME; ID");
    EXPECT_EQ(list, (std::vector<TField*>{name, ds->FieldByName("ID")}));
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("a much longer text");
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a much lon");
    ds->FieldByName("ID")->Clear();
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 0);
    ds->Cancel();
    ds->Close();
    EXPECT_EQ(ds->FieldCount(), 0);
}

namespace {

// Stores text in upper case and shows it in lower case, as a dataset whose
// engine uses another code page would.
class TTranslatingDataSet : public TMemDataSet {
public:
    using TMemDataSet::TMemDataSet;
    int32_t Translate(const char* src, char* dest, bool toOem) override {
        const int32_t len = TDataSet::Translate(src, dest, toOem);
        for (int32_t i = 0; i < len; ++i)
            dest[i] = static_cast<char>(toOem ? std::toupper(static_cast<unsigned char>(dest[i]))
                                              : std::tolower(static_cast<unsigned char>(dest[i])));
        return len;
    }
};

} // namespace

TEST(DataSetFields, StringAndMemoFieldsTransliterateByDefault) {
    TComponent owner(nullptr);
    EXPECT_TRUE(TStringField(&owner).Transliterate());
    EXPECT_TRUE(TMemoField(&owner).Transliterate());
    EXPECT_FALSE(TBlobField(&owner).Transliterate());
    EXPECT_FALSE(TIntegerField(&owner).Transliterate());

    TTranslatingDataSet ds(nullptr, {{"ID", ftInteger}, {"NAME", ftString, 10}});
    ds.AddRow({Variant(int32_t{1}), Variant("STORED")});
    ds.Open();
    TField* name = ds.FieldByName("NAME");
    EXPECT_EQ(name->AsString(), "stored");
    ds.Edit();
    name->SetAsString("Mixed");
    ds.Post();
    EXPECT_EQ(ds.Text(0, 1), "MIXED");
    EXPECT_EQ(name->AsString(), "mixed");

    name->SetTransliterate(false);
    EXPECT_EQ(name->AsString(), "MIXED");
    ds.Close();
}

// ----- master-detail

namespace {

// A detail dataset reopens when its master moves, as a detail query does.
class TDetailLink : public TDataLink {
public:
    explicit TDetailLink(TMemDataSet* detail) : FDetail(detail) {}
    int32_t Reopens = 0;
    void ActiveChanged() override {
        if (FDetail->Active()) Reopen();
    }
    void RecordChanged(TField* field) override {
        if (!field && FDetail->Active()) Reopen();
    }

private:
    void Reopen() {
        ++Reopens;
        FDetail->Close();
        FDetail->Open();
    }
    TMemDataSet* FDetail;
};

} // namespace

TEST(DataSetMasterDetail, DetailFollowsMasterRecordMovesButNotFieldEdits) {
    auto master = MakeNumbers(3);
    auto detail = MakeNumbers(2);
    TDataSource masterSource(nullptr);
    masterSource.SetDataSet(master.get());
    TDetailLink link(detail.get());
    link.SetDataSource(&masterSource);
    detail->MasterSource = &masterSource;
    int32_t dataChanges = 0, stateChanges = 0;
    masterSource.OnDataChange = [&](TObject*, TField*) { ++dataChanges; };
    masterSource.OnStateChange = [&](TObject*) { ++stateChanges; };

    detail->Open();
    master->Open();
    EXPECT_EQ(link.Reopens, 1); // the master became active
    EXPECT_EQ(masterSource.State(), dsBrowse);
    master->Next();
    EXPECT_EQ(link.Reopens, 2);
    master->Edit(); // entering edit state is a whole-record change (deRecordChange)
    EXPECT_EQ(masterSource.State(), dsEdit);
    EXPECT_EQ(link.Reopens, 3);
    master->FieldByName("NAME")->SetAsString("edited");
    EXPECT_EQ(link.Reopens, 3);
    master->Post(); // the record is re-read: a whole-record change
    EXPECT_EQ(link.Reopens, 4);
    EXPECT_GT(dataChanges, 0);
    EXPECT_GE(stateChanges, 3);

    // Controls disabled: no notifications until enabled again.
    master->DisableControls();
    master->Next();
    master->Prior();
    EXPECT_EQ(link.Reopens, 4);
    master->EnableControls();
    EXPECT_EQ(link.Reopens, 5);

    masterSource.SetEnabled(false);
    EXPECT_FALSE(link.Active());
    masterSource.SetEnabled(true);
    EXPECT_TRUE(link.Active());
}

TEST(DataSetMasterDetail, CircularLinksAreRefused) {
    auto a = MakeNumbers(1);
    auto b = MakeNumbers(1);
    TDataSource sa(nullptr), sb(nullptr);
    sa.SetDataSet(a.get());
    b->MasterSource = &sa; // b is a detail of a
    EXPECT_TRUE(b->IsLinkedTo(&sa) == false);
    // a as a detail of b would close the loop.
    sb.SetDataSet(b.get());
    EXPECT_TRUE(a->IsLinkedTo(&sb));
    try {
        sa.SetDataSet(b.get());
        FAIL();
    } catch (EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Circular datalinks are not allowed"), std::string::npos);
    }
    EXPECT_EQ(sa.DataSet(), a.get());
}

TEST(DataSetMasterDetail, DestroyingTheDatasetDetachesItsDataSources) {
    TDataSource src(nullptr);
    TRecordingLink link;
    link.SetDataSource(&src);
    {
        auto ds = MakeNumbers(3);
        src.SetDataSet(ds.get());
        ds->Open();
        EXPECT_TRUE(link.Active());
    }
    EXPECT_EQ(src.DataSet(), nullptr);
    EXPECT_FALSE(link.Active());
}

namespace {

// Serves each record's memo as a stream that gives at most seven bytes per
// read, as a stream over a network or a file may.
class TTrickleStream : public TStream {
public:
    explicit TTrickleStream(std::string data) : FData(std::move(data)) {}
    int32_t Read(void* buffer, int32_t count) override {
        const int64_t n = std::min<int64_t>({count, 7, static_cast<int64_t>(FData.size()) - FPosition});
        if (n <= 0) return 0;
        std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        FPosition = origin == soFromBeginning ? offset
                    : origin == soFromCurrent ? FPosition + offset
                                              : static_cast<int64_t>(FData.size()) + offset;
        return FPosition;
    }
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }

private:
    std::string FData;
    int64_t FPosition = 0;
};

class TMemoDataSet : public TMemDataSet {
public:
    using TMemDataSet::TMemDataSet;
    std::unique_ptr<TStream> CreateBlobStream(TField*, TBlobStreamMode) override {
        const int32_t id = FieldByName("ID")->AsInteger();
        if (id == 0) return nullptr;
        return std::make_unique<TTrickleStream>(std::string(static_cast<size_t>(id), 'm') + "!");
    }
};

} // namespace

TEST(DataSetFields, AMemoReadsWholeThroughTheDatasetsBlobStreamByDefault) {
    TMemoDataSet ds(nullptr, {{"ID", ftInteger}, {"NOTE", ftMemo}});
    for (const int32_t id : {1, 20, 1000, 0})
        ds.AddRow({Variant(id), Variant::Null()});
    ds.Open();
    TField* note = ds.FieldByName("NOTE");
    std::string buffer = "left over";
    EXPECT_EQ(ds.GetBlobFieldData(note->FieldNo(), buffer), 2);
    EXPECT_EQ(buffer, "m!");
    for (const int32_t id : {1, 20, 1000}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(note->AsString(), std::string(static_cast<size_t>(id), 'm') + "!");
        ds.Next();
    }
    // A dataset that gives no stream is an error, not an empty value.
    EXPECT_THROW(note->AsString(), EDatabaseError);
    EXPECT_THROW(ds.GetBlobFieldData(99, buffer), EDatabaseError);
}

TEST(FieldLookup, TheFirstFieldWhoseNameMatchesIgnoringCaseWinsEvenOverAnExactSpelling) {
    TMemDataSet ds(nullptr, std::vector<memds::ColumnSpec>{{"ID", ftInteger}, {"NAME", ftString, 10}});
    auto* first = new TIntegerField(&ds);
    first->SetFieldName("Code");
    first->SetDataSet(&ds);
    auto* second = new TIntegerField(&ds);
    second->SetFieldName("other");
    second->SetDataSet(&ds);
    // A rename while inactive can make two names equal ignoring case.
    second->SetFieldName("code");
    EXPECT_EQ(ds.FindField("code"), first);
    EXPECT_EQ(ds.FindField("Code"), first);
    EXPECT_EQ(ds.FindField("CODE"), first);
    EXPECT_EQ(ds.FindField("other"), nullptr);
    EXPECT_EQ(ds.FieldByName("code"), first);
}
