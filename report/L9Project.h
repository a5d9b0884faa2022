// The report engine's project files: the reader of the section syntax and the list layout read from it.
//
// Syntax, line by line (blanks and tabs around a line are ignored, empty lines and lines starting with ';'
// are skipped):
//   [Name]        a section; the next line must be "{", and a line "}" closes it
//   Key=Value     a value of the enclosing section (the value runs to the end of the line)
// A list project holds [Page] (Orientation, PaperWidth, PaperHeight, [Margins]), [Table] with [DataLine]
// and [HeaderLine], each a [Columns] section of [Column] sections, and an optional [PageFooter]. Lengths are
// in 1/1000 mm. No Qt.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A project that cannot be read; the message names the line and what is wrong with it.
class EL9ProjectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TL9Section {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
    std::vector<TL9Section> Children;

    // The first value of that key (case-insensitive), or nullptr.
    const std::string* Value(const std::string& key) const;
    // The first child section of that name (case-insensitive), or nullptr.
    const TL9Section* Child(const std::string& name) const;
};

// Reads the whole text into a root section (name empty). Raises EL9ProjectError on a broken structure, a
// nesting deeper than 32 or a text larger than 16 MB.
TL9Section ParseL9Sections(const std::string& text);

struct TL9Font {
    std::string Name = "Arial";
    double SizePt = 10;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikeout = false;
    uint32_t Color = 0; // 0xRRGGBB
};

// One cell of a table line.
struct TL9Cell {
    int Width = 20000;
    int Align = 0; // 0 left, 1 centred, 2 right
    bool Fill = false;
    uint32_t BkColor = 0xFFFFFF;
    int PadLeft = 0, PadTop = 0, PadRight = 0, PadBottom = 0;
    bool Separator = false; // a hairline at the cell's right edge
    TL9Font Font;
    // The cell's contents: a quoted literal (Literal true, Text without the quotes) or the name of a field.
    bool Literal = false;
    std::string Text;
};

struct TL9Layout {
    bool Landscape = false;
    int PaperWidth = 210000, PaperHeight = 297000; // as the sheet lies
    int MarginLeft = 15000, MarginTop = 15000, MarginRight = 15000, MarginBottom = 15000;
    std::vector<TL9Cell> DataLine;
    std::vector<TL9Cell> HeaderLine;
    // Footer texts with the placeholders {Page}, {Pages} and {Date}; empty texts print nothing.
    std::string FooterLeft, FooterCenter, FooterRight;
    TL9Font FooterFont;
};

// Reads a list project. Raises EL9ProjectError for a broken structure, a missing [Page] or [Table], a table
// without [DataLine] and values out of range (a page smaller than 20 mm, margins that leave less than
// 20 mm, a column narrower than 0 or wider than 10 m, a font size outside 1 to 500 points).
TL9Layout ReadL9Layout(const std::string& text);

// The geometry of every page, derived from the layout: the columns scaled down (with their fonts) when the
// table is wider than the printable width, the line heights and how many data lines fit under the header
// line. Lengths in 1/1000 mm.
struct TL9PageGeometry {
    double Scale = 1;
    std::vector<double> ColumnX;     // left edge of each data-line cell
    std::vector<double> ColumnWidth; // width of each data-line cell
    std::vector<double> HeaderX, HeaderWidth;
    double Left = 0, Top = 0, PrintableWidth = 0, PrintableHeight = 0;
    double HeaderHeight = 0, DataHeight = 0, FooterHeight = 0;
    int LinesPerPage = 1; // data lines under the header line; at least 1
};

// The height of a line of that font: the point size in 1/1000 mm times the line spacing 1.15.
double L9FontLineHeight(double sizePt);
TL9PageGeometry L9Geometry(const TL9Layout& layout);

// "{Page}", "{Pages}" and "{Date}" replaced in a footer text.
std::string L9FooterText(const std::string& pattern, int page, int pages, const std::string& date);

// A font size scaled with the table (never below 4 points unless the font itself is smaller).
double L9ScaledFontSize(double sizePt, double scale);
