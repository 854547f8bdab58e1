// Parameters as generation 3 builds them: InitValue is not part of the
// parameter's public interface there, yet every operation that gives a
// parameter a value still marks it bound and not null, exactly as the later
// generations do through InitValue.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LmrBasDS/LmrParams.h"
#include "host/DateTime.h"
#include "host/Fields.h"
#include "host/Streams.h"

using host::Variant;

namespace {

template <class T>
concept PublishesInitValue = requires(T& t) {
    t.InitValue();
};

static_assert(LMR_HOST_GENERATION == 3);
static_assert(!PublishesInitValue<TLumraParam>);

// A field that keeps its value itself: enough for AssignField.
class TValueField : public host::TField {
public:
    TValueField(const std::string& name, Variant value) : TField(nullptr) {
        SetFieldName(name);
        FStored = std::move(value);
    }
    bool IsNull() const override { return FStored.IsNull() || FStored.IsEmpty(); }

protected:
    Variant GetAsVariant() const override { return FStored; }
    void SetVarValue(const Variant& value) override { FStored = value; }

private:
    Variant FStored;
};

struct ValueCase {
    const char* name;
    std::function<void(TLumraParam&)> give;
    TLumraFieldTypes type; // DataType afterwards
    std::string text;      // GetAsString afterwards
};

class Gen3ParamValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Gen3ParamValue, MarksTheParameterBoundAndNotNull) {
    const ValueCase& c = GetParam();
    TLumraParam p(nullptr, "p");
    p.Clear();
    p.SetBound(false);
    c.give(p);
    EXPECT_TRUE(p.Bound());
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(p.DataType(), c.type);
    EXPECT_EQ(p.GetAsString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    EveryValueSetter, Gen3ParamValue,
    ::testing::ValuesIn(std::vector<ValueCase>{
        {"String", [](TLumraParam& p) { p.SetAsString("abc"); }, ntString, "abc"},
        {"Memo", [](TLumraParam& p) { p.SetAsMemo("m"); }, ntMemo, "m"},
        {"Binary", [](TLumraParam& p) { p.SetAsBinary("b"); }, ntBinary, "b"},
        {"Blob", [](TLumraParam& p) { p.SetAsBlob("x"); }, ntBlob, "x"},
        {"Integer", [](TLumraParam& p) { p.SetAsInteger(7); }, ntInteger, "7"},
        {"Float", [](TLumraParam& p) { p.SetAsFloat(2.5); }, ntFloat, "2.5"},
        {"Currency", [](TLumraParam& p) { p.SetAsCurrency(1.25); }, ntCurrency, "1.25"},
        {"Boolean", [](TLumraParam& p) { p.SetAsBoolean(true); }, ntBoolean, "True"},
        {"Date", [](TLumraParam& p) { p.SetAsDate(host::EncodeDate(2001, 2, 3)); }, ntDate, "2001-02-03"},
        {"Time", [](TLumraParam& p) { p.SetAsTime(host::EncodeTime(10, 30, 0, 0)); }, ntTime, "10:30:00"},
        {"DateTime",
         [](TLumraParam& p) {
             p.SetAsDateTime(host::EncodeDate(2001, 2, 3) + host::EncodeTime(10, 30, 0, 0));
         },
         ntDateTime, "2001-02-03 10:30:00"},
        {"Variant", [](TLumraParam& p) { p.SetAsVariant(Variant(int32_t{4})); }, ntInteger, "4"},
        {"Text", [](TLumraParam& p) { p.SetText("12"); }, ntString, "12"},
        {"Data",
         [](TLumraParam& p) {
             p.SetDataType(ntInteger);
             const uint8_t bytes[] = {5, 0, 0, 0};
             p.SetData(bytes);
         },
         ntInteger, "5"},
        {"BlobData", [](TLumraParam& p) { p.SetBlobData("yz", 2); }, ntBlob, "yz"},
        {"Stream",
         [](TLumraParam& p) {
             host::TStringStream stream(std::string("st"));
             p.LoadFromStream(stream, ntMemo);
         },
         ntMemo, "st"},
        {"Field",
         [](TLumraParam& p) {
             TValueField field("F", Variant("v"));
             p.AssignField(&field);
         },
         ntString, "v"},
        {"FieldValue",
         [](TLumraParam& p) {
             TValueField field("F", Variant(int32_t{1}));
             p.AssignFieldValue(&field, Variant(int32_t{9}));
         },
         ntInteger, "9"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gen3Param, CopyingAParameterStillCopiesItsFlags) {
    TLumraParam source(nullptr, "s");
    source.SetAsInteger(3);
    source.SetBound(false);
    TLumraParam copy(nullptr, "c");
    copy.Clear();
    copy.AssignParam(&source);
    EXPECT_FALSE(copy.IsNull());
    EXPECT_FALSE(copy.Bound()) << "AssignParam copies Bound after marking the value";
    EXPECT_EQ(copy.GetAsInteger(), 3);
}

} // namespace
