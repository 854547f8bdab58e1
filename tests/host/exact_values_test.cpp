// Values that must come back exactly or be refused: integers and doubles at
// the edges of each other's precision, the currency range, and Format's
// specifiers at sizes no text needs.
#include "host/Exceptions.h"
#include "host/SysUtils.h"
#include "host/Variant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace host;

namespace {

constexpr int64_t TwoPow53 = int64_t{1} << 53;

struct IntToDoubleRow {
    int64_t value;
    bool exact;
};

class IntToDouble : public ::testing::TestWithParam<IntToDoubleRow> {};

TEST_P(IntToDouble, AnIntegerFitsADoubleOnlyWhenTheDoubleHoldsItExactly) {
    double d = -1;
    EXPECT_EQ(Int64ToDoubleExact(GetParam().value, d), GetParam().exact) << GetParam().value;
    if (GetParam().exact) {
        EXPECT_EQ(static_cast<int64_t>(d), GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, IntToDouble,
    ::testing::Values(IntToDoubleRow{0, true}, IntToDoubleRow{TwoPow53, true},
                      IntToDoubleRow{-TwoPow53, true}, IntToDoubleRow{TwoPow53 + 1, false},
                      IntToDoubleRow{-TwoPow53 - 1, false}, IntToDoubleRow{TwoPow53 + 2, true},
                      IntToDoubleRow{int64_t{1} << 60, true}, IntToDoubleRow{(int64_t{1} << 60) + 1, false},
                      IntToDoubleRow{INT64_MIN, true}, IntToDoubleRow{INT64_MAX, false}));

struct DoubleToIntRow {
    double value;
    bool exact;
};

class DoubleToInt : public ::testing::TestWithParam<DoubleToIntRow> {};

TEST_P(DoubleToInt, ADoubleFitsAnIntegerWhenWholeAndInsideTheRange) {
    int64_t i = 0;
    EXPECT_EQ(DoubleToInt64Exact(GetParam().value, i), GetParam().exact) << GetParam().value;
    if (GetParam().exact) {
        EXPECT_EQ(static_cast<double>(i), GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, DoubleToInt,
                         ::testing::Values(DoubleToIntRow{9.21e18, true}, DoubleToIntRow{-9.21e18, true},
                                           DoubleToIntRow{-9223372036854775808.0, true},
                                           DoubleToIntRow{9223372036854775808.0, false},
                                           DoubleToIntRow{0.5, false}, DoubleToIntRow{1e300, false},
                                           DoubleToIntRow{-0.0, true},
                                           DoubleToIntRow{std::numeric_limits<double>::quiet_NaN(), false},
                                           DoubleToIntRow{std::numeric_limits<double>::infinity(), false}));

TEST(ExactValues, TheCurrencyRangeReadsBackFromItsOwnTextAtBothEnds) {
    for (const Currency c : {Currency::FromScaled(INT64_MIN), Currency::FromScaled(INT64_MAX),
                             Currency::FromScaled(INT64_MIN + 1), Currency::FromScaled(-1)}) {
        const std::string text = c.ToString();
        EXPECT_EQ(Currency::Parse(text), c) << text;
        EXPECT_EQ(Variant(text).AsCurrency(), c) << text;
    }
    EXPECT_EQ(Currency::FromScaled(INT64_MIN).ToString(), "-922337203685477.5808");
    EXPECT_THROW(Currency::Parse("-922337203685477.5809"), EConvertError);
    EXPECT_THROW(Currency::Parse("922337203685477.5808"), EConvertError);
}

TEST(ExactValues, CurrencyRoundsToIntegersWithoutPassingThroughADouble) {
    EXPECT_EQ(Variant(Currency::FromScaled(1000000000000005001)).AsInt64(), 100000000000001);
    EXPECT_EQ(Variant(Currency::FromScaled(1000000000000005000)).AsInt64(), 100000000000000)
        << "ties to even";
    EXPECT_EQ(Variant(Currency::FromScaled(15000)).AsInt64(), 2);
    EXPECT_EQ(Variant(Currency::FromScaled(-15000)).AsInt64(), -2);
    EXPECT_EQ(Variant(Currency::FromScaled(-25000)).AsInt64(), -2);
    EXPECT_EQ(Variant(Currency::FromScaled(-25001)).AsInt64(), -3);
    EXPECT_EQ(Variant(Currency::FromScaled(INT64_MIN)).AsInt64(), -922337203685478);
    EXPECT_EQ(Variant(Currency::FromScaled(INT64_MAX)).AsInt64(), 922337203685478);
}

TEST(ExactValues, FloatToIntegerConversionsAcceptTheWholeRange) {
    EXPECT_EQ(Variant(9.21e18).AsInt64(), static_cast<int64_t>(9.21e18));
    EXPECT_EQ(Variant(-9223372036854775808.0).AsInt64(), INT64_MIN);
    EXPECT_THROW(Variant(9223372036854775808.0).AsInt64(), EConvertError);
}

struct HugeFormatRow {
    const char* fmt;
    std::vector<Variant> args;
};

class FormatSizes : public ::testing::TestWithParam<HugeFormatRow> {};

TEST_P(FormatSizes, WidthsAndPrecisionsNoTextNeedsRaiseAConvertError) {
    try {
        Format(GetParam().fmt, GetParam().args);
        ADD_FAILURE() << GetParam().fmt << " did not raise";
    } catch (const EConvertError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << GetParam().fmt << " let " << typeid(e).name() << " escape";
    }
}

INSTANTIATE_TEST_SUITE_P(Huge, FormatSizes,
                         ::testing::Values(HugeFormatRow{"%2147483647d", {Variant(1)}},
                                           HugeFormatRow{"%.2147483647d", {Variant(1)}},
                                           HugeFormatRow{"%*d", {Variant(2147483647), Variant(1)}},
                                           HugeFormatRow{"%.*x", {Variant(2000000000), Variant(1)}},
                                           HugeFormatRow{"%2000000000s", {Variant("a")}},
                                           HugeFormatRow{"%.65536e", {Variant(1.5)}},
                                           HugeFormatRow{"%65536.2f", {Variant(1.5)}}));

TEST(ExactValues, ScientificFormatKeepsItsExponentAtEveryPrecision) {
    for (int prec : {18, 19, 61, 62, 100, 65535}) {
        const std::string fmt = "%." + std::to_string(prec) + "e";
        std::string text;
        ASSERT_NO_THROW(text = Format(fmt, {Variant(1.5e100)})) << fmt;
        // 18 significant digits, then the exponent.
        EXPECT_EQ(text, "1.49999999999999993E+100") << fmt;
        ASSERT_NO_THROW(text = Format(fmt, {Variant(-2.5e-300)})) << fmt;
        EXPECT_NE(text.find("E-300"), std::string::npos) << fmt << " gave " << text;
    }
    EXPECT_EQ(Format("%.3e", {Variant(1.5)}), "1.50E+000");
    EXPECT_EQ(Format("%8d|%-4d|", {Variant(7), Variant(3)}), "       7|3   |");
    EXPECT_EQ(Format("%65535d", {Variant(1)}).size(), 65535u);
}

} // namespace
