// The host framework's date and time helpers: the TDateTime double, the time
// stamp pair (day number, milliseconds) that date and time values are
// exchanged in, encoding and decoding, the clock, and the one text form.
//
// Text form (locale-independent, shared with host::Variant):
//   date       "YYYY-MM-DD"
//   time       "HH:MM:SS" or "HH:MM:SS.zzz" (milliseconds only when not zero)
//   date-time  "YYYY-MM-DD HH:MM:SS[.zzz]"
// DateTimeToStr writes the date only when the time of day is 0 and the time
// only when the date is the zero day 1899-12-30 (integer part 0), so every
// value written reads back as the same value to the millisecond. Reading
// accepts these forms with surrounding blanks, a 'T' instead of the blank,
// one- or two-digit month, day, hour, minute and second, a missing ":SS", and
// 1 to 3 fraction digits (".5" is 500 ms). Years run from 1 to 9999.
//
// All conversions round to whole milliseconds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace host {

using TDateTime = double; // also declared in host/Variant.h

struct TTimeStamp {
    int32_t Time; // milliseconds since midnight, 0 .. 86,399,999
    int32_t Date; // day number: 1 = 0001-01-01, 693594 = 1899-12-30
};

inline constexpr int32_t HoursPerDay = 24;
inline constexpr int32_t MinsPerDay = 24 * 60;
inline constexpr int32_t SecsPerDay = 24 * 60 * 60;
inline constexpr int32_t MSecsPerDay = 24 * 60 * 60 * 1000;
// Day number of 1899-12-30, the TDateTime zero.
inline constexpr int32_t DateDelta = 693594;

// Splits a date-time into day number and milliseconds (the time rounded to
// the nearest millisecond, carrying into the next day at midnight). Raises
// EConvertError for values outside 0001-01-01 .. 9999-12-31 or not finite.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
// Raises EConvertError when Time is outside 0 .. 86,399,999 or Date < 1.
TDateTime TimeStampToDateTime(const TTimeStamp& value);
// Date * 86,400,000 + Time.
int64_t TimeStampToMSecs(const TTimeStamp& value);
// Raises EConvertError when msecs is below one day (day number < 1).
TTimeStamp MSecsToTimeStamp(int64_t msecs);

bool IsLeapYear(int32_t year) noexcept;
// Raise EConvertError "Invalid argument to date encode" /
// "Invalid argument to time encode" for out-of-range parts.
TDateTime EncodeDate(int32_t year, int32_t month, int32_t day);
TDateTime EncodeTime(int32_t hour, int32_t min, int32_t sec, int32_t msec);
// Decode after rounding to the millisecond; DecodeDate raises EConvertError
// for values outside the years 1 .. 9999.
void DecodeDate(TDateTime value, uint16_t& year, uint16_t& month, uint16_t& day);
void DecodeTime(TDateTime value, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec);

// The local clock.
TDateTime Date();
TDateTime Time();
TDateTime Now();

// Text form (see the top of this file). DateToStr ignores the time,
// TimeToStr the date.
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);
// StrToDate accepts a date, StrToTime a time (on the zero day), StrToDateTime
// any of the three forms. Bad text raises EConvertError
// "'<text>' is not a valid date" (time / date and time).
TDateTime StrToDate(std::string_view text);
TDateTime StrToTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text);
// Non-raising StrToDateTime.
bool TryStrToDateTime(std::string_view text, TDateTime& value) noexcept;

} // namespace host
