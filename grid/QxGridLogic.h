// What the result grid decides, without Qt: the sort list and its ORDER BY text (and reading it back from a
// statement), column filter texts and their conditions, summaries and their formats, cut cell texts, title
// levels and proportional column widths.
#pragma once

#include "dataset/DB.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TSortOrder : uint8_t { soNone, soAsc, soDesc };
enum TSummaryMode : uint8_t { smNone, smSum, smAvr, smMax, smMin };
enum TFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

struct TSortEntry {
    int Column = 0; // grid column index
    bool Desc = false;
    bool operator==(const TSortEntry&) const = default;
};

// ---- Sorting ----

// A title click on a sortable column: plain (sort by it alone, ascending first, then flipping), Shift (add it
// or flip its direction), Ctrl (remove it when it is in the list).
void ApplyTitleClick(std::vector<TSortEntry>& list, int column, bool shift, bool ctrl);
// The ORDER BY text: the field number of each entry's column (fieldNoOf(column) <= 0 skips it), " DESC" for
// descending entries, separated by ",".
std::string BuildOrderByText(const std::vector<TSortEntry>& list,
                             const std::function<int(int column)>& fieldNoOf);
// Reads the sort list back from an ORDER BY text: items are field numbers (up to the number of field
// definitions), double-quoted names or identifiers (of which "A.B" takes B), each optionally followed by ASC
// or DESC; columnOfName gives the first column whose field name equals the name ignoring case (-1: no entry,
// the scan goes on). Anything unexpected ends the scan, keeping the entries found so far.
std::vector<TSortEntry> ParseOrderByText(const std::string& orderBy,
                                         const std::vector<std::string>& fieldDefNames,
                                         const std::function<int(const std::string& name)>& columnOfName);

// ---- Filters ----

// Splits a filter text into operator and value: after trimming, "<" or ">" take a second character "=" or
// ">",
// "=" stands alone, any other start means "=" with the whole text; the value is left-trimmed.
void SplitFilterText(const std::string& text, std::string& op, std::string& value);
// The condition of a filter text for a field, "" for no condition. SQL form (localFilter false): strings with
// "=" or "<>" turn "*" into "%" and use LIKE / NOT LIKE; strings are quoted; integers and floats must
// convert; dates and times must convert with the locale's format and are quoted; every other type is quoted
// as a literal. The value NULL (any case) with "=" or "<>" gives IS NULL / IS NOT NULL (local: = NULL / <>
// NULL), which also matches empty strings, as the server stores them as NULL; a value in single quotes is
// taken literally ('NULL' matches the text NULL, '' the empty text in a local filter). Raises EConvertError
// for a value that does not convert.
std::string FilterCondition(const std::string& fieldName, TFieldType type, const std::string& text,
                            bool localFilter);
// The name as it goes into a condition: plain identifiers as they are, others quoted (SQL: "..."; local:
// [...]).
std::string ConditionFieldName(const std::string& name, bool localFilter);

// ---- Summaries ----

struct TFloatFormatting {
    TFloatFormat Format = ffGeneral;
    int Precision = 0;
    int Digits = 0;
};

struct TSummaryValue {
    bool IsFloat = false;
    int64_t Int = 0;
    long double Float = 0;
    long long Count = 0;
    bool Computed = false;
    std::string Text;
    // A sum, maximum or minimum of float values among which one has more than 15 digits is kept exactly as
    // well (the decimal text, a point as separator) and shown from it.
    bool Exact = false;
    std::string ExactSum;
};

// Whether a field type takes a summary (small integer, integer, word, float, currency, large integer).
bool SummaryTypeAllowed(TFieldType type);
bool IsIntegerType(TFieldType type);
bool IsFloatType(TFieldType type);
bool IsNumericFieldType(TFieldType type);
// Starts a summary: zero, or for the minimum and maximum the first value.
void SummaryStart(TSummaryValue& s, TSummaryMode mode, bool isFloat, bool firstNull, int32_t firstInt,
                  long double firstFloat);
// Adds one record's value (null counts as 0).
void SummaryAdd(TSummaryValue& s, TSummaryMode mode, bool isNull, int32_t intValue, long double floatValue);
// Adds one record's value to the exact sum, or takes it as the exact maximum or minimum when it is one: its
// exact text when it has one, else its double's 15 digits (what the cell shows).
void SummaryAddExact(TSummaryValue& s, TSummaryMode mode, const std::string* exactText, double value);
// The summary's text: integers decimal, floats and averages by the format.
std::string SummaryFormat(const TSummaryValue& s, TSummaryMode mode, const TFloatFormatting& how);
// A float formatted like the framework's FloatToStrF (general, exponent, fixed, number with thousands
// separators, currency), using the locale's decimal separator.
std::string FormatFloatAs(long double v, const TFloatFormatting& how);

// ---- Cell texts ----

// The text drawn in a cell of the given width: the whole text when text width + margin fits (margin 2, or 4
// for right-aligned columns); otherwise cut one character at a time from the end until it fits with "...", or
// for numbers every digit replaced by "#". cut tells whether it was cut (and is then drawn left-aligned).
std::string FitCellText(const std::string& text, int width, bool rightAligned, bool numeric,
                        const std::function<int(const std::string&)>& measure, bool& cut);

// ---- Titles ----

// The levels of a caption split at the delimiter.
std::vector<std::string> TitleLevels(const std::string& caption, char delimiter);
// For a level, the span [first, last] of adjacent columns sharing column c's text on that level (case-
// insensitively); columns that lack the level share nothing.
void MergedSpan(const std::vector<std::vector<std::string>>& levels, int column, int level, int& first,
                int& last);

// ---- Proportional widths ----

// The width available to the columns: client width less 12 with the indicator (else less 1), less one line
// width per column with column lines.
int AvailableWidth(int clientWidth, bool indicator, bool colLines, int lineWidth, int columns);
// Ratios of each width to their sum.
std::vector<double> WidthRatios(const std::vector<int>& widths);
// Widths after a resize: ratio x (available + 2), rounded.
std::vector<int> StretchedWidths(const std::vector<double>& ratios, int available);
// The user sized column k to newWidth: the following columns share what is left in proportion, each at least
// 10 (k is cut so that they get 10 each when needed), none below its minimum; the last column takes the rest.
std::vector<int> SizeColumnStretched(std::vector<int> widths, const std::vector<int>& minWidths, int k,
                                     int newWidth, int available);
