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

TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& ts);
double TimeStampToMSecs(const TTimeStamp& ts);
TTimeStamp MSecsToTimeStamp(double msecs);

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
