// bench-grid: the result grid on the offscreen platform over the 1 000 000-row BENCH table of vestra-emu.
// Prints METRIC lines: first paint, Ctrl+End at FetchRows 25 and 1000, a full page repaint, Page Down steps,
// memory per fetched row, a local column filter and a sum summary over every row.
#include "emulator/EmuServer.h"
#include "grid/QxGrid.h"
#include "grid/QxGridModel.h"
#include "oracle/Ora.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4096;
}

void Metric(const char* name, double value, const char* unit) {
    std::printf("METRIC %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long long rows = 1000000;
    if (argc > 1) rows = std::atoll(argv[1]);
    vemu::EmuOptions o;
    o.benchRows = rows;
    vemu::EmuServer emu(o);
    emu.Start();
    TOraSession sess;
    sess.ConnectPrompt = false;
    sess.Options().SetNet(true);
    sess.Options().SetDateFormat("DD.MM.YYYY");
    sess.SetUsername("scott");
    sess.SetPassword("tiger");
    sess.SetServer("127.0.0.1:" + std::to_string(emu.Port()) + ":bnx");
    sess.Connect();
    TOraQuery qry(&sess);
    TDataSource src(&qry);
    TQxDBGrid grid;
    grid.resize(900, 800);
    grid.SetDataSource(&src);
    grid.show();
    QApplication::processEvents();
    const char* sql = "SELECT ID, NAME, CREATED, AMOUNT FROM BENCH";

    // Open to the first page painted.
    qry.SetFetchRows(25);
    qry.SetSQL(sql);
    auto t0 = Clock::now();
    qry.Open();
    QApplication::processEvents();
    grid.viewport()->repaint();
    Metric("grid_first_paint_ms", Ms(t0, Clock::now()), "ms");
    const int page = grid.viewport()->height() / grid.rowHeight(0);

    // One full repaint of a page.
    const int paints = 50;
    t0 = Clock::now();
    for (int i = 0; i < paints; ++i)
        grid.viewport()->repaint();
    Metric("grid_page_paint_ms", Ms(t0, Clock::now()) / paints, "ms");
    std::printf("# page of %d rows\n", page);

    // Ctrl+End from the first row until the last row is painted, at FetchRows 25 and 1000.
    for (int fetchRows : {25, 1000}) {
        qry.Close();
        qry.SetFetchRows(fetchRows);
        qry.Open();
        QApplication::processEvents();
        grid.setFocus();
        const long before = ResidentBytes();
        t0 = Clock::now();
        QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        grid.viewport()->repaint();
        const double ms = Ms(t0, Clock::now());
        if (qry.RecNo() != rows) std::printf("# Ctrl+End stopped at %d\n", qry.RecNo());
        Metric(fetchRows == 25 ? "grid_end_ms_fetchrows25" : "grid_end_ms_fetchrows1000", ms, "ms");
        if (fetchRows == 25)
            Metric("grid_bytes_per_row", double(ResidentBytes() - before) / double(qry.RecordCount()),
                   "bytes");
    }

    // Page Down over the first 20 000 rows.
    qry.Close();
    qry.SetFetchRows(25);
    qry.Open();
    QApplication::processEvents();
    grid.setFocus();
    int steps = 0;
    t0 = Clock::now();
    while (qry.RecNo() < 20000 && steps < 100000) {
        QTest::keyClick(&grid, Qt::Key_PageDown);
        grid.viewport()->repaint();
        ++steps;
    }
    Metric("grid_page_down_ms", Ms(t0, Clock::now()) / std::max(steps, 1), "ms");

    qry.Last(); // every row again, for the filter and the summary
    QApplication::processEvents();

    // For comparison: the same fetch of every row by a data set without a grid.
    for (int fetchRows : {25, 1000}) {
        TOraQuery alone(&sess);
        alone.SetFetchRows(fetchRows);
        alone.SetSQL(sql);
        t0 = Clock::now();
        alone.Open();
        alone.Last();
        std::printf("# data set alone, FetchRows %d, Last: %.0f ms\n", fetchRows, Ms(t0, Clock::now()));
    }

    // A local column filter over every fetched row, and back.
    grid.Columns(3)->SetFilterExpression(">=500");
    t0 = Clock::now();
    grid.ApplyColumnFilters();
    grid.viewport()->repaint();
    Metric("grid_local_filter_ms", Ms(t0, Clock::now()), "ms");
    std::printf("# %d rows pass the filter\n", qry.RecordCount());
    grid.ClearColumnFilters();
    grid.ApplyColumnFilters();

    // A sum summary over every row.
    grid.SetOptionsEx(grid.OptionsEx() | dgeSummary);
    grid.Columns(3)->SetSummaryMode(smSum);
    t0 = Clock::now();
    grid.ComputeSummaries();
    Metric("grid_summary_ms", Ms(t0, Clock::now()), "ms");
    std::printf("# sum %s over %d rows\n", grid.Columns(3)->SummaryText().c_str(), qry.RecordCount());
    qry.Close();
    return 0;
}
