// host::Variant: constructor choice, the conversion table, overflow, text
// round trips, comparison and arrays.
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace host;

namespace {

TEST(VariantTest, LiteralsPickTheIntendedType) {
    EXPECT_EQ(Variant().VarType(), varEmpty);
    EXPECT_EQ(Variant::Null().VarType(), varNull);
    EXPECT_EQ(Variant(5).VarType(), varInteger);
    EXPECT_EQ(Variant(int16_t{5}).VarType(), varSmallint);
    EXPECT_EQ(Variant(int64_t{5}).VarType(), varInt64);
    EXPECT_EQ(Variant(5LL).VarType(), varInt64);
    EXPECT_EQ(Variant(uint8_t{5}).VarType(), varByte);
    EXPECT_EQ(Variant(uint16_t{5}).VarType(), varWord);
    EXPECT_EQ(Variant(5u).VarType(), varLongWord);
    EXPECT_EQ(Variant(int8_t{5}).VarType(), varShortInt);
    EXPECT_EQ(Variant(1.5f).VarType(), varSingle);
    EXPECT_EQ(Variant(1.5).VarType(), varDouble);
    EXPECT_EQ(Variant(Currency::FromScaled(1)).VarType(), varCurrency);
    EXPECT_EQ(Variant(true).VarType(), varBoolean);
    EXPECT_EQ(Variant("x").VarType(), varString);
    EXPECT_EQ(Variant(std::string("x")).VarType(), varString);
    EXPECT_EQ(Variant(u"x").VarType(), varOleStr);
    EXPECT_EQ(Variant::FromDate(1.0).VarType(), varDate);
    EXPECT_THROW(Variant(uint64_t{1} << 63), EConvertError);
    static_assert(!std::is_constructible_v<Variant, int*>);
    static_assert(!std::is_constructible_v<Variant, std::nullptr_t>);
}

TEST(VariantTest, ScalarsAreStoredInline) {
    static_assert(sizeof(Variant) <= 48);
    static_assert(std::is_nothrow_move_constructible_v<Variant>);
}

// One row per source value; each column is the expected result or "!" when
// the conversion must raise EConvertError.
struct ConversionRow {
    const char* name;
    Variant value;
    const char* asString;
    const char* asInteger;
    const char* asDouble;
    const char* asBoolean;
    const char* asCurrency;
};

std::string Attempt(const std::function<std::string()>& f) {
    try {
        return f();
    } catch (const EConvertError&) {
        return "!";
    }
}

class VariantConversionTest : public ::testing::TestWithParam<ConversionRow> {};

TEST_P(VariantConversionTest, ConvertsByTheHostRulesOrRaises) {
    const ConversionRow& r = GetParam();
    const Variant& v = r.value;
    EXPECT_EQ(Attempt([&] { return v.AsString(); }), r.asString);
    EXPECT_EQ(Attempt([&] { return std::to_string(v.AsInteger()); }), r.asInteger);
    EXPECT_EQ(Attempt([&] { return Variant(v.AsDouble()).AsString(); }), r.asDouble);
    EXPECT_EQ(Attempt([&] { return std::string(v.AsBoolean() ? "1" : "0"); }), r.asBoolean);
    EXPECT_EQ(Attempt([&] { return v.AsCurrency().ToString(); }), r.asCurrency);
}

const ConversionRow ConversionRows[] = {
    {"Empty", Variant(), "", "0", "0", "0", "0"},
    {"Null", Variant::Null(), "!", "!", "!", "!", "!"},
    {"Integer", Variant(-42), "-42", "-42", "-42", "1", "-42"},
    {"Zero", Variant(0), "0", "0", "0", "0", "0"},
    {"Int64Big", Variant(int64_t{1} << 40), "1099511627776", "!", "1099511627776", "1", "1099511627776"},
    {"Byte", Variant(uint8_t{200}), "200", "200", "200", "1", "200"},
    {"DoubleTieRoundsToEven", Variant(2.5), "2.5", "2", "2.5", "1", "2.5"},
    {"DoubleShortestText", Variant(0.1), "0.1", "0", "0.1", "1", "0.1"},
    {"DoubleTooBig", Variant(1e30), "1e+30", "!", "1e+30", "1", "!"},
    {"Single", Variant(0.1f), "0.1", "0", "0.10000000149011612", "1", "0.1"},
    {"Currency", Variant(Currency::FromScaled(-12345)), "-1.2345", "-1", "-1.2345", "1", "-1.2345"},
    {"True", Variant(true), "True", "-1", "-1", "1", "-1"},
    {"False", Variant(false), "False", "0", "0", "0", "0"},
    {"Date", Variant::FromDate(36934.5), "2001-02-12 12:00:00", "36934", "36934.5", "!", "36934.5"},
    {"IntegerText", Variant(" 12 "), " 12 ", "12", "12", "1", "12"},
    {"FloatText", Variant("1.5"), "1.5", "2", "1.5", "1", "1.5"},
    {"TrueText", Variant("tRUE"), "tRUE", "!", "!", "1", "!"},
    {"FalseText", Variant("False"), "False", "!", "!", "0", "!"},
    {"BadText", Variant("abc"), "abc", "!", "!", "!", "!"},
    {"EmptyText", Variant(""), "", "!", "!", "!", "!"},
    {"WideText", Variant(u"7"), "7", "7", "7", "1", "7"},
    {"HugeIntegerText", Variant("99999999999"), "99999999999", "!", "99999999999", "1", "99999999999"},
    {"Array", VarArrayOf({1, 2}), "!", "!", "!", "!", "!"},
};

INSTANTIATE_TEST_SUITE_P(Table, VariantConversionTest, ::testing::ValuesIn(ConversionRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VariantTest, IntegerConversionsRaiseInsteadOfWrapping) {
    EXPECT_THROW(Variant(int64_t{INT32_MAX} + 1).AsInteger(), EVariantOverflowError);
    EXPECT_THROW(Variant(int64_t{INT32_MIN} - 1).AsInteger(), EVariantOverflowError);
    EXPECT_EQ(Variant(int64_t{INT32_MIN}).AsInteger(), INT32_MIN);
    EXPECT_THROW(Variant(256).AsByte(), EConvertError);
    EXPECT_THROW(Variant(-1).AsByte(), EConvertError);
    EXPECT_THROW(Variant(40000).AsSmallint(), EConvertError);
    EXPECT_THROW(Variant(std::nan("")).AsInt64(), EConvertError);
    EXPECT_THROW(Variant(9.3e18).AsInt64(), EConvertError);
    EXPECT_THROW(Variant("2147483648").AsInteger(), EConvertError);
    EXPECT_THROW(Variant(int64_t{INT64_MAX}).AsCurrency(), EConvertError);
    EXPECT_THROW(VarAsType(Variant(300), varShortInt), EConvertError);
    EXPECT_THROW(VarAsType(Variant(-1), varLongWord), EConvertError);
}

TEST(VariantTest, NullConversionNamesBothTypes) {
    try {
        (void)Variant::Null().AsInteger();
        FAIL() << "no exception";
    } catch (const EVariantTypeCastError& e) {
        EXPECT_STREQ(e.what(), "Could not convert variant of type (Null) into type (Integer)");
    }
    EXPECT_EQ(VarToStr(Variant::Null()), "");
}

TEST(VariantTest, DateTextRoundTripsThroughAString) {
    const double values[] = {0.0, 36934.0, 0.25, 36934.5 + 1.0 / 86400000 * 7, -1.25, -700.75, 2958465.0};
    for (double d : values) {
        const Variant text(Variant::FromDate(d).AsString());
        EXPECT_EQ(DateTimeToTimeStamp(text.AsDateTime()).Date, DateTimeToTimeStamp(d).Date) << d;
        EXPECT_EQ(DateTimeToTimeStamp(text.AsDateTime()).Time, DateTimeToTimeStamp(d).Time) << d;
        EXPECT_EQ(VarAsType(text, varDate).VarType(), varDate);
    }
}

TEST(VariantTest, DoubleTextIsShortestAndRoundTrips) {
    const double values[] = {0.1, 1.0 / 3, -2.5e-300, 1e21, 123456789.125, 5e-324};
    for (double d : values)
        EXPECT_EQ(Variant(Variant(d).AsString()).AsDouble(), d) << d;
    EXPECT_EQ(Variant(1.0).AsString(), "1");
    EXPECT_EQ(Variant(-0.5).AsString(), "-0.5");
}

TEST(VariantTest, VarAsTypeConvertsToEachTarget) {
    EXPECT_EQ(VarAsType(Variant("12"), varInteger).AsInteger(), 12);
    EXPECT_EQ(VarAsType(Variant("12"), varInteger).VarType(), varInteger);
    EXPECT_EQ(VarAsType(Variant(12), varOleStr).AsWideString(), u"12");
    EXPECT_EQ(VarAsType(Variant("2001-02-03"), varDate).AsDateTime(), EncodeDate(2001, 2, 3));
    EXPECT_EQ(VarAsType(Variant(1), varBoolean).VarType(), varBoolean);
    EXPECT_EQ(VarAsType(Variant(1.25), varCurrency).AsCurrency(), Currency::FromScaled(12500));
    EXPECT_TRUE(VarIsType(VarAsType(Variant(1.5), varSingle), varSingle));
    EXPECT_THROW(VarAsType(Variant(1), varError), EConvertError);
}

TEST(VariantTest, WideAndAnsiTextConvertThroughWindows1252) {
    const Variant euro(std::string("\x80"));
    EXPECT_EQ(euro.AsWideString(), u"\u20AC");
    EXPECT_EQ(Variant(u"\u20AC\u00E9\u4E00").AsString(), "\x80\xE9?");
}

TEST(VariantTest, ComparesNumbersAcrossTypesAndStringsByteWise) {
    EXPECT_EQ(Variant(5), Variant(5.0));
    EXPECT_EQ(Variant(int16_t{5}), Variant(Currency::FromInt64(5)));
    EXPECT_EQ(VarCompareValue(Variant(int64_t{1} << 60), Variant((int64_t{1} << 60) + 1)), vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant(2.5), Variant(2)), vrGreaterThan);
    EXPECT_EQ(VarCompareValue(Variant("B"), Variant("a")), vrLessThan);
    EXPECT_EQ(VarCompareValue(Variant("\xE9"), Variant("z")), vrGreaterThan);
    EXPECT_EQ(Variant("abc"), Variant(u"abc"));
    EXPECT_EQ(Variant("10"), Variant(10));
    EXPECT_EQ(VarCompareValue(Variant("x"), Variant(10)), vrGreaterThan);
    EXPECT_EQ(VarCompareValue(Variant(std::nan("")), Variant(1.0)), vrNotEqual);
}

TEST(VariantTest, NullAndEmptyEqualOnlyThemselves) {
    EXPECT_EQ(VarCompareValue(Variant::Null(), Variant::Null()), vrEqual);
    EXPECT_EQ(VarCompareValue(Variant(), Variant()), vrEqual);
    EXPECT_EQ(VarCompareValue(Variant::Null(), Variant()), vrNotEqual);
    EXPECT_EQ(VarCompareValue(Variant(), Variant(0)), vrNotEqual);
    EXPECT_EQ(VarCompareValue(Variant::Null(), Variant("")), vrNotEqual);
}

TEST(VariantArrayTest, VariantArrayHasBoundsAndElements) {
    Variant a = VarArrayCreate(2, 4, varVariant);
    EXPECT_TRUE(a.IsArray());
    EXPECT_EQ(a.VarType(), varArray | varVariant);
    EXPECT_EQ(VarArrayLowBound(a), 2);
    EXPECT_EQ(VarArrayHighBound(a), 4);
    EXPECT_TRUE(a[3].IsEmpty());
    a.SetElement(3, "x");
    EXPECT_EQ(a[3].AsString(), "x");
    EXPECT_THROW(a.GetElement(5), ERangeError);
    EXPECT_THROW(a.SetElement(1, 0), ERangeError);

    const Variant of = VarArrayOf({1, "a", Variant::Null()});
    EXPECT_EQ(VarArrayHighBound(of), 2);
    EXPECT_TRUE(of[2].IsNull());
    EXPECT_EQ(of, VarArrayOf({1, "a", Variant::Null()}));
    EXPECT_FALSE(of == VarArrayOf({1, "b", Variant::Null()}));

    const Variant none = VarArrayCreate(0, -1, varByte);
    EXPECT_EQ(VarArrayHighBound(none), -1);
    EXPECT_THROW(VarArrayCreate(0, -2, varVariant), ERangeError);
}

TEST(VariantArrayTest, ByteArrayElementsAreBytesAndConvert) {
    Variant a = VarArrayCreate(0, 2, varByte);
    a.SetElement(0, 65);
    a.SetElement(1, "66");
    EXPECT_EQ(a[0].VarType(), varByte);
    EXPECT_EQ(a[1].AsByte(), 66);
    EXPECT_THROW(a.SetElement(2, 256), EConvertError);
    EXPECT_EQ(a[2].AsByte(), 0);
}

TEST(VariantArrayTest, CopiesHaveValueSemantics) {
    Variant a = VarArrayOf({1, 2});
    Variant b = a;
    b.SetElement(0, 9);
    EXPECT_EQ(a[0].AsInteger(), 1);
    EXPECT_EQ(b[0].AsInteger(), 9);
}

TEST(VariantArrayTest, LockGivesContiguousBytesAndDetachesFromCopies) {
    const size_t size = 10 * 1024 * 1024;
    Variant a = VarArrayCreate(0, static_cast<int32_t>(size) - 1, varByte);
    const Variant before = a;
    auto* p = static_cast<uint8_t*>(VarArrayLock(a));
    std::memset(p, 0xAB, size);
    const Variant takenWhileLocked = a;
    p[0] = 1;
    VarArrayUnlock(a);
    // Element reads do not copy the block: this loop would take minutes otherwise.
    uint64_t sum = 0;
    for (int32_t i = 0; i < 1000; ++i)
        sum += a[i].AsByte();
    EXPECT_EQ(sum, 1 + 999u * 0xAB);
    EXPECT_EQ(before[0].AsByte(), 0);
    EXPECT_EQ(takenWhileLocked[0].AsByte(), 0xAB);
    EXPECT_THROW(VarArrayUnlock(a), EVariantError);
}

} // namespace

TEST(VariantTest, TextIsReadInPlaceOrHandedOverByATemporary) {
    Variant text(std::string(40, 't'));
    const std::string* ref = text.StringRef();
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(*ref, std::string(40, 't'));
    // Only 8-bit text is read in place; everything else converts through AsString.
    for (const Variant& other : {Variant(u"wide"), Variant(int32_t{5}), Variant::Null(), Variant()})
        EXPECT_EQ(other.StringRef(), nullptr);

    const char* storage = ref->data();
    std::string taken = std::move(text).AsString();
    EXPECT_EQ(taken.data(), storage) << "a temporary's text moves instead of being copied";
    EXPECT_EQ(Variant(int64_t{7}).AsString(), "7");
    const Variant kept(std::string(40, 'k'));
    EXPECT_EQ(kept.AsString(), std::string(40, 'k'));
    EXPECT_EQ(*kept.StringRef(), std::string(40, 'k')) << "a named Variant keeps its text";
}
