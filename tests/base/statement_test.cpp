// The statement's own contracts, seen through a recording driver: when it
// prepares, binds, opens, fetches and unprepares; how host variables are typed
// and when they are rebound; cursor movement; column descriptions, field
// identifiers and single-column access; every wrong-state error.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "recording_driver.h"

using namespace recording;

namespace {

// The driver contract is abstract: a driver that misses an operation does not compile.
static_assert(std::is_abstract_v<TLumraSession> && std::is_abstract_v<TLumraSQL>);
static_assert(!std::is_abstract_v<RecordingSession> && !std::is_abstract_v<RecordingSQL>);

class StatementTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingSession::LibraryRefCount = 0;
        sql.SetSession(&session);
    }
    void TearDown() override { RecordingSession::LibraryRefCount = 0; }

    // The log from here on.
    std::string Since(size_t mark) const {
        return Join(Log(log.begin() + static_cast<long>(mark), log.end()));
    }

    Log log;
    RecordingSession session{&log};
    RecordingSQL sql{&log};
};

TEST_F(StatementTest, OpenWithTheSameSqlReopensWithoutPreparingAndAnotherSqlUnpreparesFirst) {
    ASSERT_TRUE(sql.Open("select a", {}, false));
    EXPECT_EQ(Join(log), "Close PrepareOpen(select a) BindOpen(null) Open(rw)");
    size_t mark = log.size();
    ASSERT_TRUE(sql.Open("select a", {}, false));
    EXPECT_EQ(Since(mark), "Close BindOpen(null) Open(rw)");
    mark = log.size();
    ASSERT_TRUE(sql.Open("select b", {}, true));
    EXPECT_EQ(Since(mark), "Close UnprepareOpen PrepareOpen(select b) BindOpen(null) Open(ro)");
    EXPECT_TRUE(sql.CursorOpen());
    EXPECT_TRUE(sql.ReadOnly());
    EXPECT_EQ(sql.RecNo(), -1);
}

TEST_F(StatementTest, OpenWriteAfterOpenReadReprepareButOpenReadAfterOpenWriteDoesNot) {
    ASSERT_TRUE(sql.OpenRead("select a"));
    size_t mark = log.size();
    ASSERT_TRUE(sql.OpenWrite("select a"));
    EXPECT_EQ(Since(mark),
              "Close UnprepareOpen PrepareOpen(select a) BindOpen(null) Open(rw) FetchFirstForward");
    mark = log.size();
    ASSERT_TRUE(sql.OpenRead("select a"));
    EXPECT_EQ(Since(mark), "Close BindOpen(null) Open(ro) FetchFirstForward");
}

TEST_F(StatementTest, ReadOpensFetchTheFirstRowAndAnnounceTheOpenOnlyWhenARowCame) {
    int opened = 0;
    sql.SetOnAfterOpen([&](host::TObject* sender) {
        EXPECT_EQ(sender, &sql);
        ++opened;
    });
    sql.Rows = 0;
    EXPECT_FALSE(sql.OpenRead("select a"));
    EXPECT_EQ(opened, 0);
    sql.Rows = 3;
    sql.SetUniDirectional(false);
    size_t mark = log.size();
    EXPECT_TRUE(sql.OpenRead("select a"));
    EXPECT_EQ(Since(mark), "Close BindOpen(null) Open(ro) FetchFirst");
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(sql.Open("select a", {}, false));
    EXPECT_EQ(opened, 2);
}

TEST_F(StatementTest, AFailedBindStopsTheOpenWithoutOpeningOrFetching) {
    sql.BindResult = false;
    size_t mark = log.size();
    EXPECT_FALSE(sql.OpenRead("select a", {1}));
    EXPECT_EQ(Since(mark), "Close SetValue(0,4,1) PrepareOpen(select a) BindOpen(null)");
    EXPECT_FALSE(sql.CursorOpen());
}

TEST_F(StatementTest, ValuesOfTheSameShapeKeepTheBoundVariablesAndOnlyRewriteTheBuffer) {
    ASSERT_TRUE(sql.OpenRead("select a", {1, "abc"}));
    TLumraVariableDefs* vars = sql.CursorVariables();
    ASSERT_EQ(vars->GetCount(), 2);
    EXPECT_EQ(vars->GetItem(0)->Name(), "?");
    EXPECT_EQ(vars->GetItem(1)->Name(), "?");
    EXPECT_EQ(vars->GetItem(0)->FieldType(), ntInteger);
    EXPECT_EQ(vars->GetItem(1)->FieldType(), ntString);
    EXPECT_EQ(vars->GetItem(1)->Size(), 255);
    EXPECT_EQ(vars->GetItem(1)->Offset(), 4);
    EXPECT_EQ(vars->GetItem(1)->ExtType(), 100 + ntString);
    EXPECT_EQ(vars->BufSize(), 259);

    size_t mark = log.size();
    ASSERT_TRUE(sql.OpenRead("select a", {2, "xyz"}));
    EXPECT_EQ(Since(mark), "Close SetValue(0,4,2) SetValue(4,255,xyz) Open(ro) FetchFirstForward");

    const std::string longText(300, 'x');
    mark = log.size();
    ASSERT_TRUE(sql.OpenRead("select a", {2, longText}));
    EXPECT_NE(Since(mark).find("BindOpen(null)"), std::string::npos);
    EXPECT_EQ(vars->GetItem(1)->FieldType(), ntMemo);
    EXPECT_EQ(vars->GetItem(1)->Size(), 300);

    // A memo never counts as unchanged: the same values bind again.
    mark = log.size();
    ASSERT_TRUE(sql.OpenRead("select a", {2, longText}));
    EXPECT_NE(Since(mark).find("BindOpen(null)"), std::string::npos);

    // Nor does a blob: bytes beyond the default length bind again on every open.
    const host::Variant bytes = host::VarArrayCreate(0, 299, host::varByte);
    for (int round = 0; round < 2; ++round) {
        mark = log.size();
        ASSERT_TRUE(sql.OpenRead("select a", {2, bytes}));
        EXPECT_NE(Since(mark).find("BindOpen(null)"), std::string::npos) << round;
    }
    EXPECT_EQ(vars->GetItem(1)->FieldType(), ntBlob);
    EXPECT_EQ(vars->GetItem(1)->Size(), 300);
}

TEST_F(StatementTest, AValueChangingShapeLeavesTheVariablesAsBuildingThemAfreshWould) {
    const std::string longText(300, 'x');
    const std::vector<std::vector<host::Variant>> rounds{{1, "abc", 2.5},
                                                         {1, host::Variant::Null(), 2.5},
                                                         {host::Variant::Null(), longText, 2.5},
                                                         {1, "abc", 2.5},
                                                         {1, "abc"}};
    for (size_t r = 0; r < rounds.size(); ++r) {
        SCOPED_TRACE("round " + std::to_string(r));
        Log freshLog;
        RecordingSession freshSession{&freshLog};
        RecordingSQL fresh{&freshLog};
        fresh.SetSession(&freshSession);
        ASSERT_TRUE(fresh.OpenRead("select a", rounds[r]));
        const size_t mark = log.size();
        ASSERT_TRUE(sql.OpenRead("select a", rounds[r]));
        if (r > 0) {
            EXPECT_NE(Since(mark).find("BindOpen(null)"), std::string::npos) << "the new shape binds again";
        }
        const TLumraVariableDefs* got = sql.CursorVariables();
        const TLumraVariableDefs* want = fresh.CursorVariables();
        ASSERT_EQ(got->GetCount(), want->GetCount());
        for (int32_t i = 0; i < got->GetCount(); ++i) {
            const TLumraFieldDef* g = got->GetItem(i);
            const TLumraFieldDef* w = want->GetItem(i);
            EXPECT_EQ(g->Name(), w->Name());
            EXPECT_EQ(g->FieldNo(), w->FieldNo());
            EXPECT_EQ(g->FieldType(), w->FieldType());
            EXPECT_EQ(g->ExtType(), w->ExtType());
            EXPECT_EQ(g->Size(), w->Size());
            EXPECT_EQ(g->Offset(), w->Offset());
            EXPECT_EQ(g->Length(), w->Length());
            EXPECT_EQ(g->Decimals(), w->Decimals());
            EXPECT_EQ(g->Nulls(), w->Nulls());
            EXPECT_EQ(g->KeyIndicator(), w->KeyIndicator());
        }
        ASSERT_EQ(got->BufSize(), want->BufSize());
        EXPECT_EQ(std::memcmp(got->Buffer(), want->Buffer(), static_cast<size_t>(got->BufSize())), 0);
    }
    RecordingSession::LibraryRefCount = 0;
}

TEST_F(StatementTest, ABlobColumnUsesTheStreamRegisteredForItNowAfterTheStreamsChange) {
    sql.Columns = {{"NOTES", ntMemo, 8}};
    ASSERT_TRUE(sql.OpenWrite("select notes"));
    EXPECT_FALSE(sql.IsFieldDirty("NOTES")); // the stream is looked up (and remembered) here
    TLumraBlobStream* first = sql.BlobManager()->BlobByName("NOTES");
    sql.BlobManager()->RemoveBlob(first);
    const std::unique_ptr<TLumraBlobStream> removed(first);
    auto* second = new RecordingBlobStream(sql.BlobManager(), "notes");
    removed->Write("abc", 3);
    EXPECT_FALSE(sql.IsFieldDirty("NOTES")) << "a stream taken out of the manager no longer counts";
    second->Write("abc", 3);
    EXPECT_TRUE(sql.IsFieldDirty("NOTES"));
    sql.BlobManager()->Clear();
    EXPECT_THROW(sql.IsFieldDirty("NOTES"), ELumraException);
}

TEST_F(StatementTest, HostVariableTypingFollowsTheVariantTypeAndTheDriversDefaultLengths) {
    const std::string text254(254, 's'), text255(255, 's');
    host::Variant bytes = host::VarArrayCreate(0, 299, host::varByte);
    host::Variant shortBytes = host::VarArrayCreate(0, 9, host::varByte);
    const struct {
        host::Variant value;
        TLumraFieldTypes type;
        int32_t size;
    } cases[] = {
        {host::Variant(int16_t{7}), ntInteger, 4},
        {host::Variant(int32_t{7}), ntInteger, 4},
        {host::Variant(1.5), ntFloat, 8},
        {host::Variant(1.5f), ntFloat, 8},
        {host::Variant(host::Currency::FromScaled(5)), ntCurrency, 8},
        {host::Variant::FromDate(40000.5), ntDateTime, 8},
        {host::Variant(text254), ntString, 255},
        {host::Variant(text255), ntMemo, 255},
        {host::Variant(u"wide"), ntString, 255},
        {host::Variant(true), ntBoolean, 2},
        {shortBytes, ntBinary, 255},
        {bytes, ntBlob, 300},
        {host::Variant(uint8_t{1}), ntUnknown, 0},
        {host::Variant::Null(), ntUnknown, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(host::VarTypeAsText(c.value.VarType()));
        // A second element keeps a lone Null from meaning "no values".
        ASSERT_TRUE(sql.Execute("call p", {c.value, 0}));
        ASSERT_EQ(sql.ExecuteVariables()->GetCount(), 2);
        EXPECT_EQ(sql.ExecuteVariables()->GetItem(0)->FieldType(), c.type);
        EXPECT_EQ(sql.ExecuteVariables()->GetItem(0)->Size(), c.size);
        EXPECT_EQ(sql.ExecuteVariables()->GetItem(0)->ExtType(), 100 + c.type);
    }
}

TEST_F(StatementTest, NoValuesOrALoneNullClearTheVariablesOnEveryOpen) {
    ASSERT_TRUE(sql.OpenRead("select a", {1}));
    for (const std::vector<host::Variant>& values :
         {std::vector<host::Variant>{}, std::vector<host::Variant>{host::Variant::Null()},
          std::vector<host::Variant>{host::Variant()}}) {
        size_t mark = log.size();
        ASSERT_TRUE(sql.OpenRead("select a", values));
        EXPECT_EQ(sql.CursorVariables()->GetCount(), 0);
        EXPECT_EQ(Since(mark), "Close BindOpen(null) Open(ro) FetchFirstForward");
    }
}

TEST_F(StatementTest, OneReadyMadeArrayStandsForItsElements) {
    const std::vector<host::Variant> values{host::VarArrayOf({1, "abc"})};
    ASSERT_TRUE(sql.OpenRead("select a", values));
    EXPECT_EQ(sql.CursorVariables()->GetCount(), 2);
}

TEST_F(StatementTest, HostVariablesTakeAUniqueNameWhenAColumnIsNamedQuestionMark) {
    sql.Columns = {{"?"}};
    ASSERT_TRUE(sql.OpenRead("select a"));
    ASSERT_TRUE(sql.OpenRead("select a", {1}));
    EXPECT_EQ(sql.CursorVariables()->GetItem(0)->Name(), "?_1");
}

TEST_F(StatementTest, MoveToWalksToTheRowAndStopsAtTheEnds) {
    sql.Columns = {{"ID"}};
    sql.Rows = 3;
    ASSERT_TRUE(sql.OpenRead("select id"));
    size_t mark = log.size();
    EXPECT_TRUE(sql.MoveTo(0));
    EXPECT_EQ(Since(mark), "");
    EXPECT_TRUE(sql.MoveTo(2));
    EXPECT_EQ(Since(mark), "FetchNext FetchNext");
    mark = log.size();
    EXPECT_FALSE(sql.MoveTo(5));
    EXPECT_EQ(Since(mark), "FetchNext");
    EXPECT_TRUE(sql.Eof());
    mark = log.size();
    EXPECT_TRUE(sql.MoveTo(0));
    EXPECT_EQ(Since(mark), "FetchPrior FetchPrior");
    EXPECT_EQ(sql.GetFieldValue("ID"), host::Variant(0));
    mark = log.size();
    EXPECT_FALSE(sql.MoveTo(-1));
    EXPECT_TRUE(sql.Bof());
}

TEST_F(StatementTest, MoveToStopsAtAFetchErrorWithANegativeCode) {
    sql.Columns = {{"ID"}};
    ASSERT_TRUE(sql.OpenRead("select id"));
    sql.FetchErrorCode = -5;
    size_t mark = log.size();
    EXPECT_FALSE(sql.MoveTo(2));
    EXPECT_EQ(Since(mark), "FetchNext");
    EXPECT_EQ(sql.GetLastErrorCode(), -5);
}

TEST_F(StatementTest, DescribePreparesWithoutOpeningAndNeedsAColumnTheFirstTime) {
    EXPECT_FALSE(sql.Describe("update t"));
    EXPECT_TRUE(sql.CursorPrepared());
    EXPECT_TRUE(sql.Describe("update t"));
    sql.Columns = {{"ID"}, {"NAME", ntString, 10}};
    EXPECT_TRUE(sql.Describe("select id, name"));
    EXPECT_EQ(sql.GetFieldCount(), 2);
    EXPECT_FALSE(sql.CursorOpen());
    EXPECT_EQ(sql.RecordSize(), 14);
}

TEST_F(StatementTest, UnpreparingFreesTheBuffersDescriptionsAndBlobStreams) {
    sql.Columns = {{"ID"}, {"PHOTO", ntBlob, 8}};
    ASSERT_TRUE(sql.OpenRead("select id, photo"));
    EXPECT_NE(sql.RowBuffer(), nullptr);
    EXPECT_EQ(sql.BlobManager()->Count(), 1);
    sql.UnprepareOpen();
    EXPECT_EQ(sql.RowBuffer(), nullptr);
    EXPECT_EQ(sql.IndicatorBuffer(), nullptr);
    EXPECT_EQ(sql.RecordSize(), 0);
    EXPECT_EQ(sql.GetFieldCount(), 0);
    EXPECT_EQ(sql.BlobManager()->Count(), 0);
    EXPECT_EQ(sql.CursorSQL(), "");
}

// Every error the statement detects itself carries code 0 and is the
// session's last error afterwards.
TEST_F(StatementTest, WrongStatesRaiseTheirMessageWithCodeZeroRecordedInTheSession) {
    enum Prep { Nothing, OpenReadOnly, OpenWritable, Executed };
    const struct {
        const char* operation;
        Prep prep;
        std::function<void(RecordingSQL&)> call;
        const char* message;
    } cases[] = {
        {"OpenPrepared", Nothing, [](RecordingSQL& s) { s.OpenPrepared({}, false); },
         "The cursor is not prepared"},
        {"OpenReadPrepared", Nothing, [](RecordingSQL& s) { s.OpenReadPrepared(); },
         "The cursor is not prepared"},
        {"OpenWritePrepared", Nothing, [](RecordingSQL& s) { s.OpenWritePrepared(); },
         "The cursor is not prepared"},
        {"ExecutePrepared", Nothing, [](RecordingSQL& s) { s.ExecutePrepared(); },
         "The statement is not prepared"},
        {"MoveTo", Nothing, [](RecordingSQL& s) { s.MoveTo(1); }, "The cursor is not opened"},
        {"Clear", Nothing, [](RecordingSQL& s) { s.Clear(); }, "The cursor is not opened"},
        {"ClearNotNull", Nothing, [](RecordingSQL& s) { s.ClearNotNull(); }, "The cursor is not opened"},
        {"IsDirty", Nothing, [](RecordingSQL& s) { s.IsDirty(); }, "The cursor is not opened"},
        {"Clear", OpenReadOnly, [](RecordingSQL& s) { s.Clear(); }, "The cursor is read-only"},
        {"ClearNotNull", OpenReadOnly, [](RecordingSQL& s) { s.ClearNotNull(); }, "The cursor is read-only"},
        {"SetFieldValue", OpenReadOnly, [](RecordingSQL& s) { s.SetFieldValue("ID", 1); },
         "The cursor is read-only"},
        {"SetFieldValue unknown", OpenReadOnly,
         [](RecordingSQL& s) { s.SetFieldValue("NOPE", host::Variant::Null()); }, "The cursor is read-only"},
        {"IsFieldNull", OpenWritable, [](RecordingSQL& s) { s.IsFieldNull("NOPE"); },
         "Field \"NOPE\" not found"},
        {"IsFieldDirty", OpenWritable, [](RecordingSQL& s) { s.IsFieldDirty(7); }, "Field \"7\" not found"},
        {"GetFieldValue", OpenWritable, [](RecordingSQL& s) { s.GetFieldValue("nope"); },
         "Field \"nope\" not found"},
        {"GetOldValue", OpenWritable, [](RecordingSQL& s) { s.GetOldValue(1); }, "Field \"1\" not found"},
        {"SetFieldValue", OpenWritable, [](RecordingSQL& s) { s.SetFieldValue("X", 1); },
         "Field \"X\" not found"},
        {"GetOutVar number", Executed, [](RecordingSQL& s) { s.GetOutVar(3); },
         "Host variable \"3\" not found"},
        {"GetOutVar name", Executed, [](RecordingSQL& s) { s.GetOutVar("P"); },
         "Host variable \"P\" not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        RecordingSQL statement(&log);
        statement.SetSession(&session);
        statement.Columns = {{"ID"}};
        bool ready = true;
        if (c.prep == OpenReadOnly) ready = statement.OpenRead("select id");
        if (c.prep == OpenWritable) ready = statement.OpenWrite("select id");
        if (c.prep == Executed) ready = statement.Execute("call p", {1});
        ASSERT_TRUE(ready);
        session.SetLastError("stale", -9);
        try {
            c.call(statement);
            ADD_FAILURE() << "no exception";
        } catch (const ELumraException& e) {
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.ErrorCode(), 0);
        }
        EXPECT_EQ(session.LastError(), c.message);
        EXPECT_EQ(session.LastErrorCode(), 0);
    }
}

TEST_F(StatementTest, AStatementWithoutSessionRaisesThatItIsNotLinkedExceptInTheDesigner) {
    RecordingSQL loose(&log);
    for (const std::function<void()>& call : {std::function<void()>([&] { loose.GetLastError(); }),
                                              std::function<void()>([&] { loose.OpenRead("select a"); }),
                                              std::function<void()>([&] { loose.MoveTo(0); })}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const ELumraException& e) {
            EXPECT_STREQ(e.what(), "The session property is not linked to a session");
            EXPECT_EQ(e.ErrorCode(), 0);
        }
    }
    loose.SetDesigning(true);
    EXPECT_EQ(loose.GetSession(), nullptr);
    EXPECT_EQ(loose.GetLastError(), "");
    // Without a session to record in, errors still raise with their own text.
    EXPECT_THROW(loose.MoveTo(0), ELumraException);
    // Statement work itself goes on, the text left unconverted.
    EXPECT_FALSE(loose.Describe("select a"));
    EXPECT_TRUE(loose.CursorPrepared());
}

TEST_F(StatementTest, RepeatedColumnNamesAreNumberedIgnoringCase) {
    sql.Columns = {{"ID"}, {"ID"}, {"ID"}, {"Id"}, {"NAME"}};
    ASSERT_TRUE(sql.Describe("select id, id, id, id, name"));
    std::vector<std::string> names;
    for (int32_t i = 0; i < sql.GetFieldCount(); ++i)
        names.push_back(sql.GetFieldName(i));
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "ID_1", "ID_2", "Id_3", "NAME"}));
}

TEST_F(StatementTest, OnlyA32BitIntegerIdentifierIsAColumnNumber) {
    sql.Columns = {{"A"}, {"B"}};
    ASSERT_TRUE(sql.Describe("select a, b"));
    EXPECT_EQ(sql.GetField(host::Variant(int32_t{0}))->Name(), "A");
    EXPECT_EQ(sql.GetField(host::Variant(int32_t{1}))->Name(), "B");
    EXPECT_EQ(sql.GetField(host::Variant(int16_t{0})), nullptr);
    EXPECT_EQ(sql.GetField(host::Variant("0")), nullptr);
    EXPECT_EQ(sql.GetField(host::Variant("b"))->Name(), "B");
    EXPECT_EQ(sql.GetField(host::Variant(int32_t{2})), nullptr);

    sql.Columns = {{"A"}, {"0"}};
    ASSERT_TRUE(sql.Describe("select a, 0"));
    EXPECT_EQ(sql.GetField(host::Variant(int16_t{0}))->Name(), "0");
    EXPECT_EQ(sql.GetField(host::Variant("0"))->Name(), "0");
    EXPECT_EQ(sql.GetField(host::Variant(int32_t{0}))->Name(), "A");
}

TEST_F(StatementTest, DescriptionGettersAnswerNeutralValuesForAnUnknownIdentifier) {
    sql.Columns = {{"NAME", ntString, 10}};
    ASSERT_TRUE(sql.Describe("select name"));
    EXPECT_EQ(sql.GetFieldType("name"), ntString);
    EXPECT_EQ(sql.GetFieldSize("name"), 10);
    EXPECT_EQ(sql.GetFieldLength("name"), 10);
    EXPECT_TRUE(sql.GetFieldNulls("name"));
    EXPECT_EQ(sql.GetFieldType("x"), ntUnknown);
    EXPECT_EQ(sql.GetFieldSize("x"), 0);
    EXPECT_EQ(sql.GetFieldLength(5), 0);
    EXPECT_EQ(sql.GetFieldDecimals("x"), 0);
    EXPECT_FALSE(sql.GetFieldNulls("x"));
    EXPECT_TRUE(sql.FindField("Name"));
    EXPECT_FALSE(sql.FindField("x"));
    EXPECT_EQ(sql.GetFieldName(-1), "");
    EXPECT_EQ(sql.GetFieldName(sql.GetFieldCount()), "");
    EXPECT_NO_THROW(sql.ClearField("x"));
    EXPECT_NO_THROW(sql.ClearFieldNotNull("x"));
}

TEST_F(StatementTest, RangeSettingsIgnoreValuesOutsideTheirRange) {
    const struct {
        void (TLumraSQL::*set)(int32_t) noexcept;
        int32_t (TLumraSQL::*get)() const noexcept;
        int32_t value;
        int32_t expected;
    } cases[] = {
        {&TLumraSQL::SetMaxFetchCount, &TLumraSQL::MaxFetchCount, 0, 25},
        {&TLumraSQL::SetMaxFetchCount, &TLumraSQL::MaxFetchCount, 1001, 25},
        {&TLumraSQL::SetMaxFetchCount, &TLumraSQL::MaxFetchCount, 1, 1},
        {&TLumraSQL::SetMaxFetchCount, &TLumraSQL::MaxFetchCount, 1000, 1000},
        {&TLumraSQL::SetBlobSize, &TLumraSQL::BlobSize, 32764, 0},
        {&TLumraSQL::SetBlobSize, &TLumraSQL::BlobSize, -1, 0},
        {&TLumraSQL::SetBlobSize, &TLumraSQL::BlobSize, 32763, 32763},
    };
    for (const auto& c : cases) {
        RecordingSQL statement(&log);
        (statement.*c.set)(c.value);
        EXPECT_EQ((statement.*c.get)(), c.expected) << c.value;
    }
}

TEST_F(StatementTest, FieldValuesAreWrittenIntoTheRowAndComparedWithTheRowAsFetched) {
    sql.Columns = {{"ID"}, {"NAME", ntString, 10}, {"K", ntInteger, 4, kiHiddenKeyField}};
    ASSERT_TRUE(sql.OpenWrite("select id, name, k"));
    EXPECT_TRUE(sql.CanModify());
    EXPECT_FALSE(sql.IsDirty());
    sql.SetFieldValue("NAME", "bob");
    EXPECT_EQ(sql.GetFieldValue("name"), host::Variant("bob"));
    EXPECT_EQ(sql.GetOldValue("name"), host::Variant(""));
    EXPECT_TRUE(sql.IsFieldDirty("NAME"));
    EXPECT_FALSE(sql.IsFieldDirty("ID"));
    EXPECT_TRUE(sql.IsDirty());

    sql.SetFieldValue(0, host::Variant::Null());
    EXPECT_TRUE(sql.IsFieldNull("ID"));
    EXPECT_TRUE(sql.IsFieldDirty("ID"));

    ASSERT_TRUE(sql.MoveTo(1));
    sql.Clear();
    EXPECT_TRUE(sql.IsFieldNull("NAME"));
    EXPECT_EQ(sql.GetFieldValue("ID"), host::Variant(0));
    EXPECT_FALSE(sql.IsFieldNull("K"));
    EXPECT_EQ(sql.GetFieldValue("K"), host::Variant(1)); // hidden key column untouched
    sql.ClearNotNull();
    EXPECT_FALSE(sql.IsFieldNull("NAME"));
}

TEST_F(StatementTest, AColumnWithoutBytesIsNeverDirtyAndABlobIsDirtyThroughItsStream) {
    sql.Columns = {{"EMPTY", ntString, 0}, {"NOTES", ntMemo, 8}};
    ASSERT_TRUE(sql.OpenWrite("select empty, notes"));
    sql.SetFieldValue("EMPTY", host::Variant::Null());
    EXPECT_FALSE(sql.IsFieldDirty("EMPTY"));
    EXPECT_FALSE(sql.IsFieldDirty("NOTES"));
    sql.BlobManager()->BlobByName("notes")->Write("abc", 3);
    EXPECT_TRUE(sql.IsFieldDirty("NOTES"));
}

TEST_F(StatementTest, ExecutionPreparesAndBindsOnceForValuesOfTheSameShape) {
    sql.Outputs = {{"RESULT"}};
    ASSERT_TRUE(sql.Execute("call p", {5}));
    EXPECT_EQ(Join(log), "SetValue(0,4,5) PrepareExecute(call p) BindExecute Execute");
    EXPECT_NE(sql.BindList, nullptr);
    EXPECT_EQ(sql.BindList, sql.ExecuteList);
    EXPECT_EQ(sql.RowsProcessed(), 1);
    EXPECT_EQ(sql.GetOutVar("result"), host::Variant(105));
    EXPECT_EQ(sql.GetOutVar(0), host::Variant(105));
    EXPECT_EQ(sql.GetOutVar("?"), host::Variant(5)); // an input, read back as in/out
    size_t mark = log.size();
    ASSERT_TRUE(sql.Execute("call p", {6}));
    EXPECT_EQ(Since(mark), "SetValue(0,4,6) Execute");
    mark = log.size();
    ASSERT_TRUE(sql.ExecutePrepared({7}));
    EXPECT_EQ(Since(mark), "SetValue(0,4,7) Execute");
    mark = log.size();
    ASSERT_TRUE(sql.Execute("call q", {7}));
    EXPECT_EQ(Since(mark), "UnprepareExecute SetValue(0,4,7) PrepareExecute(call q) BindExecute Execute");
    sql.UnprepareExecute();
    EXPECT_EQ(sql.OutputVariables()->GetCount(), 0);
    EXPECT_EQ(sql.ExecuteVariables()->GetCount(), 0);
}

TEST_F(StatementTest, AFailedExecutePrepareReturnsFalseWithoutBinding) {
    sql.PrepareResult = false;
    size_t mark = log.size();
    EXPECT_FALSE(sql.Execute("call p"));
    EXPECT_EQ(Since(mark), "PrepareExecute(call p)");
}

TEST_F(StatementTest, PrepareUnpreparesBothSidesBeforeTheDriverPrepares) {
    ASSERT_TRUE(sql.OpenRead("select a"));
    ASSERT_TRUE(sql.Execute("update b"));
    size_t mark = log.size();
    EXPECT_TRUE(sql.Prepare("select c"));
    EXPECT_EQ(Since(mark), "Close UnprepareOpen UnprepareExecute Prepare(select c)");
}

TEST_F(StatementTest, SqlTextIsConvertedToOemOnlyWhenTheSessionAsksForIt) {
    const std::string text = "select '\xe9'";
    ASSERT_TRUE(sql.PrepareOpen(text));
    EXPECT_EQ(sql.CursorSQL(), text);
    session.SetOemConvert(true);
    ASSERT_TRUE(sql.PrepareOpen(text));
    ASSERT_EQ(sql.CursorSQL().size(), text.size());
    EXPECT_EQ(static_cast<unsigned char>(sql.CursorSQL()[8]), 0x82);
    // Text after an embedded zero does not survive the conversion.
    ASSERT_TRUE(sql.PrepareExecute(std::string("update t\0junk", 13)));
    EXPECT_EQ(sql.StatementSQL(), "update t");
#if LMR_HOST_GENERATION >= 4
    std::string direct = "\xe9";
    sql.StatementToOem(direct);
    EXPECT_EQ(direct, "\x82");
#endif
}

TEST_F(StatementTest, TheBaseBodiesOfTheOptionalOperationsAnswerNothingPending) {
    EXPECT_FALSE(sql.GetStillInProc());
    EXPECT_FALSE(sql.Resume());
}

} // namespace
