// Date-time values and the locale facts the data-set core needs beyond the decimal separator: the date and
// time formats of the user and the locale-aware comparison of 8-bit (Windows-1252) text.
//
// A date-time value is a double counting days since 30 December 1899; the fraction is the time of day. A time
// stamp splits it into a day number (1 = 1 January of year 1) and milliseconds since midnight.
#pragma once

#include <cstdint>
#include <string>

using TDateTime = double;

struct TTimeStamp {
    int32_t Time = 0; // milliseconds since midnight
    int32_t Date = 0; // day number, 1 = 1 January 0001
};

inline constexpr int32_t DateDelta = 693594; // day number of 30 December 1899
inline constexpr double MSecsPerDay = 86400000.0;

[[noreturn]] void RaiseConvertError();

// Rounds half away from zero (as llround) for |x| < 9e17; the callers check that range first.
inline int64_t RoundMSecs(double x) {
    int64_t i = int64_t(x);
    double d = x - double(i); // exact: below 2^53 the fraction is representable, above it x is whole
    if (d >= 0.5)
        ++i;
    else if (d <= -0.5)
        --i;
    return i;
}

// Raises EConvertError for values beyond about 28 million years.
TTimeStamp DateTimeToTimeStamp(TDateTime value);

inline TDateTime TimeStampToDateTime(const TTimeStamp& ts) {
    double days = double(ts.Date) - DateDelta;
    double frac = ts.Time / MSecsPerDay;
    return days >= 0 ? days + frac : days - frac;
}

inline double TimeStampToMSecs(const TTimeStamp& ts) {
    return double(ts.Date) * MSecsPerDay + ts.Time;
}

inline TTimeStamp MSecsToTimeStamp(double msecs) {
    if (!(msecs > -9.0e17 && msecs < 9.0e17)) RaiseConvertError(); // also NaN
    TTimeStamp ts;
    int64_t ms = int64_t(msecs);
    int64_t days = ms / 86400000;
    ts.Date = int32_t(days);
    ts.Time = int32_t(ms - days * 86400000);
    return ts;
}

// TimeStampToMSecs(DateTimeToTimeStamp(v)); from 30 December 1899 to the year 9999 every step is exact
// integer arithmetic, so the sum is formed directly.
inline double DateTimeToMSecs(TDateTime v) {
    if (v >= 0 && v < 2958466.0) return double(int64_t(DateDelta) * 86400000 + RoundMSecs(v * MSecsPerDay));
    return TimeStampToMSecs(DateTimeToTimeStamp(v));
}

bool IsLeapYear(int year);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
// Raise EConvertError for impossible dates or times.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);

namespace locale_fmt {
// The user's short date format ("dd.mm.yyyy" by default), long time format ("hh:nn:ss") and separators.
const std::string& ShortDateFormat();
const std::string& LongTimeFormat();
void SetShortDateFormat(const std::string& fmt);
void SetLongTimeFormat(const std::string& fmt);
} // namespace locale_fmt

// Formats with the elements d, dd, m, mm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz and quoted literal text.
std::string FormatDateTimeStr(const std::string& format, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
// Date and time; the time is left out when it is midnight.
std::string DateTimeToStr(TDateTime value);
// Parses a date in the order of the short date format, optionally followed by a time (h:n[:s[.z]]), or a
// time alone; also accepts the ISO form yyyy-mm-dd. Returns false for text that is no date.
bool TryStrToDateTime(const std::string& text, TDateTime& out);

// Locale-aware comparison of Windows-1252 text: letters before their accented forms, lower case before upper
// case on ties, punctuation before digits before letters. Result < 0, 0 or > 0.
int AnsiCompareStr(const std::string& a, const std::string& b);
// The same, ignoring case.
int AnsiCompareText(const std::string& a, const std::string& b);
// Upper-casing of Windows-1252 text (including the accented letters).
std::string AnsiUpperCase(const std::string& s);
char AnsiUpperChar(char c);
