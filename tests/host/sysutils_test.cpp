// host SysUtils helpers: Format as a table, string helpers' edge cases,
// number text, file-name parts and resource-string overrides.
#include "host/Exceptions.h"
#include "host/ResourceStrings.h"
#include "host/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace host;

namespace {

struct FormatRow {
    const char* fmt;
    std::vector<Variant> args;
    const char* expected; // nullptr: raises EConvertError
};

class FormatTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatTest, FormatsLikeTheHostOrRaises) {
    const FormatRow& r = GetParam();
    if (r.expected)
        EXPECT_EQ(Format(r.fmt, r.args), r.expected) << r.fmt;
    else
        EXPECT_THROW(Format(r.fmt, r.args), EConvertError) << r.fmt;
}

INSTANTIATE_TEST_SUITE_P(Table, FormatTest,
                         ::testing::ValuesIn(std::vector<FormatRow>{
                             {"plain 100%%", {}, "plain 100%"},
                             {"%s is %d", {"x", 5}, "x is 5"},
                             {"[%5d][%-5d][%.3d]", {42, 42, -7}, "[   42][42   ][-007]"},
                             {"%*d|%-*s|", {4, 7, 3, "a"}, "   7|a  |"},
                             {"%1:s %0:s %s", {"a", "b"}, "b a b"},
                             {"%u", {-1}, "4294967295"},
                             {"%u", {int64_t{-1}}, "18446744073709551615"},
                             {"%x %.4x", {255, uint8_t{10}}, "FF 000A"},
                             {"%x", {-1}, "FFFFFFFF"},
                             {"%p", {255}, "000000FF"},
                             {"%f %.1f %.0f", {1.005, 2.25, 2.5}, "1.00 2.2 2"},
                             {"%e", {1234.5}, "1.23450000000000E+003"},
                             {"%.3e", {-0.000123}, "-1.23E-004"},
                             {"%g %g %g", {0.5, 1e20, 100.0}, "0.5 1E+20 100"},
                             {"%n", {1234567.891}, "1,234,567.89"},
                             {"%.0n", {-1234.0}, "-1,234"},
                             {"%m", {Currency::FromScaled(12345000)}, "1,234.50"},
                             {"%f", {7}, "7.00"},
                             {"%.2s|%s|%s", {"abcdef", Variant::Null(), true}, "ab||True"},
                             {"%8.3f|", {3.14159}, "   3.142|"},
                             {"%d", {}, nullptr},
                             {"%d", {1.5}, nullptr},
                             {"%d", {"12"}, nullptr},
                             {"%f", {"1.5"}, nullptr},
                             {"%f", {true}, nullptr},
                             {"%s", {VarArrayOf({1})}, nullptr},
                             {"%k", {1}, nullptr},
                             {"%", {}, nullptr},
                             {"%5", {1}, nullptr},
                             {"%*d", {"x", 1}, nullptr},
                             {"%3:d", {1}, nullptr},
                         }));

TEST(SysUtilsTest, DatabaseErrorFmtRaisesTheFormattedDatabaseError) {
    try {
        DatabaseErrorFmt("Field '%s' not found", {"ID"});
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'ID' not found");
    }
}

struct DelimiterRow {
    const char* delims;
    const char* s;
    int32_t expected;
};

TEST(SysUtilsTest, LastDelimiterIsOneBasedAndZeroWhenAbsent) {
    const DelimiterRow rows[] = {
        {".", "a.b.c", 4}, {"\\/", "dir/sub\\file", 8}, {".", "abc", 0}, {"", "abc", 0}, {".", "", 0},
        {"a", "a", 1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LastDelimiter(r.delims, r.s), r.expected) << r.s;
}

struct QuotedRow {
    const char* src;
    char quote;
    const char* result;
    size_t consumed;
};

TEST(SysUtilsTest, AnsiExtractQuotedStrFollowsTheHostRules) {
    const QuotedRow rows[] = {
        {"'abc' rest", '\'', "abc", 5},
        {"'it''s' x", '\'', "it's", 7},
        {"''''", '\'', "'", 4},
        {"''", '\'', "", 2},
        {"'unterminated", '\'', "unterminated", 13},
        {"'ends with doubled''", '\'', "ends with doubled'", 20},
        {"no quote", '\'', "", 0},
        {"\"dq\"\"x\"", '"', "dq\"x", 7},
        {"", '\'', "", 0},
    };
    for (const auto& r : rows) {
        const char* p = r.src;
        EXPECT_EQ(AnsiExtractQuotedStr(p, r.quote), r.result) << r.src;
        EXPECT_EQ(static_cast<size_t>(p - r.src), r.consumed) << r.src;
    }
    const char* null = nullptr;
    EXPECT_EQ(AnsiExtractQuotedStr(null, '\''), "");
    EXPECT_EQ(AnsiQuotedStr("it's", '\''), "'it''s'");
    const std::string quoted = AnsiQuotedStr("a''b'", '\'');
    const char* p = quoted.c_str();
    EXPECT_EQ(AnsiExtractQuotedStr(p, '\''), "a''b'");
    EXPECT_EQ(*p, '\0');
}

TEST(SysUtilsTest, ComparisonsFoldCaseAsDocumented) {
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("abc", "abd"), 0);
    EXPECT_GT(CompareText("abcd", "ABC"), 0);
    EXPECT_GT(CompareText("a_", "AB"), 0); // letters fold to upper case, '_' sorts after them
    EXPECT_TRUE(SameText("Hello", "hELLO"));
    EXPECT_FALSE(SameText("\xE9", "\xC9")); // ASCII folding only
    EXPECT_EQ(AnsiCompareText("\xE9t\xE9", "\xC9T\xC9"), 0);
    EXPECT_EQ(AnsiUpperCase("\xE9\x9a\xFF\xF7"), "\xC9\x8A\x9F\xF7");
    EXPECT_EQ(AnsiLowerCase("\xC9\x8A\x9F\xD7"), "\xE9\x9a\xFF\xD7");
    EXPECT_EQ(UpperCase("ab\xE9"), "AB\xE9");
    EXPECT_LT(AnsiCompareStr("B", "a"), 0);
    EXPECT_EQ(AnsiStrLComp("abcX", "abcY", 3), 0);
    EXPECT_LT(AnsiStrLComp("abcX", "abcY", 4), 0);
    EXPECT_EQ(AnsiStrLIComp("ABCx", "abcy", 3), 0);
    EXPECT_EQ(StrIComp("Abc", "aBC"), 0);
    EXPECT_GT(StrComp("abc", "ab"), 0);
    EXPECT_EQ(StrComp(nullptr, ""), 0);
    EXPECT_EQ(StrLen("abc"), 3u);
    EXPECT_EQ(StrLen(nullptr), 0u);
}

TEST(SysUtilsTest, StrAllocRemembersItsSize) {
    char* buffer = StrAlloc(100);
    std::memset(buffer, 'x', 100);
    EXPECT_EQ(StrBufSize(buffer), 100u);
    StrDispose(buffer);
    StrDispose(nullptr);
}

TEST(SysUtilsTest, TrimRemovesControlBytesAndBlanksOnly) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0"); // a no-break space is a character
    EXPECT_EQ(Trim("   "), "");
}

TEST(SysUtilsTest, FileNamePartsAcceptBothSeparators) {
    EXPECT_EQ(ExtractFileName("C:\\dir\\f.txt"), "f.txt");
    EXPECT_EQ(ExtractFileName("/usr/lib/x.so.1"), "x.so.1");
    EXPECT_EQ(ExtractFilePath("/usr/lib/x.so"), "/usr/lib/");
    EXPECT_EQ(ExtractFileDir("/usr/lib/x.so"), "/usr/lib");
    EXPECT_EQ(ExtractFileDir("/x.so"), "/");
    EXPECT_EQ(ExtractFileDir("C:\\x"), "C:\\");
    EXPECT_EQ(ExtractFileDir("x"), "");
    EXPECT_EQ(ExtractFileExt("a/b.c/d"), "");
    EXPECT_EQ(ExtractFileExt("a/b.tar.gz"), ".gz");
    EXPECT_EQ(ChangeFileExt("a.b/c", ".x"), "a.b/c.x");
    EXPECT_EQ(ChangeFileExt("c.txt", ".ini"), "c.ini");
    EXPECT_EQ(ChangeFileExt("c.txt", ""), "c");
}

TEST(SysUtilsTest, IntegerTextRaisesOnBadTextAndOverflow) {
    EXPECT_EQ(StrToInt(" -12"), -12);
    EXPECT_EQ(StrToInt("$7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToIntDef("zz", 7), 7);
    for (const char* bad : {"", "-", "12 ", "1.5", "2147483648", "$", "0x", "+-1", "$FFFFFFFF"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    try {
        StrToInt("abc");
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(IntToStr(int64_t{INT64_MIN}), "-9223372036854775808");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(int64_t{255}, 4), "00FF");
}

TEST(SysUtilsTest, FloatTextIsLocaleFreeAndRoundTrips) {
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(-3.0), "-3");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_TRUE(std::isnan(StrToFloat(FloatToStr(std::nan("")))));
    EXPECT_EQ(StrToFloat(" +1.5e3 "), 1500.0);
    for (const char* bad : {"", "1,5", "1.5x", "+-1", "0x10"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
    EXPECT_EQ(AnsiToWide("a\x80\xFF"), u"a\u20AC\u00FF");
    EXPECT_EQ(WideToAnsi(u"a\u20AC\u0100"), "a\x80?");
}

HOST_RESOURCESTRING(STestGreeting, "Hello %s")

TEST(ResourceStringTest, OverrideReplacesTextAtTheMomentOfUse) {
    EXPECT_EQ(LoadResString(STestGreeting), "Hello %s");
    SetResStringOverride("STestGreeting", "Hallo %s");
    EXPECT_EQ(Format(LoadResString(STestGreeting), {"Welt"}), "Hallo Welt");
    ClearResStringOverride("STestGreeting");
    EXPECT_EQ(LoadResString(STestGreeting), "Hello %s");
    SetResStringOverride("STestGreeting", "x");
    ClearResStringOverrides();
    EXPECT_EQ(LoadResString(STestGreeting), "Hello %s");
}

} // namespace
