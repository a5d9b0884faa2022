// The list project "bnxrep.lst" generated at each print from the report folder's fragments and the result
// grid's columns. No Qt: the grid hands its columns over as plain descriptions.
#pragma once

#include <string>
#include <vector>

// One column of the result grid as the report sees it, in the grid's column order.
struct TReportColumn {
    std::string FieldName; // the data set's field name (the cell's contents and the header text)
    std::string Title;     // the grid's title caption (kept for the caller; the blocks use the field name)
    int WidthPx = 64;      // the grid column's width in pixels
};

// The engine's column width is the grid width in pixels times this factor; the font size of every block.
inline constexpr int ReportWidthFactor = 390;
inline constexpr const char* ReportFontSize = "12";

// The folder of the fragments beside the program: programDir (without a trailing separator) + "/Report".
std::string ReportFolder(const std::string& programDir);
// The project file in that folder: folder + "/bnxrep.lst".
std::string ReportProjectFile(const std::string& reportFolder);

// The 45 lines of a column's block: the data line shows the field's value, the header line the field name
// as quoted text on a light grey ground.
std::vector<std::string> DataLineBlock(const TReportColumn& column);
std::vector<std::string> HeaderLineBlock(const TReportColumn& column);

// The three fragment names of an orientation, in the order they are joined: 'H' portrait, 'Q' landscape.
std::vector<std::string> FragmentNames(char orientation);

// The project's lines: first fragment, data-line blocks, "linkcandh.bnx", header-line blocks, last fragment.
// Fragments are read from reportFolder and split at CR, LF or CR LF. A missing fragment raises EFileError
// (the file-open message) before anything is built.
std::vector<std::string> BuildListProject(const std::string& reportFolder, char orientation,
                                          const std::vector<TReportColumn>& columns);

// Builds the project and writes it to fileName, every line ended by CR LF, replacing an older file. Nothing
// is written when a fragment is missing.
void WriteListProject(const std::string& fileName, const std::string& reportFolder, char orientation,
                      const std::vector<TReportColumn>& columns);
