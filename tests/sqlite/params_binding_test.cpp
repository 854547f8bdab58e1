// Parameter values bound through a real SQLite statement: what a parameter
// collection hands to a statement as host variables is stored and read back
// unchanged, for every parameter data type.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "LmrBasDS/LmrParams.h"
#include "host/DateTime.h"
#include "sqlite_fixture.h"

namespace {

std::string Bytes(const host::Variant& v) {
    if (v.VarType() != (host::varArray | host::varByte))
        return "<not bytes: " + host::VarTypeAsText(v.VarType()) + ">";
    host::Variant copy = v;
    const int32_t n = host::VarArrayHighBound(copy) - host::VarArrayLowBound(copy) + 1;
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) {
        std::memcpy(out.data(), host::VarArrayLock(copy), out.size());
        host::VarArrayUnlock(copy);
    }
    return out;
}

} // namespace

class ParamsThroughSqlite : public SqliteTest {
protected:
    void SetUp() override {
        SqliteTest::SetUp();
        Run("create table p(s varchar(40), i integer, f double, c numeric(18,4), d date, t time,"
            " dt datetime, b boolean, bin blob, memo text, bl blob)");
    }
};

TEST_F(ParamsThroughSqlite, EveryParameterTypeBoundAsHostVariableComesBackEqual) {
    TLumraParams params(nullptr);
    auto add = [&](const char* name) { return new TLumraParam(&params, name); };
    add("s")->SetAsString("Grüße, 'quoted' text");
    add("i")->SetAsInteger(-2147483647 - 1);
    add("f")->SetAsFloat(0.1);
    add("c")->SetAsCurrency(12345.6789);
    add("d")->SetAsDate(host::EncodeDate(2024, 2, 29));
    add("t")->SetAsTime(host::EncodeTime(23, 59, 58, 999));
    add("dt")->SetAsDateTime(host::EncodeDate(1, 1, 1) + host::EncodeTime(0, 0, 1, 500));
    add("b")->SetAsBoolean(true);
    add("bin")->SetAsBinary(std::string("\x00\x01\xFF\x7F", 4));
    add("memo")->SetAsMemo(std::string(5000, 'm') + "\xE9");
    add("bl")->SetAsBlob(std::string("\x00\x00\x10", 3));
    for (int32_t i = 0; i < params.Count(); ++i)
        params[static_cast<uint16_t>(i)]->SetParamType(nptInput);

    const host::Variant values = params.GetParamValues();
    ASSERT_TRUE(values.IsArray());
    ASSERT_TRUE(Sql->Execute("insert into p values (?,?,?,?,?,?,?,?,?,?,?)", {values}))
        << Session->LastError();
    EXPECT_EQ(Sql->RowsProcessed(), 1);

    // The same values as host variables of a select find the row again.
    ASSERT_TRUE(Sql->OpenRead("select count(*) from p where s = ? and i = ? and f = ? and d = ? and t = ?"
                              " and dt = ? and b = ? and bin = ? and memo = ? and bl = ?",
                              {values[0], values[1], values[2], values[4], values[5], values[6], values[7],
                               values[8], values[9], values[10]}))
        << Session->LastError();
    EXPECT_EQ(Sql->GetFieldValue(host::Variant(int32_t{0})).AsInt64(), 1);

    ASSERT_TRUE(Sql->OpenRead("select s, i, f, c, d, t, dt, b, bin, memo, bl from p"))
        << Session->LastError();
    for (int32_t col = 0; col < params.Count(); ++col) {
        const TLumraParam* param = params[static_cast<uint16_t>(col)];
        const host::Variant stored = Sql->GetFieldValue(host::Variant(col));
        SCOPED_TRACE(param->Name());
        switch (param->DataType()) {
        case ntBinary:
        case ntBlob:
            EXPECT_EQ(Bytes(stored), Bytes(param->GetAsVariant()));
            break;
        case ntDate:
        case ntTime:
        case ntDateTime:
            EXPECT_EQ(stored.AsDateTime(), param->GetAsDateTime());
            break;
        case ntFloat:
        case ntCurrency:
            EXPECT_EQ(stored.AsDouble(), param->GetAsVariant().AsDouble());
            break;
        default:
            EXPECT_EQ(stored.AsString(), param->GetAsVariant().AsString());
        }
    }
}

TEST_F(ParamsThroughSqlite, NullParametersBindAsNull) {
    TLumraParams params(nullptr);
    auto* s = new TLumraParam(&params, "s");
    s->SetAsString("x");
    s->Clear();
    auto* i = new TLumraParam(&params, "i");
    i->SetAsInteger(7);
    s->SetParamType(nptInput);
    i->SetParamType(nptInput);
    ASSERT_TRUE(Sql->Execute("insert into p(s, i) values (?, ?)", {params.GetParamValues()}))
        << Session->LastError();
    EXPECT_EQ(Count("p where s is null and i = 7"), 1);
}

// Text and bytes are bound without a copy from the variable buffer, which the
// next execute rewrites or replaces: every row must hold its own values, the
// shape of the values changing or not from one execute to the next.
TEST_F(ParamsThroughSqlite, RepeatedExecutesStoreEachRowsOwnTextAndBytes) {
    Run("create table r(n integer, a text, b blob)");
    ASSERT_TRUE(Sql->PrepareExecute("insert into r values (?, ?, ?)"));
    auto bytes = [](const std::string& s) {
        host::Variant v = host::VarArrayCreate(0, static_cast<int32_t>(s.size()) - 1, host::varByte);
        std::memcpy(host::VarArrayLock(v), s.data(), s.size());
        host::VarArrayUnlock(v);
        return v;
    };
    const std::string longText(300, 'L'); // past the default string variable: a memo variable
    const std::vector<std::pair<host::Variant, host::Variant>> rows = {
        {host::Variant("first"), bytes("\x01\x02")},
        {host::Variant("second"), bytes("\x03\x04")},
        {host::Variant::Null(), bytes("\x05")},
        {host::Variant(longText), host::Variant::Null()},
        {host::Variant("x"), bytes(std::string(500, 'B'))},
        {host::Variant("last"), bytes("\x06")}};
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_TRUE(
            Sql->ExecutePrepared({host::Variant(static_cast<int64_t>(i)), rows[i].first, rows[i].second}))
            << Session->LastError();
    }
    Sql->UnprepareExecute();
    ASSERT_TRUE(Sql->OpenRead("select a, b from r order by n"));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const host::Variant a = Sql->GetFieldValue(host::Variant("a"));
        if (rows[i].first.IsNull()) {
            EXPECT_TRUE(Sql->IsFieldNull(host::Variant("a")));
        } else {
            EXPECT_EQ(a.AsString(), rows[i].first.AsString());
        }
        if (rows[i].second.IsNull()) {
            EXPECT_TRUE(Sql->IsFieldNull(host::Variant("b")));
        } else {
            EXPECT_EQ(Bytes(Sql->GetFieldValue(host::Variant("b"))), Bytes(rows[i].second));
        }
        if (i + 1 < rows.size()) {
            ASSERT_TRUE(Sql->FetchNext());
        }
    }
}

// A value that cannot be stored as its variable's type is refused with the
// variable named, never cut short; the statement goes on working afterwards.
TEST_F(ParamsThroughSqlite, TextWithAZeroByteIsRefusedNamingItsVariable) {
    Run("create table z(n integer, a text)");
    ASSERT_TRUE(Sql->PrepareExecute("insert into z values (?, ?)"));
    try {
        Sql->ExecutePrepared({host::Variant(int64_t{1}), host::Variant(std::string("a\0b", 3))});
        ADD_FAILURE() << "a text with a zero byte was stored";
    } catch (const ELumraException& e) {
        EXPECT_NE(std::string(e.what()).find("\"host variable 2\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("zero byte"), std::string::npos) << e.what();
    }
    ASSERT_TRUE(Sql->ExecutePrepared({host::Variant(int64_t{2}), host::Variant("ab")}))
        << Session->LastError();
    EXPECT_EQ(Count("z"), 1);
    EXPECT_EQ(Count("z where n = 2 and a = 'ab'"), 1);
}
