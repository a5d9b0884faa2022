// bench-grid: the result grid on the offscreen platform over the 1 000 000-row BENCH table of vestra-emu.
// Prints METRIC lines: first paint, Ctrl+End at FetchRows 25 and 1000, a full page repaint, Page Down steps,
// memory per fetched row, a local column filter and a sum summary over every row.
#include "grid/QxGrid.h"
#include "grid/QxGridModel.h"
#include "oracle/Ora.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// vestra-emu in a process of its own (beside this program), so that the server's memory and threads are not
// counted as the grid's. Stopped when the object goes.
class TEmuProcess {
public:
    explicit TEmuProcess(long long rows) {
        char self[4096] = {};
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string();
        dir = dir.substr(0, dir.rfind('/') + 1);
        std::string exe = dir + "vestra-emu", rowsArg = std::to_string(rows);
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        const char* args[] = {exe.c_str(),    "--listen",      "127.0.0.1:0",
                              "--bench-rows", rowsArg.c_str(), nullptr};
        int rc = posix_spawn(&pid_, exe.c_str(), &fa, nullptr, const_cast<char**>(args), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        if (rc != 0) throw std::runtime_error("cannot start " + exe);
        // The first line is "listening on 127.0.0.1:PORT".
        std::string line;
        char c;
        while (line.size() < 200 && read(out[0], &c, 1) == 1 && c != '\n')
            line.push_back(c);
        close(out[0]);
        size_t colon = line.rfind(':');
        if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos)
            throw std::runtime_error("vestra-emu did not start: " + line);
        port_ = std::atoi(line.c_str() + colon + 1);
    }
    ~TEmuProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

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
    TEmuProcess emu(rows);
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
