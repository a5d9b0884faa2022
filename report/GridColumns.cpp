#include "report/GridColumns.h"

#include "grid/QxGrid.h"

std::vector<TReportColumn> ReportColumnsOf(const TQxDBGrid& grid) {
    std::vector<TReportColumn> cols;
    for (int i = 0; i < grid.ColumnCount(); ++i) {
        const TQxColumn* c = grid.Columns(i);
        if (!c->Field()) continue;
        cols.push_back({c->FieldName(), c->Title().ShownCaption(c->Field()), c->Width()});
    }
    return cols;
}
