// The result grid's columns as the report generator reads them.
#pragma once

#include "report/ListProject.h"

#include <vector>

class TQxDBGrid;

// Every column of the grid in its order: field name, shown title and width in pixels.
std::vector<TReportColumn> ReportColumnsOf(const TQxDBGrid& grid);
