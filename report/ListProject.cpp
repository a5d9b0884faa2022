#include "report/ListProject.h"

#include "app/History.h"

#include <cstdio>

namespace {

std::string Blanks(int n) {
    return std::string(size_t(n), ' ');
}

// One column block; the header line differs in five lines (the indentation of two, the ground of three) and
// in its text, which is the quoted field name.
std::vector<std::string> ColumnBlock(const TReportColumn& column, bool header) {
    const std::string T = "\t";
    const std::string t9 = T + Blanks(9);
    const std::string t10 = T + Blanks(10);
    auto b = [](int n) { return Blanks(n) + "\t "; }; // n blanks, a tab and a blank
    const std::string width = std::to_string(static_cast<long long>(column.WidthPx) * ReportWidthFactor);
    const std::string text = header ? "\"" + column.FieldName + "\"" : column.FieldName;
    return {
        Blanks(12) + "[Column]",
        Blanks(17) + "{",
        t9 + "Width=" + width,
        Blanks(17) + "Height=10000",
        (header ? t9 : t10) + "bIsotropic=True",
        t9 + "PlainTextFormat=True",
        t9 + "Align=0",
        t9 + "AlignDecPosition=-10000",
        t9 + "VAlign=0",
        t9 + "Adjusted=False",
        t9 + "[Separator]",
        b(12) + "{",
        t10 + "Used=True",
        t10 + "Width=0",
        b(9) + "}",
        t9 + "LineWrap=False",
        t9 + (header ? "bFill=TRUE" : "bFill=False"),
        t9 + (header ? "BkColor=RGB(224,224,224)" : "BkColor=RGB(0,0,0)"),
        t9 + (header ? "Raster=1" : "Raster=0"),
        t9 + "SpaceOptimization=True",
        t9 + "WithText=False",
        t9 + "[Spacing]",
        b(9) + "{",
        (header ? Blanks(15) : b(13)) + "Left=1000",
        t10 + "Top=500",
        t10 + "Right=1000",
        t10 + "Bottom=500",
        b(11) + "}",
        Blanks(10) + T + "[Font]",
        b(10) + "{",
        b(12) + "Default=True",
        b(11) + "Name=Arial",
        b(9) + "GdiCharSet=0",
        b(10) + "Size=" + ReportFontSize,
        b(11) + "Width=0",
        b(11) + "Bold=False",
        b(11) + "Italic=False",
        b(11) + "Underline=False",
        t10 + "Strikeout=False",
        t10 + "Color=RGB(0,0,0)",
        t10 + "PitchAndFamily=0",
        b(11) + "OutPrecision=4",
        b(11) + "}",
        Blanks(11) + T + "Text=" + text,
        Blanks(11) + T + "}",
    };
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

} // namespace

std::string ReportFolder(const std::string& programDir) {
    std::string dir = programDir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\'))
        dir.pop_back();
    return dir + "/Report";
}

std::string ReportProjectFile(const std::string& reportFolder) {
    return reportFolder + "/bnxrep.lst";
}

std::vector<std::string> DataLineBlock(const TReportColumn& column) {
    return ColumnBlock(column, false);
}

std::vector<std::string> HeaderLineBlock(const TReportColumn& column) {
    return ColumnBlock(column, true);
}

std::vector<std::string> FragmentNames(char orientation) {
    if (orientation == 'H') return {"first.bnx", "linkcandh.bnx", "last.bnx"};
    return {"firstq.bnx", "linkcandh.bnx", "lastq.bnx"};
}

std::vector<std::string> BuildListProject(const std::string& reportFolder, char orientation,
                                          const std::vector<TReportColumn>& columns) {
    // All three fragments are read before anything is built, so that a missing one stops the print at once.
    std::vector<std::vector<std::string>> fragments;
    for (const std::string& name : FragmentNames(orientation))
        fragments.push_back(SplitLines(ReadWholeFile(reportFolder + "/" + name)));

    std::vector<std::string> dataBlocks, headerBlocks;
    for (const TReportColumn& c : columns)
        Append(dataBlocks, DataLineBlock(c));
    for (const TReportColumn& c : columns)
        Append(headerBlocks, HeaderLineBlock(c));

    std::vector<std::string> parts;
    Append(parts, fragments[0]);
    Append(parts, dataBlocks);
    Append(parts, fragments[1]);
    Append(parts, headerBlocks);
    Append(parts, fragments[2]);
    // Joined and split again, so that a line break inside a field name starts a new line as everywhere else.
    std::string joined;
    for (const std::string& p : parts) {
        joined += p;
        joined += "\r\n";
    }
    return SplitLines(joined);
}

void WriteListProject(const std::string& fileName, const std::string& reportFolder, char orientation,
                      const std::vector<TReportColumn>& columns) {
    std::string text;
    for (const std::string& line : BuildListProject(reportFolder, orientation, columns)) {
        text += line;
        text += "\r\n";
    }
    WriteWholeFile(fileName, text);
}
