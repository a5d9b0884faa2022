#include "app/ExportPlan.h"
#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/ResultText.h"
#include "app/WorksheetRunner.h"
#include "dataset/Cp1252.h"
#include "dataset/DAHooks.h"
#include "dataset/DBErrors.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("vestra-export-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Folder() const { return path_.string() + "/"; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Every entry of the folder, temporary files included.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// A result held in vectors; std::nullopt is a NULL. Counts the walks' records so that tests see the
// position it is left on.
class VectorResult : public IResultSource {
public:
    VectorResult() = default;
    VectorResult(std::vector<std::string> names, std::vector<std::vector<std::optional<std::string>>> rows)
        : names_(std::move(names)), rows_(std::move(rows)) {}
    int FieldCount() override { return int(names_.size()); }
    std::string FieldName(int i) override { return names_[size_t(i)]; }
    void First() override {
        if (closed) throw EDatabaseError("Cannot perform this operation on a closed dataset");
        row_ = 0;
    }
    bool Eof() override { return row_ >= rows_.size(); }
    void Next() override { ++row_; }
    std::string FieldText(int i) override { return rows_[row_][size_t(i)].value_or(""); }
    size_t row_ = 99;
    bool closed = false;

private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::optional<std::string>>> rows_;
};

VectorResult ManyRows(long n) {
    std::vector<std::vector<std::optional<std::string>>> rows;
    for (long i = 0; i < n; ++i)
        rows.push_back({std::to_string(i), "Name " + std::to_string(i)});
    return VectorResult({"ID", "NAME"}, std::move(rows));
}

// The worksheet as the export sees it: statements map to results; Execute records a history entry and leaves
// the text in the editor; a statement of an unknown table fails like the server would.
class FakeWorksheet : public IExportWorksheet {
public:
    std::map<std::string, VectorResult> tables;
    VectorResult current;
    std::string editor;
    std::vector<std::string> history;
    std::vector<std::string> statuses;
    std::vector<bool> attached;
    int repaints = 0;
    std::function<bool(const std::string&, long)> onProgress;
    long lastProgress = -1;

    bool BeginExecute(const std::string& text) override {
        editor = text;
        return true;
    }
    void RunStatement() override {
        const std::string item = editor.substr(std::string("select * from ").size());
        auto it = tables.find(item);
        if (it == tables.end()) throw std::runtime_error("ORA-00942: table or view does not exist");
        current = it->second;
        current.First();
    }
    void EndExecute(const std::string& text) override { history.push_back(text); }
    IResultSource& Result() override { return current; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void Repaint() override { ++repaints; }
    void SetGridAttached(bool on) override { attached.push_back(on); }
    bool Progress(const std::string& fileName, long records) override {
        lastProgress = records;
        return onProgress ? onProgress(fileName, records) : true;
    }
};

TExportSettings TableSettings(const std::string& folder, std::vector<std::string> tables) {
    TExportSettings s;
    s.tableMode = true;
    s.folder = folder;
    s.tables = std::move(tables);
    return s;
}

} // namespace

TEST(ExportPlan, FileNamesByTableOrByOwnerAndTable) {
    EXPECT_EQ(TableExportFileName("/x/DAT/", "SCOTT.EMP", false, "DAT"), "/x/DAT/EMP.DAT");
    EXPECT_EQ(TableExportFileName("/x/DAT/", "SCOTT.EMP", true, "DAT"), "/x/DAT/SCOTT_EMP.DAT");
    // Only the first "." splits: the rest belongs to the name.
    EXPECT_EQ(TableExportFileName("/d/", "A.B.C", false, "txt"), "/d/B.C.txt");
    EXPECT_EQ(TableExportFileName("/d/", "A.B.C", true, "txt"), "/d/A_B.C.txt");
    // An item without owner is taken whole; an empty extension still gets its ".".
    EXPECT_EQ(TableExportFileName("/d/", "EMP", false, "DAT"), "/d/EMP.DAT");
    EXPECT_EQ(TableExportFileName("/d/", "EMP", true, ""), "/d/EMP.");

    TExportSettings s = TableSettings("/o/", {"SCOTT.EMP", "HR.EMP", "SCOTT.DEPT"});
    s.extension = "CSV";
    auto plan = PlanTableExport(s);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].statement, "select * from SCOTT.EMP");
    EXPECT_EQ(plan[0].fileName, "/o/EMP.CSV");
    // Equally named tables of two owners never share a file: the second is named by owner and table.
    EXPECT_EQ(plan[1].fileName, "/o/HR_EMP.CSV");
    EXPECT_EQ(plan[2].item, "SCOTT.DEPT");
    EXPECT_EQ(plan[2].fileName, "/o/DEPT.CSV");
    s.ownerAndTableNames = true;
    plan = PlanTableExport(s);
    EXPECT_EQ(plan[0].fileName, "/o/SCOTT_EMP.CSV");
    EXPECT_EQ(plan[1].fileName, "/o/HR_EMP.CSV");
    // Names that still meet (A.B_C and A_B.C both give A_B_C; file names compared without case) are
    // numbered.
    s = TableSettings("/o/", {"A.B_C", "A_B.C", "a_b.c", "X.EMP", "Y.emp"});
    plan = PlanTableExport(s);
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_EQ(plan[0].fileName, "/o/B_C.DAT");
    EXPECT_EQ(plan[1].fileName, "/o/C.DAT");
    EXPECT_EQ(plan[2].fileName, "/o/a_b_c.DAT");
    EXPECT_EQ(plan[3].fileName, "/o/EMP.DAT");
    EXPECT_EQ(plan[4].fileName, "/o/Y_emp.DAT");
    s.ownerAndTableNames = true;
    plan = PlanTableExport(s);
    EXPECT_EQ(plan[0].fileName, "/o/A_B_C.DAT");
    EXPECT_EQ(plan[1].fileName, "/o/A_B_C_2.DAT");
    EXPECT_EQ(plan[2].fileName, "/o/a_b_c_3.DAT");
    // Table names are Windows-1252 text; the folder is a path already and is not converted again.
    s = TableSettings("/\xC3\xBC/", {"SCOTT.M\xDCLL"});
    s.textToPath = [](const std::string& t) { return cp1252::ToUtf8(t); };
    EXPECT_EQ(PlanTableExport(s)[0].fileName, "/\xC3\xBC/M\xC3\x9CLL.DAT");

    EXPECT_EQ(DefaultExportFolder("/opt/vestra/"), "/opt/vestra/DAT/");
    EXPECT_EQ(DefaultExportFile("/opt/vestra/"), "/opt/vestra/DAT/output.DAT");
    const std::string self = ExportProgramFolder();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.back(), '/');
    EXPECT_TRUE(fs::is_directory(self));
    // A program folder the user can write (an unpacked program) keeps DAT beside the program.
    const std::string programDir =
        (fs::temp_directory_path() / ("vestra-program-" + std::to_string(::getpid()))).string();
    fs::create_directories(programDir);
    SetProgramFolderForTests(programDir);
    EXPECT_EQ(DefaultExportFile(ExportProgramFolder()), programDir + "/DAT/output.DAT");
    SetProgramFolderForTests("");
    fs::remove_all(programDir);
}

TEST(ExportTableMode, TablesRunInListOrderThroughTheWorksheet) {
    TempDir dir;
    FakeWorksheet ws;
    ws.tables["SCOTT.EMP"] = VectorResult({"EMPNO", "ENAME"}, {{"7369", "SMITH"}, {"7499", std::nullopt}});
    ws.tables["SCOTT.DEPT"] = VectorResult({"DEPTNO"}, {{"10"}});
    ws.tables["HR.JOBS"] = VectorResult({"JOB"}, {});
    TExportSettings s = TableSettings(dir.Folder(), {"SCOTT.EMP", "SCOTT.DEPT", "HR.JOBS"});
    s.ownerAndTableNames = true;
    EXPECT_EQ(RunExport(s, ws), TExportOutcome::Done);

    EXPECT_EQ(ws.history, (std::vector<std::string>{"select * from SCOTT.EMP", "select * from SCOTT.DEPT",
                                                    "select * from HR.JOBS"}));
    EXPECT_EQ(ws.editor, "select * from HR.JOBS");
    EXPECT_EQ(ReadWholeFile(dir.File("SCOTT_EMP.DAT")), "EMPNO|ENAME\r\n7369|SMITH\r\n7499|\r\n");
    EXPECT_EQ(ReadWholeFile(dir.File("SCOTT_DEPT.DAT")), "DEPTNO\r\n10\r\n");
    EXPECT_EQ(ReadWholeFile(dir.File("HR_JOBS.DAT")), "JOB\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"HR_JOBS.DAT", "SCOTT_DEPT.DAT", "SCOTT_EMP.DAT"}));
    // Per file: status before, one repaint, grid detached then re-attached, "OK" after.
    EXPECT_EQ(ws.repaints, 3);
    EXPECT_EQ(ws.attached, (std::vector<bool>{false, true, false, true, false, true}));
    ASSERT_EQ(ws.statuses.size(), 6u);
    EXPECT_EQ(ws.statuses[0], "... Speichere Datei " + dir.File("SCOTT_EMP.DAT") + " ...");
    EXPECT_EQ(ws.statuses[5], "OK");
    EXPECT_EQ(ws.current.row_, 0u); // the last result is back on its first record
}

TEST(ExportTableMode, StopsAtTheFirstFailureKeepingTheFilesWritten) {
    TempDir dir;
    FakeWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    ws.tables["A.THREE"] = VectorResult({"X"}, {{"3"}});
    EXPECT_THROW(RunExport(TableSettings(dir.Folder(), {"A.ONE", "A.MISSING", "A.THREE"}), ws),
                 std::runtime_error);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"ONE.DAT"}));
    EXPECT_EQ(ws.history.size(), 1u);
    EXPECT_EQ(ws.editor, "select * from A.MISSING");

    // A file that cannot be created stops the export too, before the next table runs.
    FakeWorksheet ws2;
    ws2.tables = ws.tables;
    EXPECT_THROW(RunExport(TableSettings(dir.Folder() + "nosuch/", {"A.ONE", "A.THREE"}), ws2), EFileError);
    EXPECT_EQ(ws2.history.size(), 1u);
    EXPECT_EQ(ws2.attached, (std::vector<bool>{false, true})); // re-attached after the failure
}

TEST(ExportTableMode, BadHexSeparatorStopsBeforeAnything) {
    TempDir dir;
    FakeWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    TExportSettings s = TableSettings(dir.Folder(), {"A.ONE"});
    s.separatorText = "3BZZ";
    s.separatorHex = true;
    try {
        RunExport(s, ws);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'$ZZ' ist kein g\xFCltiger Integerwert");
    }
    EXPECT_TRUE(ws.history.empty());
    EXPECT_TRUE(dir.Entries().empty());

    s.separatorText = "3B3B0";
    EXPECT_EQ(RunExport(s, ws), TExportOutcome::Done);
    ws.tables["A.ONE"] = VectorResult({"X", "Y"}, {{"1", "2"}});
    EXPECT_EQ(RunExport(s, ws), TExportOutcome::Done);
    EXPECT_EQ(ReadWholeFile(dir.File("ONE.DAT")), "X;;Y\r\n1;;2\r\n");
}

TEST(ExportResultMode, WritesTheCurrentResultWithoutExecuting) {
    TempDir dir;
    FakeWorksheet ws;
    ws.current = VectorResult({"A", "B"}, {{"1", "x"}});
    TExportSettings s;
    s.fileName = dir.File("output.DAT");
    EXPECT_EQ(RunExport(s, ws), TExportOutcome::Done);
    EXPECT_EQ(ReadWholeFile(s.fileName), "A|B\r\n1|x\r\n");
    EXPECT_TRUE(ws.history.empty());
    EXPECT_EQ(ws.statuses.back(), "OK");

    // A closed result: the closed-data-set error, no file (not even a temporary one), grid re-attached.
    TempDir other;
    ws.current.closed = true;
    ws.attached.clear();
    s.fileName = other.File("output.DAT");
    EXPECT_THROW(RunExport(s, ws), EDatabaseError);
    EXPECT_TRUE(other.Entries().empty());
    EXPECT_EQ(ws.attached, (std::vector<bool>{false, true}));
}

TEST(ExportWriter, ReplacesWholeOrLeavesTheOldFile) {
    TempDir dir;
    const std::string target = dir.File("t.DAT");
    WriteWholeFile(target, "old content\r\n");
    ::chmod(target.c_str(), 0640);
    VectorResult r = ManyRows(20000); // several 64 KB pieces
    EXPECT_EQ(WriteResultFileAtomic(r, target, "|", true, true), 20000);
    const std::string text = ReadWholeFile(target);
    EXPECT_EQ(text.substr(0, 29), "ID|NAME\r\n0|Name 0\r\n1|Name 1\r\n");
    EXPECT_EQ(text.substr(text.size() - 18), "19999|Name 19999\r\n");
    EXPECT_EQ(text, BuildResultFileText(r, "|", true, true));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the replaced file keeps its permissions
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"t.DAT"}));

    // Cancelled half-way: the old file stays as it was, the temporary file is gone.
    WriteWholeFile(target, "old content\r\n");
    VectorResult big = ManyRows(400000);
    long seen = 0;
    EXPECT_THROW(WriteResultFileAtomic(big, target, "|", true, true,
                                       [&](const std::string& name, long records) {
                                           EXPECT_EQ(name, target);
                                           seen = records;
                                           return false;
                                       }),
                 EExportCancelled);
    EXPECT_GT(seen, 0);
    EXPECT_LT(seen, 400000);
    EXPECT_EQ(ReadWholeFile(target), "old content\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"t.DAT"}));

    // A read-only file is refused and stays; a folder in the target's place too.
    ::chmod(target.c_str(), 0444);
    EXPECT_THROW(WriteResultFileAtomic(r, target, "|", true, true), EFileError);
    EXPECT_EQ(ReadWholeFile(target), "old content\r\n");
    fs::create_directory(dir.File("sub"));
    EXPECT_THROW(WriteResultFileAtomic(r, dir.File("sub"), "|", true, true), EFileError);
}

TEST(ExportTableMode, CancelStopsTheRemainingTablesAndSaysSo) {
    TempDir dir;
    FakeWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    ws.tables["A.BIG"] = ManyRows(400000);
    ws.tables["A.THREE"] = VectorResult({"X"}, {{"3"}});
    WriteWholeFile(dir.File("BIG.DAT"), "previous\r\n");
    ws.onProgress = [](const std::string&, long) { return false; };
    EXPECT_EQ(RunExport(TableSettings(dir.Folder(), {"A.ONE", "A.BIG", "A.THREE"}), ws),
              TExportOutcome::Cancelled);
    EXPECT_EQ(ReadWholeFile(dir.File("BIG.DAT")), "previous\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"BIG.DAT", "ONE.DAT"}));
    EXPECT_EQ(ws.history.size(), 2u);
    EXPECT_EQ(ws.statuses.back(), "Export abgebrochen: Datei " + dir.File("BIG.DAT") +
                                      " nicht geschrieben; die \xFC"
                                      "brigen Tabellen wurden nicht exportiert");
    EXPECT_EQ(ws.attached.back(), true);
    EXPECT_EQ(ws.current.row_, 0u);
}

namespace {

// A result of n generated rows that holds nothing in memory.
class GeneratedResult : public IResultSource {
public:
    explicit GeneratedResult(long n) : n_(n) {}
    int FieldCount() override { return 2; }
    std::string FieldName(int i) override { return i ? "NAME" : "ID"; }
    void First() override { row_ = 0; }
    bool Eof() override { return row_ >= n_; }
    void Next() override { ++row_; }
    std::string FieldText(int i) override {
        return i ? "Name " + std::to_string(row_) : std::to_string(row_);
    }
    long row_ = -1;

private:
    long n_;
};

// The fake worksheet with its work on a runner's thread and the work's ends coming back through a queue that
// the test pumps, as the window's event loop does. It counts the steps that ran on the wrong thread.
class ThreadedWorksheet : public FakeWorksheet {
public:
    TQueuePoster queue;
    TWorksheetRunner runner{queue, [this] { ++breaks; }};
    const std::thread::id gui = std::this_thread::get_id();
    std::atomic<int> wrongThread{0}, works{0}, breaks{0};
    GeneratedResult big{5000000};
    bool useBig = false;
    const std::atomic<long>* records = nullptr;
    std::vector<std::string> written;
    // A.SLOW's statement runs until the stop, then fails as a broken call does.
    std::atomic<bool> slowStarted{false};

    void OnGui() {
        if (std::this_thread::get_id() != gui) ++wrongThread;
    }
    void OffGui() {
        if (std::this_thread::get_id() == gui) ++wrongThread;
    }
    bool BeginExecute(const std::string& text) override {
        OnGui();
        return FakeWorksheet::BeginExecute(text);
    }
    void RunStatement() override {
        OffGui();
        useBig = editor == "select * from A.BIG";
        if (editor == "select * from A.SLOW") {
            slowStarted = true;
            while (!runner.StopRequested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            throw std::runtime_error("ORA-01013: user requested cancel of current operation");
        }
        if (!useBig) FakeWorksheet::RunStatement();
    }
    void EndExecute(const std::string& text) override {
        OnGui();
        FakeWorksheet::EndExecute(text);
    }
    IResultSource& Result() override {
        OffGui();
        return useBig ? static_cast<IResultSource&>(big) : current;
    }
    void SetStatus(const std::string& text) override {
        OnGui();
        FakeWorksheet::SetStatus(text);
    }
    void SetGridAttached(bool on) override {
        OnGui();
        FakeWorksheet::SetGridAttached(on);
    }
    bool Progress(const std::string& fileName, long n) override {
        OffGui();
        return FakeWorksheet::Progress(fileName, n);
    }
    void RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                 const std::atomic<long>*) override {
        OnGui();
        ++works;
        runner.Start(std::move(work), std::move(done));
    }
    bool StopRequested() override { return runner.StopRequested(); }
    void WriteStarted(const std::string& name, const std::atomic<long>& r) override {
        OnGui();
        written.push_back(name);
        records = &r;
    }
    void WriteEnded() override {
        OnGui();
        records = nullptr;
    }

    // Starts the export and pumps until it has ended; each turn of the pump may stop it.
    TExportOutcome Run(const TExportSettings& s, const std::function<bool()>& stopWhen = {}) {
        bool ended = false;
        TExportOutcome outcome = TExportOutcome::Done;
        std::exception_ptr error;
        StartExport(s, *this, [&](TExportOutcome o, std::exception_ptr e) {
            ended = true;
            outcome = o;
            error = e;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            if (stopWhen && stopWhen()) runner.Stop();
            queue.WaitAndRun(5);
        }
        EXPECT_TRUE(ended);
        if (error) std::rethrow_exception(error);
        return outcome;
    }
};

} // namespace

TEST(ExportInTheBackground, ServerCallsAndWritingRunOffTheGuiThreadTheRestOnIt) {
    TempDir dir;
    ThreadedWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    ws.tables["A.TWO"] = VectorResult({"Y", "Z"}, {{"2", std::nullopt}});
    EXPECT_EQ(ws.Run(TableSettings(dir.Folder(), {"A.ONE", "A.TWO"})), TExportOutcome::Done);
    EXPECT_EQ(ws.wrongThread, 0);
    EXPECT_EQ(ws.works, 4); // per table the statement and the file
    EXPECT_EQ(ws.written, (std::vector<std::string>{dir.File("ONE.DAT"), dir.File("TWO.DAT")}));
    EXPECT_EQ(ReadWholeFile(dir.File("TWO.DAT")), "Y|Z\r\n2|\r\n");
    EXPECT_EQ(ws.history.size(), 2u);
    EXPECT_EQ(ws.statuses.back(), "OK");
    EXPECT_EQ(ws.attached, (std::vector<bool>{false, true, false, true}));

    // A failure on the work's thread reaches the end on the GUI thread; the files before it stay.
    TempDir other;
    EXPECT_THROW(ws.Run(TableSettings(other.Folder(), {"A.ONE", "A.MISSING", "A.TWO"})), std::runtime_error);
    EXPECT_EQ(other.Entries(), std::vector<std::string>{"ONE.DAT"});
    EXPECT_EQ(ws.wrongThread, 0);
}

TEST(ExportInTheBackground, AStopWhileAFileIsWrittenCancelsItAndTheRestLeavingTheTargetAsItWas) {
    TempDir dir;
    ThreadedWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    ws.tables["A.THREE"] = VectorResult({"X"}, {{"3"}});
    WriteWholeFile(dir.File("BIG.DAT"), "previous\r\n");
    long seenOnGui = 0;
    bool pressed = false;
    const auto outcome = ws.Run(TableSettings(dir.Folder(), {"A.ONE", "A.BIG", "A.THREE"}), [&] {
        // The GUI thread sees the count the work raises; once some records are out, the user presses Stop
        // (once: every press passes a break on).
        if (pressed || !ws.records) return false;
        seenOnGui = ws.records->load();
        pressed = seenOnGui > 0;
        return pressed;
    });
    EXPECT_EQ(outcome, TExportOutcome::Cancelled);
    EXPECT_GT(seenOnGui, 0);
    EXPECT_LT(ws.big.row_, 5000000); // the walk ended early
    EXPECT_EQ(ws.big.row_, 0);       // and the result is back on its first record
    EXPECT_EQ(ReadWholeFile(dir.File("BIG.DAT")), "previous\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"BIG.DAT", "ONE.DAT"}));
    EXPECT_EQ(ws.history, (std::vector<std::string>{"select * from A.ONE", "select * from A.BIG"}));
    EXPECT_EQ(ws.statuses.back(), ExportCancelledRestText(dir.File("BIG.DAT")));
    EXPECT_EQ(ws.attached.back(), true);
    EXPECT_EQ(ws.breaks, 1);
    EXPECT_EQ(ws.wrongThread, 0);

    // The next export is not taken for stopped.
    ws.tables["A.BIG"] = VectorResult({"X"}, {{"9"}});
    EXPECT_EQ(ws.Run(TableSettings(dir.Folder(), {"A.THREE"})), TExportOutcome::Done);
    EXPECT_EQ(ReadWholeFile(dir.File("THREE.DAT")), "X\r\n3\r\n");
}

TEST(ExportInTheBackground, AStatementEndedByTheBreakCancelsWithoutAnErrorOrHistoryEntry) {
    TempDir dir;
    ThreadedWorksheet ws;
    ws.tables["A.ONE"] = VectorResult({"X"}, {{"1"}});
    ws.tables["A.THREE"] = VectorResult({"X"}, {{"3"}});
    EXPECT_EQ(ws.Run(TableSettings(dir.Folder(), {"A.ONE", "A.SLOW", "A.THREE"}),
                     [&] { return ws.slowStarted.load(); }),
              TExportOutcome::Cancelled);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"ONE.DAT"});
    EXPECT_EQ(ws.history, std::vector<std::string>{"select * from A.ONE"});
    EXPECT_EQ(ws.editor, "select * from A.SLOW");
    EXPECT_EQ(ws.statuses.back(), ExportCancelledRestText(dir.File("SLOW.DAT")));
    // The last table stopped: no word about the others.
    EXPECT_EQ(ws.Run(TableSettings(dir.Folder(), {"A.SLOW"}), [&] { return ws.slowStarted.load(); }),
              TExportOutcome::Cancelled);
    EXPECT_EQ(ws.statuses.back(), ExportCancelledText(dir.File("SLOW.DAT")));
    EXPECT_EQ(ws.wrongThread, 0);
}
