#include "cli/TablePrinter.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kWidthRows = 1000; // rows looked at to choose the column widths
constexpr size_t kMaxWidth = 60;    // a column is never padded wider than this

// Line breaks and tabs inside a value would break the layout.
std::string Flatten(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return s;
}

void AppendRow(std::string& line, const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += " | ";
        line += cells[i];
        if (i + 1 < cells.size() && cells[i].size() < widths[i])
            line.append(widths[i] - cells[i].size(), ' ');
    }
    line += '\n';
}

} // namespace

long PrintTable(IResultSource& source, const std::function<void(const std::string&)>& emit) {
    const int n = source.FieldCount();
    const size_t cols = static_cast<size_t>(n);
    std::vector<std::string> header(cols);
    std::vector<size_t> widths(cols);
    for (int i = 0; i < n; ++i) {
        header[size_t(i)] = Flatten(source.FieldName(i));
        widths[size_t(i)] = header[size_t(i)].size();
    }

    std::vector<std::vector<std::string>> head;
    source.First();
    for (; !source.Eof() && head.size() < kWidthRows; source.Next()) {
        std::vector<std::string> row(cols);
        for (int i = 0; i < n; ++i) {
            row[size_t(i)] = Flatten(source.FieldText(i));
            widths[size_t(i)] = std::max(widths[size_t(i)], std::min(row[size_t(i)].size(), kMaxWidth));
        }
        head.push_back(std::move(row));
    }

    std::string out;
    AppendRow(out, header, widths);
    std::vector<std::string> dashes(cols);
    for (int i = 0; i < n; ++i)
        dashes[size_t(i)].assign(widths[size_t(i)], '-');
    AppendRow(out, dashes, widths);
    long rows = 0;
    for (const auto& row : head) {
        AppendRow(out, row, widths);
        ++rows;
    }
    emit(out);
    out.clear();

    std::vector<std::string> row(cols);
    for (; !source.Eof(); source.Next()) {
        for (int i = 0; i < n; ++i)
            row[size_t(i)] = Flatten(source.FieldText(i));
        AppendRow(out, row, widths);
        ++rows;
        if (out.size() > 1 << 16) {
            emit(out);
            out.clear();
        }
    }
    if (!out.empty()) emit(out);
    source.First();
    return rows;
}
