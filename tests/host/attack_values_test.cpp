// Values at and just past their limits, seen from the outside: every value
// written in the text form reads back as the same value; a conversion that
// cannot hold its value raises instead of wrapping or rounding; Format
// raises EConvertError for every malformed or unsatisfiable specifier.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"
#include "host/Variant.h"

using namespace host;

namespace {

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The documented date and time forms: YYYY-MM-DD, HH:MM:SS[.zzz] and
// YYYY-MM-DD HH:MM:SS[.zzz] ('9' stands for a digit).
bool InDocumentedForm(const std::string& text) {
    for (const char* form :
         {"9999-99-99", "99:99:99", "99:99:99.999", "9999-99-99 99:99:99", "9999-99-99 99:99:99.999"}) {
        const std::string f = form;
        if (f.size() != text.size()) continue;
        bool match = true;
        for (size_t i = 0; i < f.size() && match; ++i)
            match = f[i] == '9' ? (text[i] >= '0' && text[i] <= '9') : text[i] == f[i];
        if (match) return true;
    }
    return false;
}

// Runs call and reports whether it raised an EConvertError (anything else
// fails the test: a std:: exception escaping is a fault of its own).
bool RaisesConvertError(const std::function<void()>& call) {
    try {
        call();
    } catch (const EConvertError&) {
        return true;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "raised something else: " << typeid(e).name() << ": " << e.what();
        return true;
    }
    return false;
}

} // namespace

// ---- Text form round trips -------------------------------------------------------------

class AttackDoubleText : public ::testing::TestWithParam<double> {};

TEST_P(AttackDoubleText, EveryDoubleReadsBackFromItsTextWithEveryBit) {
    const double d = GetParam();
    const std::string text = Variant(d).AsString();
    const double back = Variant(text).AsDouble();
    EXPECT_TRUE(SameBits(back, d) || (std::isnan(d) && std::isnan(back)))
        << d << " -> \"" << text << "\" -> " << back;
    EXPECT_EQ(text.find(','), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Edges, AttackDoubleText,
                         ::testing::Values(0.0, -0.0, 0.1, 1.0 / 3, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN,
                                           std::numeric_limits<double>::denorm_min(), 1e21, 1e-7,
                                           123456789012345678.0, 9007199254740993.0, 9007199254740994.0,
                                           9.223372036854775807e18, std::numeric_limits<double>::infinity(),
                                           -std::numeric_limits<double>::infinity()));

TEST(AttackValueText, SinglesReadBackFromTheirText) {
    for (float f : {0.1f, FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(), 16777217.0f, -0.0f}) {
        const std::string text = Variant(f).AsString();
        const float back = static_cast<float>(Variant(text).AsDouble());
        EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0) << f << " -> " << text;
    }
}

TEST(AttackValueText, IntegersAtTheirEdgesReadBackAndOneBeyondRaises) {
    for (int64_t n : {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), int64_t{0},
                      int64_t{-1}}) {
        EXPECT_EQ(Variant(Variant(n).AsString()).AsInt64(), n);
    }
    EXPECT_TRUE(RaisesConvertError([] { Variant("9223372036854775808").AsInt64(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("99999999999999999999").AsInt64(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("2147483648").AsInteger(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("-2147483649").AsInteger(); }));
    EXPECT_EQ(Variant("-2147483648").AsInteger(), std::numeric_limits<int32_t>::min());
    EXPECT_TRUE(RaisesConvertError([] { Variant(int64_t{2147483648}).AsInteger(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(int64_t{-2147483649}).AsInteger(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(int32_t{32768}).AsSmallint(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(int32_t{256}).AsByte(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(int32_t{-1}).AsByte(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("12abc").AsInt64(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("").AsInt64(); }));
}

TEST(AttackValueText, TextBelowTheLowest64BitIntegerRaisesInsteadOfSaturating) {
    for (const char* text : {"-9223372036854775809", "-9223372036854775810", "-99999999999999999999"}) {
        EXPECT_TRUE(RaisesConvertError([&] { Variant(text).AsInt64(); })) << text;
    }
    EXPECT_TRUE(RaisesConvertError([] { Variant("-2147483649").AsInteger(); }));
}

TEST(AttackValueText, FloatingValuesConvertToIntegersOnlyWhenTheRoundedValueFits) {
    EXPECT_EQ(Variant(2147483646.5).AsInteger(), 2147483646); // ties to even
    EXPECT_TRUE(RaisesConvertError([] { Variant(2147483647.5).AsInteger(); }));
    EXPECT_EQ(Variant(-2147483648.4).AsInteger(), std::numeric_limits<int32_t>::min());
    EXPECT_TRUE(RaisesConvertError([] { Variant(-2147483648.6).AsInteger(); }));
    EXPECT_EQ(Variant(-9223372036854775808.0).AsInt64(), std::numeric_limits<int64_t>::min());
    EXPECT_TRUE(RaisesConvertError([] { Variant(9223372036854775808.0).AsInt64(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(std::nan("")).AsInt64(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant(std::numeric_limits<double>::infinity()).AsInteger(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("1e19").AsInt64(); }));
}

TEST(AttackValueText, CurrencyAtItsEdgesReadsBackAndOneBeyondRaises) {
    const Currency max = Currency::FromScaled(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Currency::Parse(max.ToString()), max) << max.ToString();
    EXPECT_EQ(Variant(Variant(max).AsString()).AsCurrency(), max);
    for (int64_t scaled : {int64_t{1}, int64_t{-1}, int64_t{125000}, int64_t{-5}}) {
        const Currency c = Currency::FromScaled(scaled);
        EXPECT_EQ(Currency::Parse(c.ToString()), c) << c.ToString();
    }
    EXPECT_TRUE(RaisesConvertError([] { Currency::Parse("922337203685477.5808"); }));
    EXPECT_TRUE(RaisesConvertError([] { Currency::Parse("-922337203685477.5809"); }));
    EXPECT_TRUE(RaisesConvertError([] { Currency::Parse("1e15"); }));
    EXPECT_TRUE(RaisesConvertError([] { Currency::FromDouble(std::nan("")); }));
    EXPECT_TRUE(RaisesConvertError([] { Currency::FromDouble(1e15); }));
    EXPECT_TRUE(RaisesConvertError([] { Currency::FromInt64(922337203685478); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("922337203685477.5808").AsCurrency(); }));
}

TEST(AttackValueText, BooleansReadBackAndOtherTextRaises) {
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(Variant(false).AsString(), "False");
    EXPECT_TRUE(Variant(Variant(true).AsString()).AsBoolean());
    EXPECT_FALSE(Variant(Variant(false).AsString()).AsBoolean());
    EXPECT_TRUE(RaisesConvertError([] { Variant("yes").AsBoolean(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("").AsBoolean(); }));
}

class AttackDateText : public ::testing::TestWithParam<TDateTime> {};

TEST_P(AttackDateText, EveryDateTimeReadsBackFromItsTextInTheDocumentedForm) {
    const TDateTime value = GetParam();
    const std::string text = Variant::FromDate(value).AsString();
    EXPECT_TRUE(InDocumentedForm(text)) << value << " -> \"" << text << "\"";
    const TDateTime back = Variant(text).AsDateTime();
    EXPECT_DOUBLE_EQ(back, value) << value << " -> \"" << text << "\" -> " << back;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, AttackDateText,
    ::testing::Values(0.0, 1.0, 0.5, -1.25, -1.0, EncodeDate(1, 1, 1), EncodeDate(9999, 12, 31),
                      EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999), EncodeDate(2000, 2, 29),
                      EncodeDate(1, 1, 1) - EncodeTime(12, 0, 0, 1), EncodeTime(23, 59, 59, 999),
                      EncodeTime(0, 0, 0, 1), EncodeDate(1800, 3, 1) - EncodeTime(23, 59, 59, 999)));

// A value a fraction of a millisecond before midnight is written as the next
// day's midnight or as 23:59:59.999, never as a 24th hour or a 1000th
// millisecond.
TEST(AttackValueText, AValueJustBeforeMidnightIsWrittenInAValidForm) {
    const double lastMoment = (86400000.0 - 0.3) / 86400000.0;
    struct Case {
        TDateTime value;
        const char* text;
    };
    for (const Case& c : {Case{EncodeDate(2024, 1, 1) + lastMoment, "2024-01-02"},
                          // Before day zero the fraction counts forwards: this is 1899-12-29 23:59:59.9997.
                          Case{-(1.0 + lastMoment), "1899-12-30"},
                          Case{EncodeTime(23, 59, 59, 999) + 0.4 / 86400000.0, "23:59:59.999"},
                          Case{EncodeDate(2024, 1, 1) + EncodeTime(10, 0, 59, 999) + 0.7 / 86400000.0,
                               "2024-01-01 10:01:00"}}) {
        EXPECT_EQ(Variant::FromDate(c.value).AsString(), c.text) << c.value;
    }
}

// A date the four-digit year cannot hold is refused when written, or else
// its text reads back as the same value; impossible dates never read.
TEST(AttackValueText, DatesOutsideTheYearsTheFormHoldsRaiseOrReadBack) {
    for (TDateTime value : {EncodeDate(9999, 12, 31) + 1.0, EncodeDate(1, 1, 1) - 1.0, 1e10, -1e10}) {
        std::string text;
        try {
            text = Variant::FromDate(value).AsString();
        } catch (const EConvertError&) {
            continue;
        }
        TDateTime back = 0;
        EXPECT_FALSE(RaisesConvertError([&] { back = Variant(text).AsDateTime(); }))
            << value << " was written as \"" << text << "\", which does not read back";
        EXPECT_DOUBLE_EQ(back, value) << text;
    }
    EXPECT_TRUE(RaisesConvertError([] { Variant::FromDate(std::nan("")).AsString(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("2023-02-29").AsDateTime(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("2024-01-01 24:00:00").AsDateTime(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("12:60:00").AsDateTime(); }));
    EXPECT_TRUE(RaisesConvertError([] { Variant("2024-13-01").AsDateTime(); }));
}

// ---- Format ---------------------------------------------------------------------------

TEST(AttackFormat, MalformedOrUnsatisfiableSpecifiersRaiseEConvertError) {
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"missing argument", [] { Format("%d %d", {Variant(int32_t{1})}); }},
        {"no arguments", [] { Format("%s", {}); }},
        {"trailing percent", [] { Format("50%", {}); }},
        {"unfinished width", [] { Format("%5", {Variant(int32_t{1})}); }},
        {"unknown type", [] { Format("%k", {Variant(int32_t{1})}); }},
        {"index beyond the arguments", [] { Format("%3:d", {Variant(int32_t{1})}); }},
        {"float for d", [] { Format("%d", {Variant(1.5)}); }},
        {"text for d", [] { Format("%d", {Variant("12")}); }},
        {"text for f", [] { Format("%f", {Variant("1.5")}); }},
        {"null for d", [] { Format("%d", {Variant::Null()}); }},
        {"star with text",
         [] {
             Format("%*d", {Variant("5"), Variant(int32_t{1})});
         }},
        {"star with a float",
         [] {
             Format("%*d", {Variant(5.0), Variant(int32_t{1})});
         }},
        // Widths and precisions that do not fit a 32-bit number must not wrap around.
        {"width beyond 32 bits", [] { Format("%99999999999d", {Variant(int32_t{1})}); }},
        {"precision beyond 32 bits", [] { Format("%.99999999999f", {Variant(1.5)}); }},
        {"star width beyond 32 bits",
         [] {
             Format("%*d", {Variant(int64_t{1} << 40), Variant(int32_t{1})});
         }},
        {"index beyond 32 bits", [] { Format("%4294967296:d", {Variant(int32_t{1})}); }},
    };
    for (const auto& [what, call] : cases) {
        EXPECT_TRUE(RaisesConvertError(call)) << what << " did not raise";
    }
}

TEST(AttackFormat, IntegerEdgesAreFormattedWhole) {
    EXPECT_EQ(Format("%d", {Variant(std::numeric_limits<int64_t>::min())}), "-9223372036854775808");
    EXPECT_EQ(Format("%d", {Variant(std::numeric_limits<int32_t>::min())}), "-2147483648");
    EXPECT_EQ(Format("%x", {Variant(int64_t{-1})}), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Format("%x", {Variant(int32_t{-1})}), "FFFFFFFF");
    EXPECT_EQ(Format("%u", {Variant(int32_t{-1})}), "4294967295");
    EXPECT_EQ(Format("%.3d", {Variant(int32_t{-7})}), "-007");
    EXPECT_EQ(Format("%5d|%-5d|", {Variant(int32_t{42}), Variant(int32_t{42})}), "   42|42   |");
    EXPECT_EQ(Format("%%%s", {Variant("x")}), "%x");
    EXPECT_EQ(Format("%1:s%0:s", {Variant("a"), Variant("b")}), "ba");
}

TEST(AttackFormat, FloatingEdgesAreFormattedWithoutLosingMagnitude) {
    const std::string big = Format("%.0f", {Variant(DBL_MAX)});
    EXPECT_EQ(big.size(), 309u) << big;
    EXPECT_EQ(big.substr(0, 6), "179769");
    EXPECT_EQ(Format("%e", {Variant(DBL_MAX)}), "1.79769313486232E+308");
    EXPECT_EQ(Format("%e", {Variant(std::numeric_limits<double>::denorm_min())}), "4.94065645841247E-324");
    EXPECT_EQ(Format("%n", {Variant(-1234567.891)}), "-1,234,567.89");
}

// %s writes its argument as VarToStr does, and VarToStr gives a Null the
// empty text; only the number specifiers refuse it. An error message filled
// with a Null identifier must still come out, not turn into a second error.
TEST(AttackFormat, NullForATextSpecifierIsTheEmptyTextAndRefusedByNumberSpecifiers) {
    EXPECT_EQ(Format("%s", {Variant::Null()}), "");
    EXPECT_EQ(Format("[%3s]", {Variant::Null()}), "[   ]");
    for (const char* fmt : {"%d", "%f", "%x"}) {
        EXPECT_TRUE(RaisesConvertError([&] { Format(fmt, {Variant::Null()}); })) << fmt;
    }
}

// Currency values are exact to four decimals; formatting them must not pass
// through a double, which holds only 15-16 significant digits.
TEST(AttackFormat, CurrencyEdgesAreFormattedWithTheirExactDigits) {
    const Variant max(Currency::FromScaled(std::numeric_limits<int64_t>::max()));
    const Variant min(Currency::FromScaled(std::numeric_limits<int64_t>::min()));
    EXPECT_EQ(Format("%.4f", {max}), "922337203685477.5807");
    EXPECT_EQ(Format("%.4f", {min}), "-922337203685477.5808");
    EXPECT_EQ(Format("%f", {max}), "922337203685477.58");
    EXPECT_EQ(Format("%m", {min}), "-922,337,203,685,477.58");
    EXPECT_EQ(Format("%.4n", {Variant(Currency::FromScaled(9007199254740993))}), "900,719,925,474.0993");
    // Fewer decimals round the exact amount half away from zero; more add zeros.
    EXPECT_EQ(Format("%.0f", {max}), "922337203685478");
    EXPECT_EQ(Format("%.2f", {Variant(Currency::FromScaled(125))}), "0.01");
    EXPECT_EQ(Format("%.1f", {Variant(Currency::FromScaled(-99500))}), "-10.0");
    EXPECT_EQ(Format("%.6f", {Variant(Currency::FromScaled(-5))}), "-0.000500");
    EXPECT_EQ(Format("%.3f", {Variant(Currency::FromScaled(125))}), "0.013");
    EXPECT_EQ(Format("%8.2m", {Variant(Currency::FromScaled(12345678))}), "1,234.57");
}
