// The binary value layout: for every data type, the bytes GetData writes for a
// value, and the value SetData reads back from those bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "LmrBasDS/LmrParams.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"

using host::Variant;
using Bytes = std::vector<uint8_t>;

namespace {

host::TDateTime Feb3At1030() {
    return host::EncodeDate(2001, 2, 3) + host::EncodeTime(10, 30, 0, 0);
}

Bytes DataOf(const TLumraParam& p) {
    Bytes out(static_cast<size_t>(p.GetDataSize()) + 8, 0xCC); // guard bytes catch overruns
    p.GetData(out.data());
    for (size_t i = static_cast<size_t>(p.GetDataSize()); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xCC) << "GetData wrote past GetDataSize at " << i;
    out.resize(static_cast<size_t>(p.GetDataSize()));
    return out;
}

} // namespace

struct LayoutCase {
    const char* name;
    std::function<void(TLumraParam&)> set;
    Bytes bytes;
};

class BinaryLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BinaryLayout, GetDataWritesTheLayoutAndSetDataReadsTheSameValueBack) {
    const LayoutCase& c = GetParam();
    TLumraParam p(nullptr, "p");
    c.set(p);
    EXPECT_EQ(DataOf(p), c.bytes);

    TLumraParam back(nullptr, "p");
    back.SetDataType(p.DataType());
    if (p.DataType() == ntBinary || p.DataType() == ntBlob)
        back.SetBlobData(c.bytes.data(), static_cast<int32_t>(c.bytes.size()));
    else
        back.SetData(c.bytes.data());
    EXPECT_EQ(back.DataType(), p.DataType() == ntBinary ? ntBlob : p.DataType());
    EXPECT_EQ(back.Data().VarType(), p.Data().VarType());
    EXPECT_TRUE(back.Data() == p.Data()) << back.GetAsString() << " vs " << p.GetAsString();
    EXPECT_TRUE(back.Bound());
    EXPECT_FALSE(back.IsNull());
}

INSTANTIATE_TEST_SUITE_P(
    EveryDataType, BinaryLayout,
    ::testing::ValuesIn(std::vector<LayoutCase>{
        {"String", [](TLumraParam& p) { p.SetAsString("ab"); }, {0x61, 0x62, 0x00}},
        {"EmptyString", [](TLumraParam& p) { p.SetAsString(""); }, {0x00}},
        {"Integer", [](TLumraParam& p) { p.SetAsInteger(-2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
        {"Float", [](TLumraParam& p) { p.SetAsFloat(1.5); }, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        {"Currency", [](TLumraParam& p) { p.SetAsCurrency(1.5); }, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        // 2001-02-03 is day 730519 counting 0001-01-01 as day 1.
        {"Date", [](TLumraParam& p) { p.SetAsDate(Feb3At1030()); }, {0x97, 0x25, 0x0B, 0x00}},
        {"FirstDay", [](TLumraParam& p) { p.SetAsDate(host::EncodeDate(1, 1, 1)); }, {0x01, 0, 0, 0}},
        {"ZeroDay", [](TLumraParam& p) { p.SetAsDate(0.0); }, {0x5A, 0x95, 0x0A, 0x00}},
        // 10:30 is 37,800,000 ms.
        {"Time", [](TLumraParam& p) { p.SetAsTime(Feb3At1030()); }, {0x40, 0xC8, 0x40, 0x02}},
        // 730519 * 86,400,000 + 37,800,000 as a double.
        {"DateTime",
         [](TLumraParam& p) { p.SetAsDateTime(Feb3At1030()); },
         {0x00, 0x20, 0x86, 0x96, 0xC5, 0xB3, 0xCC, 0x42}},
        // Before the zero day the fraction still counts forward from midnight:
        // -1.75 is 1899-12-29 18:00, 693593 * 86,400,000 + 64,800,000.
        {"DateTimeBeforeTheZeroDay",
         [](TLumraParam& p) { p.SetAsDateTime(-1.75); },
         {0x00, 0x80, 0x60, 0xDF, 0x5C, 0x40, 0xCB, 0x42}},
        {"BooleanTrue", [](TLumraParam& p) { p.SetAsBoolean(true); }, {0x01, 0x00}},
        {"BooleanFalse", [](TLumraParam& p) { p.SetAsBoolean(false); }, {0x00, 0x00}},
        {"Binary", [](TLumraParam& p) { p.SetAsBinary(std::string("\0\x01\xff", 3)); }, {0x00, 0x01, 0xFF}},
        {"Memo", [](TLumraParam& p) { p.SetAsMemo("x\ny"); }, {0x78, 0x0A, 0x79, 0x00}},
        {"Blob", [](TLumraParam& p) { p.SetAsBlob("\x10\x20"); }, {0x10, 0x20}},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryLayout, UnknownTypeHasNoBytesAndSetDataMakesItAnEmptyString) {
    TLumraParam p(nullptr, "p");
    EXPECT_EQ(p.GetDataSize(), 0);
    uint8_t guard = 0xCC;
    p.GetData(&guard);
    EXPECT_EQ(guard, 0xCC);
    p.SetData(&guard);
    EXPECT_EQ(p.DataType(), ntString);
    EXPECT_EQ(p.GetAsString(), "");
    EXPECT_TRUE(p.Bound());
}

TEST(BinaryLayout, SetDataOnBinaryTypesOnlyEmptiesThemAndSetBlobDataAlwaysGivesBlob) {
    TLumraParam p(nullptr, "p");
    p.SetAsBinary("abc");
    const uint8_t bytes[] = {1, 2, 3};
    p.SetData(bytes);
    EXPECT_EQ(p.DataType(), ntBinary);
    EXPECT_EQ(p.GetAsString(), "");

    p.SetAsInteger(4);
    p.SetBlobData(bytes, 3);
    EXPECT_EQ(p.DataType(), ntBlob);
    EXPECT_EQ(p.GetAsString(), std::string("\x01\x02\x03"));
}

TEST(BinaryLayout, ANullDateStillWritesTheZeroDayAtMidnight) {
    TLumraParam p(nullptr, "p");
    p.SetAsDateTime(Feb3At1030());
    p.Clear();
    Bytes expectedDateTime = {0x00, 0x00, 0x2C, 0x84, 0x5D, 0x40, 0xCB, 0x42}; // 693594 * 86,400,000
    EXPECT_EQ(DataOf(p), expectedDateTime);
    p.SetDataType(ntDate);
    p.Clear();
    EXPECT_EQ(DataOf(p), (Bytes{0x5A, 0x95, 0x0A, 0x00}));
}

TEST(BinaryLayout, AnyNonZeroBooleanReadsAsTrue) {
    TLumraParam p(nullptr, "p");
    p.SetDataType(ntBoolean);
    const uint8_t bytes[] = {0x00, 0x80};
    p.SetData(bytes);
    EXPECT_TRUE(p.GetAsBoolean());
}

TEST(BinaryLayout, DateTimeReadRoundsToTheNearestMillisecond) {
    TLumraParam p(nullptr, "p");
    p.SetDataType(ntDateTime);
    const double msecs = 730519.0 * 86400000.0 + 37800000.0 + 0.6;
    uint8_t bytes[8];
    std::memcpy(bytes, &msecs, 8);
    p.SetData(bytes);
    EXPECT_EQ(p.GetAsString(), "2001-02-03 10:30:00.001");
}

TEST(BinaryLayout, DamagedDateBytesRaiseInsteadOfProducingAValue) {
    TLumraParam p(nullptr, "p");
    p.SetDataType(ntDateTime);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    uint8_t bytes[8];
    std::memcpy(bytes, &nan, 8);
    EXPECT_THROW(p.SetData(bytes), host::EConvertError);
    p.SetDataType(ntTime);
    const uint8_t badTime[] = {0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_THROW(p.SetData(badTime), host::EConvertError);
}

TEST(BinaryLayout, BoundedTextReadStopsAtTheBlockEndWithoutATerminator) {
    TLumraParam p(nullptr, "p");
    p.SetDataType(ntString);
    const char block[] = {'a', 'b', 'c', 'X'}; // no zero byte inside the 3 bytes given
    p.SetDataBounded(block, 3);
    EXPECT_EQ(p.GetAsString(), "abc");
    p.SetDataType(ntInteger);
    EXPECT_THROW(p.SetDataBounded(block, 3), host::EReadError);
}
