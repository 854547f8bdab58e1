// What a parameter stores and gives back: fresh state, typed setters, the
// Variant-driven data type, the text form the editors use, and the getters'
// treatment of null.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LmrBasDS/LmrParams.h"
#include "LmrBase/LmrErrors.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/ResourceStrings.h"

using host::Variant;

namespace {

host::TDateTime Feb3At1030() {
    return host::EncodeDate(2001, 2, 3) + host::EncodeTime(10, 30, 0, 0);
}

// Generation 3 keeps InitValue internal; the setters still set both flags.
template <class T>
concept PublishesInitValue = requires(T& t) {
    t.InitValue();
};
static_assert(PublishesInitValue<TLumraParam> == (LMR_HOST_GENERATION != 3));

} // namespace

TEST(ParamValue, NewParameterHoldsIntegerZeroAndIsNeitherNullNorBound) {
    TLumraParam p(nullptr, "id");
    EXPECT_EQ(p.Name(), "id");
    EXPECT_EQ(p.Alias(), "");
    EXPECT_EQ(p.DataType(), ntUnknown);
    EXPECT_FALSE(p.IsNull());
    EXPECT_FALSE(p.Bound());
    EXPECT_EQ(p.ParamType(), nptUnknown);
    EXPECT_EQ(p.GetAsString(), "0");
    EXPECT_EQ(p.GetAsVariant().VarType(), host::varInteger);
    EXPECT_EQ(p.GetAsVariant().AsInteger(), 0);
}

struct SetterCase {
    const char* name;
    std::function<void(TLumraParam&)> set;
    TLumraFieldTypes type;
    host::TVarType storedType;
    Variant stored;
};

class TypedSetter : public ::testing::TestWithParam<SetterCase> {};

TEST_P(TypedSetter, SetsTypeRepresentationAndFlags) {
    const SetterCase& c = GetParam();
    TLumraParam p(nullptr, "p");
    p.Clear(); // the setter must undo null
    c.set(p);
    EXPECT_EQ(p.DataType(), c.type);
    EXPECT_EQ(p.Data().VarType(), c.storedType);
    EXPECT_TRUE(p.Data() == c.stored) << p.Data().AsString();
    EXPECT_TRUE(p.Bound());
    EXPECT_FALSE(p.IsNull());
}

INSTANTIATE_TEST_SUITE_P(
    AllSetters, TypedSetter,
    ::testing::ValuesIn(std::vector<SetterCase>{
        {"String", [](TLumraParam& p) { p.SetAsString("abc"); }, ntString, host::varString, Variant("abc")},
        {"Memo", [](TLumraParam& p) { p.SetAsMemo("a\nb"); }, ntMemo, host::varString, Variant("a\nb")},
        {"Binary", [](TLumraParam& p) { p.SetAsBinary(std::string("\0\1", 2)); }, ntBinary, host::varString,
         Variant(std::string("\0\1", 2))},
        {"Blob", [](TLumraParam& p) { p.SetAsBlob("xyz"); }, ntBlob, host::varString, Variant("xyz")},
        {"Integer", [](TLumraParam& p) { p.SetAsInteger(-7); }, ntInteger, host::varInteger, Variant(-7)},
        {"Float", [](TLumraParam& p) { p.SetAsFloat(0.25); }, ntFloat, host::varDouble, Variant(0.25)},
        // Currency amounts stay doubles, not the host's scaled currency.
        {"Currency", [](TLumraParam& p) { p.SetAsCurrency(1.5); }, ntCurrency, host::varDouble, Variant(1.5)},
        {"Boolean", [](TLumraParam& p) { p.SetAsBoolean(true); }, ntBoolean, host::varBoolean, Variant(true)},
        {"DateTime", [](TLumraParam& p) { p.SetAsDateTime(Feb3At1030()); }, ntDateTime, host::varDate,
         Variant::FromDate(Feb3At1030())},
        {"DateDropsTheTime", [](TLumraParam& p) { p.SetAsDate(Feb3At1030()); }, ntDate, host::varDate,
         Variant::FromDate(host::EncodeDate(2001, 2, 3))},
        {"TimeDropsTheDate", [](TLumraParam& p) { p.SetAsTime(Feb3At1030()); }, ntTime, host::varDate,
         Variant::FromDate(host::EncodeTime(10, 30, 0, 0))},
        {"FirstDayOfTheCalendar", [](TLumraParam& p) { p.SetAsDate(host::EncodeDate(1, 1, 1)); }, ntDate,
         host::varDate, Variant::FromDate(host::EncodeDate(1, 1, 1))},
    }),
    [](const auto& info) { return std::string(info.param.name); });

struct VariantCase {
    const char* name;
    Variant value;
    TLumraFieldTypes type;
    bool isNull;
};

class SetAsVariant : public ::testing::TestWithParam<VariantCase> {};

TEST_P(SetAsVariant, TypeFollowsTheVariantAndTheValueIsStoredUnconverted) {
    const VariantCase& c = GetParam();
    TLumraParam p(nullptr, "p");
    p.SetAsVariant(c.value);
    EXPECT_EQ(p.DataType(), c.type);
    EXPECT_EQ(p.IsNull(), c.isNull);
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.Data().VarType(), c.value.VarType());
}

INSTANTIATE_TEST_SUITE_P(VariantTypes, SetAsVariant,
                         ::testing::ValuesIn(std::vector<VariantCase>{
                             {"Smallint", Variant(int16_t{3}), ntInteger, false},
                             {"Integer", Variant(int32_t{3}), ntInteger, false},
                             {"Single", Variant(1.5f), ntFloat, false},
                             {"Double", Variant(1.5), ntFloat, false},
                             {"Currency", Variant(host::Currency::FromScaled(15000)), ntCurrency, false},
                             {"Date", Variant::FromDate(36925.5), ntDateTime, false},
                             {"String", Variant("x"), ntString, false},
                             {"WideString", Variant(u"x"), ntString, false},
                             {"Boolean", Variant(false), ntBoolean, false},
                             // A byte is a value like any small integer, not a reason for null.
                             {"Byte", Variant(uint8_t{200}), ntInteger, false},
                             {"Int64InRange", Variant(int64_t{-5}), ntInteger, false},
                             {"Int64OutOfRange", Variant(int64_t{1} << 40), ntFloat, false},
                             {"Null", Variant::Null(), ntUnknown, true},
                             {"Empty", Variant(), ntUnknown, true},
                             {"Array", host::VarArrayOf({Variant(1)}), ntUnknown, true},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParamValue, SetAsVariantKeepsTheVariantsOwnRepresentationButGettersConvert) {
    TLumraParam p(nullptr, "p");
    p.SetAsVariant(Variant(host::Currency::FromScaled(12345)));
    EXPECT_EQ(p.Data().VarType(), host::varCurrency);
    EXPECT_DOUBLE_EQ(p.GetAsFloat(), 1.2345);
    EXPECT_EQ(p.GetAsString(), "1.2345");
}

TEST(ParamValue, SetTextConvertsToTheDataTypeAndSwallowsBadText) {
    TLumraParam p(nullptr, "p");
    p.SetText("12");
    EXPECT_EQ(p.DataType(), ntString);
    EXPECT_EQ(p.Data().VarType(), host::varString);
    EXPECT_EQ(p.GetAsString(), "12");

    p.SetDataType(ntInteger);
    p.SetText("12");
    EXPECT_EQ(p.Data().VarType(), host::varInteger);
    EXPECT_EQ(p.GetAsInteger(), 12);

    p.SetText("abc");
    EXPECT_EQ(p.DataType(), ntInteger);
    EXPECT_EQ(p.Data().VarType(), host::varInteger);
    EXPECT_EQ(p.GetAsInteger(), 0);
    EXPECT_FALSE(p.IsNull());
    EXPECT_TRUE(p.Bound());
}

TEST(ParamValue, SetTextOnADateParameterKeepsAGivenTimeOfDay) {
    TLumraParam p(nullptr, "p");
    p.SetDataType(ntDate);
    p.SetText("2001-02-03 10:30");
    EXPECT_DOUBLE_EQ(p.GetAsDateTime(), Feb3At1030());
    p.SetText("not a date");
    EXPECT_EQ(p.Data().VarType(), host::varInteger);
    EXPECT_EQ(p.GetAsString(), "1899-12-30") << "integer 0 read as a date is the zero day";
}

TEST(ParamValue, BooleanTextIsTheCatalogueWordAndNullGivesEmptyText) {
    TLumraParam p(nullptr, "p");
    p.SetAsBoolean(true);
    EXPECT_EQ(p.GetAsString(), "True");
    p.SetAsBoolean(false);
    EXPECT_EQ(p.GetAsString(), "False");
    p.Clear();
    EXPECT_EQ(p.GetAsString(), "");
    EXPECT_EQ(p.DataType(), ntBoolean);
}

TEST(ParamValue, TranslatedBooleanWordsReadBackThroughSetText) {
    host::SetResStringOverride(LUMRA_TXT_TRUE.Identifier, "Wahr");
    host::SetResStringOverride(LUMRA_TXT_FALSE.Identifier, "Falsch");
    TLumraParam p(nullptr, "p");
    p.SetAsBoolean(true);
    const std::string shown = p.GetAsString();
    p.SetText("Falsch");
    const bool afterFalse = p.GetAsBoolean();
    p.SetText(shown);
    const bool afterShown = p.GetAsBoolean();
    host::ClearResStringOverrides();
    EXPECT_EQ(shown, "Wahr");
    EXPECT_FALSE(afterFalse);
    EXPECT_TRUE(afterShown);
}

// Every type the editors show: the text GetAsString gives, fed to SetText on
// a parameter of the same type, yields the same stored value.
struct TextCase {
    const char* name;
    std::function<void(TLumraParam&)> set;
    const char* text;
};

class TextRoundTrip : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextRoundTrip, GetAsStringFedToSetTextGivesTheSameValue) {
    const TextCase& c = GetParam();
    TLumraParam original(nullptr, "p");
    c.set(original);
    const std::string text = original.GetAsString();
    EXPECT_EQ(text, c.text);

    TLumraParam edited(nullptr, "p");
    edited.SetDataType(original.DataType());
    edited.SetText(text);
    EXPECT_EQ(edited.DataType(), original.DataType());
    EXPECT_EQ(edited.Data().VarType(), original.Data().VarType());
    EXPECT_TRUE(edited.Data() == original.Data()) << edited.GetAsString();
    EXPECT_EQ(edited.GetAsString(), text);
}

INSTANTIATE_TEST_SUITE_P(
    EditorTypes, TextRoundTrip,
    ::testing::ValuesIn(std::vector<TextCase>{
        {"String", [](TLumraParam& p) { p.SetAsString("O'Neil ; x"); }, "O'Neil ; x"},
        {"Memo", [](TLumraParam& p) { p.SetAsMemo("line1\r\nline2\n"); }, "line1\r\nline2\n"},
        {"Integer", [](TLumraParam& p) { p.SetAsInteger(-2147483647 - 1); }, "-2147483648"},
        {"Float", [](TLumraParam& p) { p.SetAsFloat(0.1); }, "0.1"},
        {"FloatLarge", [](TLumraParam& p) { p.SetAsFloat(1e20); }, "1e+20"},
        {"FloatTiny", [](TLumraParam& p) { p.SetAsFloat(-2.5e-300); }, "-2.5e-300"},
        {"Currency", [](TLumraParam& p) { p.SetAsCurrency(1234.5678); }, "1234.5678"},
        {"Date", [](TLumraParam& p) { p.SetAsDate(Feb3At1030()); }, "2001-02-03"},
        {"Time", [](TLumraParam& p) { p.SetAsTime(Feb3At1030()); }, "10:30:00"},
        {"TimeWithMilliseconds", [](TLumraParam& p) { p.SetAsTime(host::EncodeTime(23, 59, 59, 999)); },
         "23:59:59.999"},
        {"DateTime", [](TLumraParam& p) { p.SetAsDateTime(Feb3At1030()); }, "2001-02-03 10:30:00"},
        {"DateTimeBeforeTheZeroDay", [](TLumraParam& p) { p.SetAsDateTime(-1.75); }, "1899-12-29 18:00:00"},
        {"DateTimeAtMidnight", [](TLumraParam& p) { p.SetAsDateTime(host::EncodeDate(2001, 2, 3)); },
         "2001-02-03"},
        {"BooleanTrue", [](TLumraParam& p) { p.SetAsBoolean(true); }, "True"},
        {"BooleanFalse", [](TLumraParam& p) { p.SetAsBoolean(false); }, "False"},
        {"Binary", [](TLumraParam& p) { p.SetAsBinary("\x01\x7f\xff"); }, "\x01\x7f\xff"},
        {"Blob", [](TLumraParam& p) { p.SetAsBlob("blob"); }, "blob"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParamValue, CheckedGettersReadAClearedValueAsZeroButDateTimeAndStringTestNull) {
    TLumraParam p(nullptr, "p");
    p.SetAsDateTime(Feb3At1030());
    p.Clear();
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(p.DataType(), ntDateTime);
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.GetAsInteger(), 0);
    EXPECT_EQ(p.GetAsFloat(), 0.0);
    EXPECT_FALSE(p.GetAsBoolean());
    EXPECT_EQ(p.GetAsMemo(), "0");
    EXPECT_EQ(p.GetAsDateTime(), 0.0);
    EXPECT_EQ(p.GetAsString(), "");
    EXPECT_EQ(p.GetAsVariant().AsInteger(), 0) << "GetAsVariant leaves the null test to its callers";
}

TEST(ParamValue, GettersRaiseTheConversionErrorForUnconvertibleValues) {
    TLumraParam p(nullptr, "p");
    p.SetAsString("abc");
    EXPECT_THROW(p.GetAsInteger(), host::EConvertError);
    EXPECT_THROW(p.GetAsFloat(), host::EConvertError);
    EXPECT_THROW(p.GetAsBoolean(), host::EConvertError);
    EXPECT_THROW(p.GetAsDateTime(), host::EConvertError);
    p.SetDataTypeRaw(ntInteger);
    std::vector<char> buffer(16);
    EXPECT_THROW(p.GetData(buffer.data()), host::EConvertError);
}

TEST(ParamValue, DateTextThatDoesNotConvertReadsAsEmpty) {
    TLumraParam p(nullptr, "p");
    p.SetAsString("no date");
    p.SetDataTypeRaw(ntDate);
    EXPECT_EQ(p.GetAsString(), "");
}

TEST(ParamValue, SetDataTypeDiscardsTheValueButKeepsTheFlags) {
    TLumraParam p(nullptr, "p");
    p.SetAsString("abc");
    p.SetDataType(ntFloat);
    EXPECT_EQ(p.Data().VarType(), host::varInteger);
    EXPECT_EQ(p.GetAsString(), "0");
    EXPECT_TRUE(p.Bound());
    EXPECT_FALSE(p.IsNull());

    p.Clear();
    p.SetDataType(ntString);
    EXPECT_TRUE(p.IsNull());
}

TEST(ParamValue, BinaryValuesLeaveAsByteArraysAndEmptyOnesAsNull) {
    TLumraParam p(nullptr, "p");
    p.SetAsBlob("");
    EXPECT_TRUE(p.GetAsVariant().IsNull());

    p.SetAsBlob(std::string("\0\x80\xff", 3));
    Variant bytes = p.GetAsVariant();
    ASSERT_TRUE(bytes.IsArray());
    EXPECT_EQ(bytes.VarType(), host::varArray | host::varByte);
    EXPECT_EQ(host::VarArrayLowBound(bytes), 0);
    EXPECT_EQ(host::VarArrayHighBound(bytes), 2);
    EXPECT_EQ(bytes[0].AsInteger(), 0);
    EXPECT_EQ(bytes[1].AsInteger(), 0x80);
    EXPECT_EQ(bytes[2].AsInteger(), 0xff);
    EXPECT_EQ(p.Data().VarType(), host::varString) << "the stored value stays a byte string";

    p.SetAsString("ab");
    EXPECT_EQ(p.GetAsVariant().VarType(), host::varString) << "only binary types leave as arrays";
    EXPECT_EQ(p.GetAsByteArray().VarType(), host::varArray | host::varByte);
}

TEST(ParamValue, EqualityLooksAtValueTypeNamesFlagsAndDirection) {
    TLumraParam a(nullptr, "id");
    TLumraParam b(nullptr, "id");
    a.SetAsInteger(5);
    b.SetAsInteger(5);
    EXPECT_TRUE(a.IsEqual(&b));

    b.SetAsVariant(Variant(int16_t{5}));
    EXPECT_FALSE(a.IsEqual(&b)) << "same number, different variant type";
    b.SetAsInteger(5);
    b.SetName("ID");
    EXPECT_FALSE(a.IsEqual(&b)) << "names compare case-sensitively";
    b.SetName("id");
    b.SetParamType(nptInput);
    EXPECT_FALSE(a.IsEqual(&b));
    b.SetParamType(nptUnknown);
    b.SetBound(false);
    EXPECT_FALSE(a.IsEqual(&b));
    EXPECT_FALSE(a.IsEqual(nullptr));
}

#if LMR_HOST_GENERATION != 3
TEST(ParamValue, InitValueMarksBoundAndNotNullWithoutTouchingTheValue) {
    TLumraParam p(nullptr, "p");
    p.SetAsString("v");
    p.Clear();
    p.SetBound(false);
    p.InitValue();
    EXPECT_TRUE(p.Bound());
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(p.DataType(), ntString);
    EXPECT_EQ(p.GetAsString(), "0") << "Clear's integer 0 is what is left";
}
#endif
