// A session with UntypedColumns describes every cursor column as one without
// declared type: each value reads back with the type it is stored with, so
// values the declared types cannot hold are read instead of refused. The
// default keeps the strict typing.
#include "sqlite_fixture.h"

namespace {

class UntypedColumns : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table t (id integer primary key, code varchar(3), n integer, flag boolean, day date)");
        Run("insert into t values (1, 'longer', 'text', 'yes', 1700000000)");
        Run("insert into t values (2, 'ab', 5000000000, 1, '2024-02-29')");
    }
};

} // namespace

TEST_F(UntypedColumns, EveryValueReadsWithItsStoredType) {
    Session->SetUntypedColumns(true);
    ASSERT_TRUE(Sql->OpenRead("select code, n, flag, day from t order by id")) << Session->LastError();
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(Sql->FieldDefs()->GetItem(i)->FieldType(), ntMemo) << i;
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{0})).AsString(), "longer");
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{1})).AsString(), "text");
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{2})).AsString(), "yes");
    const host::Variant day = Sql->GetFieldValue(host::Variant(int32_t{3}));
    EXPECT_EQ(day.VarType(), host::varInt64);
    EXPECT_EQ(day.AsInt64(), 1700000000);
    ASSERT_TRUE(Sql->FetchNext());
    const host::Variant n = Sql->GetFieldValue(host::Variant(int32_t{1}));
    EXPECT_EQ(n.VarType(), host::varInt64);
    EXPECT_EQ(n.AsInt64(), 5000000000);
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{3})).AsString(), "2024-02-29");
    EXPECT_FALSE(Sql->FetchNext());
    EXPECT_TRUE(Sql->Eof());
}

TEST_F(UntypedColumns, StrictTypingStaysTheDefault) {
    EXPECT_FALSE(Session->UntypedColumns());
    EXPECT_FALSE(Sql->OpenRead("select code from t order by id"));
    EXPECT_NE(Session->LastError().find("longer than the declared 3"), std::string::npos)
        << Session->LastError();
    ASSERT_TRUE(Sql->OpenRead("select n from t where id = 2"));
    EXPECT_EQ(Sql->FieldDefs()->GetItem(0)->FieldType(), ntInteger);
}
