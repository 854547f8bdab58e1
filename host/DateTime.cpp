// Date and time arithmetic on the proleptic Gregorian calendar, the time
// stamp conversions and the one text form of dates and times.
#include "host/DateTime.h"

#include "host/Exceptions.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace host {

namespace {

// Days from 1970-01-01 to y-m-d (civil calendar, valid for all years used here).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) noexcept {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) noexcept {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

// Day number (1 = 0001-01-01) of a civil date.
constexpr int64_t DayNumber(int64_t y, int64_t m, int64_t d) noexcept {
    return DaysFromCivil(y, m, d) - DaysFromCivil(1, 1, 1) + 1;
}
static_assert(DayNumber(1899, 12, 30) == DateDelta);

constexpr int32_t MaxDayNumber = static_cast<int32_t>(DayNumber(9999, 12, 31));

int32_t DaysInMonth(int32_t year, int32_t month) noexcept {
    static constexpr int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

[[noreturn]] void InvalidText(std::string_view text, const char* what) {
    throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

// Cursor over the text being parsed; every reader returns false on a mismatch.
struct TextReader {
    std::string_view s;
    size_t pos = 0;

    bool AtEnd() const noexcept { return pos >= s.size(); }
    bool Skip(char c) noexcept {
        if (!AtEnd() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool Digits(int32_t minDigits, int32_t maxDigits, int32_t& value) noexcept {
        int32_t n = 0;
        value = 0;
        while (n < maxDigits && !AtEnd() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
            ++n;
        }
        return n >= minDigits;
    }
};

std::string_view TrimBlanks(std::string_view s) noexcept {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

bool ReadDate(TextReader& r, int32_t& dayNumber) noexcept {
    int32_t y, m, d;
    if (!r.Digits(1, 4, y) || !r.Skip('-') || !r.Digits(1, 2, m) || !r.Skip('-') || !r.Digits(1, 2, d))
        return false;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    dayNumber = static_cast<int32_t>(DayNumber(y, m, d));
    return true;
}

bool ReadTime(TextReader& r, int32_t& msecs) noexcept {
    int32_t h, mi, sec = 0, ms = 0;
    if (!r.Digits(1, 2, h) || !r.Skip(':') || !r.Digits(1, 2, mi)) return false;
    if (r.Skip(':')) {
        if (!r.Digits(1, 2, sec)) return false;
        if (r.Skip('.')) {
            const size_t start = r.pos;
            if (!r.Digits(1, 3, ms)) return false;
            for (size_t n = r.pos - start; n < 3; ++n)
                ms *= 10;
        }
    }
    if (h > 23 || mi > 59 || sec > 59) return false;
    msecs = ((h * 60 + mi) * 60 + sec) * 1000 + ms;
    return true;
}

TDateTime FromParts(int32_t dayNumber, int32_t msecs) {
    return TimeStampToDateTime(TTimeStamp{msecs, dayNumber});
}

// kinds: 1 = date, 2 = time, 4 = date and time.
bool Parse(std::string_view text, int kinds, TDateTime& value) noexcept {
    text = TrimBlanks(text);
    TextReader r{text};
    int32_t day = DateDelta, ms = 0;
    // A date has '-' after its first digits; a time has ':'.
    size_t i = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    const bool startsWithDate = i < text.size() && text[i] == '-';
    if (startsWithDate) {
        if (!(kinds & 5) || !ReadDate(r, day)) return false;
        if (!r.AtEnd()) {
            if (!(kinds & 4)) return false;
            if (!r.Skip(' ') && !r.Skip('T')) return false;
            while (r.Skip(' ')) {
            }
            if (!ReadTime(r, ms)) return false;
        } else if (!(kinds & 1) && !(kinds & 4)) {
            return false;
        }
    } else {
        if (!(kinds & 6) || !ReadTime(r, ms)) return false;
    }
    if (!r.AtEnd()) return false;
    value = FromParts(day, ms);
    return true;
}

} // namespace

bool IsLeapYear(int32_t year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
    if (!std::isfinite(value) || value < -693594.0 || value >= 2958466.0)
        throw EConvertError("Invalid date-time value " + std::to_string(value));
    const double whole = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - whole) * MSecsPerDay);
    int64_t day = static_cast<int64_t>(whole) + DateDelta;
    // The time rounds up to midnight: that is the next calendar day, whichever
    // side of the zero day we are on.
    if (ms >= MSecsPerDay) {
        ms -= MSecsPerDay;
        ++day;
    }
    if (day < 1 || day > MaxDayNumber)
        throw EConvertError("Invalid date-time value " + std::to_string(value));
    return TTimeStamp{static_cast<int32_t>(ms), static_cast<int32_t>(day)};
}

TDateTime TimeStampToDateTime(const TTimeStamp& value) {
    if (value.Time < 0 || value.Time >= MSecsPerDay || value.Date < 1)
        throw EConvertError("'" + std::to_string(value.Time) + "." + std::to_string(value.Date) +
                            "' is not a valid timestamp");
    const double days = static_cast<double>(value.Date) - DateDelta;
    const double time = static_cast<double>(value.Time) / MSecsPerDay;
    return days >= 0 ? days + time : days - time;
}

int64_t TimeStampToMSecs(const TTimeStamp& value) {
    return static_cast<int64_t>(value.Date) * MSecsPerDay + value.Time;
}

TTimeStamp MSecsToTimeStamp(int64_t msecs) {
    const int64_t day = msecs / MSecsPerDay;
    if (msecs < MSecsPerDay || day > MaxDayNumber)
        throw EConvertError("'" + std::to_string(msecs) + "' is not a valid timestamp");
    return TTimeStamp{static_cast<int32_t>(msecs % MSecsPerDay), static_cast<int32_t>(day)};
}

TDateTime EncodeDate(int32_t year, int32_t month, int32_t day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        throw EConvertError("Invalid argument to date encode");
    return static_cast<double>(DayNumber(year, month, day) - DateDelta);
}

TDateTime EncodeTime(int32_t hour, int32_t min, int32_t sec, int32_t msec) {
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        throw EConvertError("Invalid argument to time encode");
    return static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
}

void DecodeDate(TDateTime value, uint16_t& year, uint16_t& month, uint16_t& day) {
    const TTimeStamp ts = DateTimeToTimeStamp(value);
    int64_t y, m, d;
    CivilFromDays(ts.Date - 1 + DaysFromCivil(1, 1, 1), y, m, d);
    year = static_cast<uint16_t>(y);
    month = static_cast<uint16_t>(m);
    day = static_cast<uint16_t>(d);
}

void DecodeTime(TDateTime value, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec) {
    const int32_t t = DateTimeToTimeStamp(value).Time;
    hour = static_cast<uint16_t>(t / 3600000);
    min = static_cast<uint16_t>(t / 60000 % 60);
    sec = static_cast<uint16_t>(t / 1000 % 60);
    msec = static_cast<uint16_t>(t % 1000);
}

TDateTime Now() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                      static_cast<int32_t>(ms % 1000));
}

TDateTime Date() {
    return std::trunc(Now());
}

TDateTime Time() {
    const TDateTime now = Now();
    return now - std::trunc(now);
}

std::string DateToStr(TDateTime value) {
    uint16_t y, m, d;
    DecodeDate(value, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", unsigned{y}, unsigned{m}, unsigned{d});
    return buf;
}

std::string TimeToStr(TDateTime value) {
    uint16_t h, m, s, ms;
    DecodeTime(value, h, m, s, ms);
    char buf[40];
    if (ms != 0)
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u.%03u", unsigned{h}, unsigned{m}, unsigned{s},
                      unsigned{ms});
    else
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned{h}, unsigned{m}, unsigned{s});
    return buf;
}

std::string DateTimeToStr(TDateTime value) {
    const TTimeStamp ts = DateTimeToTimeStamp(value);
    if (ts.Time == 0) return DateToStr(value);
    if (ts.Date == DateDelta) return TimeToStr(value);
    return DateToStr(value) + " " + TimeToStr(value);
}

TDateTime StrToDate(std::string_view text) {
    TDateTime v;
    if (!Parse(text, 1, v)) InvalidText(text, "date");
    return v;
}

TDateTime StrToTime(std::string_view text) {
    TDateTime v;
    if (!Parse(text, 2, v)) InvalidText(text, "time");
    return v;
}

TDateTime StrToDateTime(std::string_view text) {
    TDateTime v;
    if (!Parse(text, 7, v)) InvalidText(text, "date and time");
    return v;
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) noexcept {
    return Parse(text, 7, value);
}

} // namespace host
