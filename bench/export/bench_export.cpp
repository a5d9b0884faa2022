// bench-export: the BENCH table of a vestra-emu started with --bench-rows N (1 000 000 by default) exported
// through the export path in table mode with the default options (statement through the worksheet's Execute,
// rows streamed through a temporary file that replaces BENCH.DAT), then the clipboard text of the same
// result built and turned into the clipboard's Unicode string.
//   export_rows_per_s    rows over the wall time of the whole table export (execute, fetch, write)
//   export_cpu_rows_per_s the same over this thread's processor time (the server's is not in it)
//   export_write_rows_per_s the same rows exported again from the fetched result (the writer alone)
//   export_peak_rss_mb   the process's peak resident memory during the export beyond what it holds after it
//                        (the fetched result stays in the query)
//   export_result_rss_mb what the fetched result itself takes (for reading the figure above)
//   clipboard_build_ms   the clipboard text of the fetched result, as the copy builds it
// The *_cpu_* figures count this thread's processor time only, which a busy machine disturbs least.
// The emulator runs as its own process, so that its memory does not count.
#include "app/DataSetResult.h"
#include "app/ExportPlan.h"
#include "app/History.h"
#include "app/ResultText.h"
#include "app/WorksheetController.h"
#include "app/gui/ClipboardCopy.h"
#include "oracle/Ora.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// This thread's processor time: the shared machine adds waiting to the wall time, not to this.
double Cpu() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A value of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0 && line[std::strlen(key)] == ':')
            return std::strtod(line.c_str() + std::strlen(key) + 1, nullptr) / 1024.0;
    return -1;
}

// Resets VmHWM to the current resident size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Emulator {
    pid_t pid = -1;
    int port = 0;
    Emulator(const std::string& program, long long rows) {
        int fds[2];
        if (::pipe(fds) != 0) std::exit(2);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            const std::string n = std::to_string(rows);
            ::execl(program.c_str(), program.c_str(), "--listen", "127.0.0.1:0", "--bench-rows", n.c_str(),
                    static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(fds[1]);
        std::string line;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(fds[0]);
        const size_t colon = line.rfind(':');
        if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
            std::fprintf(stderr, "bench-export: vestra-emu did not start (%s)\n", line.c_str());
            std::exit(2);
        }
        port = std::atoi(line.c_str() + colon + 1);
    }
    ~Emulator() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
};

class QuietView : public IWorksheetView {
public:
    TDataSource* datS = nullptr;
    void SetStatus(const std::string&) override {}
    void SetCommitRollbackEnabled(bool) override {}
    void SetHistoryLabel(const std::string&) override {}
    bool AskParameters(std::vector<std::pair<std::string, std::string>>&) override { return false; }
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void ResetGrid() override {}
    void SetGridAttached(bool on) override { datS->SetEnabled(on); }
};

class Worksheet : public IExportWorksheet {
public:
    Worksheet(TWorksheetController& c, TOraQuery& q, TDataSource& d)
        : controller_(c), result_(q), datS_(d), fetchRows_(q) {}
    // The query's own fetch size back (when it next closes).
    void Ended() { fetchRows_.Restore(); }
    bool BeginExecute(const std::string& text) override {
        if (!controller_.BeginExecute(text)) return false;
        if (exportFetchRows > 0)
            controller_.Query().SetFetchRows(exportFetchRows);
        else
            fetchRows_.Use();
        return true;
    }
    // Rows per fetch while the table is read; 0: the export's own.
    int exportFetchRows = 0;
    void RunStatement() override { controller_.RunStatement(); }
    void EndExecute(const std::string& text) override { controller_.EndExecute(text); }
    IResultSource& Result() override { return result_; }
    void SetStatus(const std::string&) override {}
    void Repaint() override {}
    void SetGridAttached(bool on) override { datS_.SetEnabled(on); }
    bool Progress(const std::string&, long) override { return true; }

private:
    TWorksheetController& controller_;
    TDataSetResult result_;
    TDataSource& datS_;
    TExportFetchRows fetchRows_;
};

} // namespace

int main(int argc, char** argv) {
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    // The rows per fetch while the export reads the table (the export's own unless given).
    const int fetchRows = argc > 2 ? std::atoi(argv[2]) : 0;
    const std::string self = ExportProgramFolder();
    Emulator emu(self + "vestra-emu", rows);

    TOraSession sess;
    sess.ConnectPrompt = false;
    sess.Options().SetNet(true);
    sess.SetUsername("scott");
    sess.SetPassword("tiger");
    sess.SetServer("127.0.0.1:" + std::to_string(emu.port) + ":bnx");
    sess.Connect();
    TOraQuery qry(&sess);
    qry.ReadOnly = true;
    qry.SetAutoCommit(false);
    std::printf("rows per fetch: %d (the worksheet's own: %d)\n",
                fetchRows > 0 ? fetchRows : kExportFetchRows, qry.FetchRows());
    TDataSource datS(&qry);
    THistory history;
    QuietView view;
    view.datS = &datS;
    TWorksheetController controller(sess, qry, history, view);
    Worksheet ws(controller, qry, datS);
    ws.exportFetchRows = fetchRows;

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vestra-bench-export-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TExportSettings settings;
    settings.tableMode = true;
    settings.folder = dir.string() + "/";
    settings.tables = {"SCOTT.BENCH"};

    const double rssBefore = StatusMb("VmRSS");
    ResetPeak();
    const double t0 = Now(), tc0 = Cpu();
    RunExport(settings, ws);
    ws.Ended();
    const double seconds = Now() - t0, cpuSeconds = Cpu() - tc0;
    const double peak = StatusMb("VmHWM");
    const double rssAfter = StatusMb("VmRSS");
    const auto fileSize = std::filesystem::file_size(dir / "BENCH.DAT");

    // The same result again, now fetched: what the writer alone manages.
    settings.tableMode = false;
    settings.fileName = (dir / "output.DAT").string();
    const double w0 = Now(), wc0 = Cpu();
    RunExport(settings, ws);
    const double writeSeconds = Now() - w0, writeCpu = Cpu() - wc0;
    std::filesystem::remove_all(dir);

    TDataSetResult result(qry);
    const double c0 = Now(), cc0 = Cpu();
    const QString text = ClipboardTextOf(result);
    const double clipboardMs = (Now() - c0) * 1000, clipboardCpuMs = (Cpu() - cc0) * 1000;

    std::printf("exported %lld rows, %.1f MB file, %.2f s\n", rows, double(fileSize) / 1e6, seconds);
    std::printf("METRIC export_rows_per_s %.0f rows/s\n", double(rows) / seconds);
    std::printf("METRIC export_cpu_rows_per_s %.0f rows/s\n", double(rows) / cpuSeconds);
    std::printf("METRIC export_write_rows_per_s %.0f rows/s\n", double(rows) / writeSeconds);
    std::printf("METRIC export_write_cpu_rows_per_s %.0f rows/s\n", double(rows) / writeCpu);
    std::printf("METRIC export_peak_rss_mb %.1f MB\n", peak - rssAfter);
    std::printf("METRIC export_result_rss_mb %.1f MB\n", rssAfter - rssBefore);
    std::printf("METRIC clipboard_build_ms %.0f ms\n", clipboardMs);
    std::printf("METRIC clipboard_build_cpu_ms %.0f ms\n", clipboardCpuMs);
    std::printf("clipboard text: %lld characters\n", static_cast<long long>(text.size()));
    return 0;
}
