// host date-time helpers: time stamps at the calendar's fixed points, the
// text form's round trip (negative dates, milliseconds, the zero day) and
// rejection of bad input.
#include "host/DateTime.h"
#include "host/Exceptions.h"

#include <gtest/gtest.h>

#include <string>

using namespace host;

namespace {

struct TimeStampRow {
    TDateTime value;
    int32_t date;
    int32_t time;
};

TEST(DateTimeTest, TimeStampsMatchTheCalendarBothWays) {
    const TimeStampRow rows[] = {
        {-693593.0, 1, 0},                       // 0001-01-01
        {0.0, DateDelta, 0},                     // 1899-12-30
        {0.5, DateDelta, MSecsPerDay / 2},       // noon on the zero day
        {-1.25, DateDelta - 1, MSecsPerDay / 4}, // 1899-12-29 06:00: the fraction is a time
        {EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 999), 738945, MSecsPerDay - 1},
    };
    for (const auto& r : rows) {
        const TTimeStamp ts = DateTimeToTimeStamp(r.value);
        EXPECT_EQ(ts.Date, r.date) << r.value;
        EXPECT_EQ(ts.Time, r.time) << r.value;
        EXPECT_EQ(DateTimeToTimeStamp(TimeStampToDateTime(ts)).Date, r.date);
        EXPECT_EQ(DateTimeToTimeStamp(TimeStampToDateTime(ts)).Time, r.time);
        EXPECT_EQ(MSecsToTimeStamp(TimeStampToMSecs(ts)).Date, r.date);
        EXPECT_EQ(MSecsToTimeStamp(TimeStampToMSecs(ts)).Time, r.time);
    }
    EXPECT_EQ(TimeStampToDateTime({0, 1}), -693593.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
}

TEST(DateTimeTest, TimeRoundingToMidnightCarriesIntoTheNextDay) {
    const double almost = 1.0 - 0.1 / MSecsPerDay; // 23:59:59.9999
    EXPECT_EQ(DateTimeToTimeStamp(almost).Date, DateDelta + 1);
    EXPECT_EQ(DateTimeToTimeStamp(almost).Time, 0);
    // 1899-12-29 23:59:59.9999 rounds to 1899-12-30 00:00: one day number up.
    EXPECT_EQ(DateTimeToTimeStamp(-1.0 - almost).Date, DateDelta);
    EXPECT_EQ(DateTimeToTimeStamp(-1.0 - almost).Time, 0);
}

TEST(DateTimeTest, InvalidTimeStampsAndValuesRaise) {
    EXPECT_THROW(TimeStampToDateTime({-1, 10}), EConvertError);
    EXPECT_THROW(TimeStampToDateTime({MSecsPerDay, 10}), EConvertError);
    EXPECT_THROW(TimeStampToDateTime({0, 0}), EConvertError);
    EXPECT_THROW(MSecsToTimeStamp(0), EConvertError);
    EXPECT_THROW(DateTimeToTimeStamp(-693594.5), EConvertError);
    EXPECT_THROW(DateTimeToTimeStamp(1e300), EConvertError);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

TEST(DateTimeTest, EncodeAndDecodeAgree) {
    uint16_t y, m, d, h, mi, s, ms;
    const TDateTime v = EncodeDate(1776, 7, 4) - EncodeTime(13, 14, 15, 16);
    DecodeDate(v, y, m, d);
    DecodeTime(v, h, mi, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, mi, s, ms}), (std::vector<int>{1776, 7, 4, 13, 14, 15, 16}));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2024));
}

struct TextRow {
    TDateTime value;
    const char* text;
};

class DateTimeTextTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(DateTimeTextTest, WritesTheFormAndReadsItBackToTheMillisecond) {
    const TextRow& r = GetParam();
    EXPECT_EQ(DateTimeToStr(r.value), r.text);
    const TTimeStamp back = DateTimeToTimeStamp(StrToDateTime(r.text));
    EXPECT_EQ(back.Date, DateTimeToTimeStamp(r.value).Date);
    EXPECT_EQ(back.Time, DateTimeToTimeStamp(r.value).Time);
}

INSTANTIATE_TEST_SUITE_P(Table, DateTimeTextTest,
                         ::testing::ValuesIn(std::vector<TextRow>{
                             {0.0, "1899-12-30"},
                             {0.5, "12:00:00"},
                             {EncodeTime(0, 0, 0, 1), "00:00:00.001"},
                             {EncodeDate(2001, 2, 3), "2001-02-03"},
                             {EncodeDate(2001, 2, 3) + EncodeTime(10, 30, 0, 0), "2001-02-03 10:30:00"},
                             {EncodeDate(2001, 2, 3) + EncodeTime(10, 30, 5, 250), "2001-02-03 10:30:05.250"},
                             {-1.25, "1899-12-29 06:00:00"},
                             {EncodeDate(1066, 10, 14) - EncodeTime(9, 0, 0, 999), "1066-10-14 09:00:00.999"},
                             {EncodeDate(1, 1, 1), "0001-01-01"},
                             {EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999),
                              "9999-12-31 23:59:59.999"},
                         }));

TEST(DateTimeTest, SplitFormsIgnoreTheOtherPart) {
    const TDateTime v = EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 7);
    EXPECT_EQ(DateToStr(v), "2001-02-03");
    EXPECT_EQ(TimeToStr(v), "04:05:06.007");
    EXPECT_EQ(StrToDate("2001-02-03"), EncodeDate(2001, 2, 3));
    EXPECT_EQ(StrToTime("04:05"), EncodeTime(4, 5, 0, 0));
}

TEST(DateTimeTest, ReaderAcceptsVariationsAndRejectsBadText) {
    EXPECT_EQ(StrToDateTime(" 2001-2-3T4:05:06.5 "), EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 500));
    const char* bad[] = {"",      "2001-02-30",   "2001-13-01",    "0000-01-01", "24:00:00",
                         "12:60", "2001-02-03 x", "12:00:00.1234", "abc",        "2001/02/03",
                         "12"};
    for (const char* text : bad)
        EXPECT_THROW(StrToDateTime(text), EConvertError) << text;
    EXPECT_THROW(StrToDate("12:00"), EConvertError);
    EXPECT_THROW(StrToDate("2001-02-03 12:00"), EConvertError);
    EXPECT_THROW(StrToTime("2001-02-03"), EConvertError);
    try {
        StrToDate("x");
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid date");
    }
}

TEST(DateTimeTest, ClockIsConsistent) {
    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_EQ(Date(), static_cast<double>(static_cast<int64_t>(Date())));
    EXPECT_GE(Time(), 0.0);
    EXPECT_LT(Time(), 1.0);
}

} // namespace
