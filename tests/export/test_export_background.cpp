// The export through the worksheet window with its statements off the GUI thread, against a slow emulator:
// the window keeps answering while tables are read and written, progress shows over the status line, Stop,
// Escape and the progress window's button cancel without leaving a file behind, and the worksheet's own
// fetch size comes back afterwards.
#include "app/History.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FExport.h"
#include "tests/gui/WorksheetRig.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace fs = std::filesystem;
using namespace guitest;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// BENCH holds 3000 rows that the server sends 2 ms apart: six seconds for the table.
class ExportBackground : public TWorksheetRig<2, 3000> {
protected:
    fs::path program;

    void BeforeWindow() override {
        program =
            fs::temp_directory_path() / ("vestra-exportbg-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(program);
        fs::create_directories(program / "DAT");
        // A small table that comes before BENCH in the table list.
        auto s = oratest::MakeSession(emu);
        s->Connect();
        TOraSQL sql(s.get());
        for (const char* text : {"create table AAA (X number)", "insert into AAA values (1)", "commit"}) {
            sql.SetSQL(text);
            sql.Execute();
        }
    }
    void AfterWindow() override {
        ASSERT_TRUE(w->Run()->Background);
        SetProgramFolderForTests(program.string());
    }
    void TearDown() override {
        TWorksheetRig::TearDown();
        fs::remove_all(program);
    }
    bool WaitIdle(int ms = 20000) { return TWorksheetRig::WaitIdle(ms); }
    std::string Dat(const std::string& name) const { return (program / "DAT" / name).string(); }
    // Every entry of the DAT folder, temporary files included.
    std::vector<std::string> DatEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(program / "DAT"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Triggers the action Export with the form set up by fill and closed with OK; the export goes on in the
    // background after this returns.
    void StartExport(const std::function<void(TFExport*)>& fill) {
        OnNextModal(
            [fill](QWidget* widget) {
                auto* form = qobject_cast<TFExport*>(widget);
                ASSERT_TRUE(form);
                fill(form);
                form->OKBtn->click();
            },
            "TFExport");
        w->DataModule()->Export->trigger();
    }
    // Table mode with SCOTT's AAA, BENCH and EMP (in this order in the list), files named by table.
    void StartThreeTables() {
        StartExport([](TFExport* f) {
            f->RBTabellen->click();
            f->CBBenutzer->setCurrentIndex(f->CBBenutzer->findText("SCOTT"));
            f->LBTabellen->clearSelection();
            for (const char* t : {"SCOTT.AAA", "SCOTT.BENCH", "SCOTT.EMP"})
                f->LBTabellen->findItems(t, Qt::MatchExactly).value(0)->setSelected(true);
        });
    }
    QString Progress() const { return w->statusBar()->currentMessage(); }
    // Waits until BENCH.DAT is being written and some of its records are out.
    bool WaitWritingBench() {
        return QTest::qWaitFor(
            [this] {
                const QString p = Progress();
                return p.contains("BENCH.DAT") && !p.endsWith(U(" 0 Datensätze")) &&
                       p.endsWith(U("Datensätze"));
            },
            15000);
    }
    // No error box came up.
    void ExpectNoBox() { EXPECT_EQ(QApplication::activeModalWidget(), nullptr); }
};

} // namespace

TEST_F(ExportBackground, TheWindowKeepsAnsweringWhileTablesAreExportedAndShowsTheProgress) {
    const int before = w->Controller().History().Count();
    const int ownFetchRows = w->Qry.FetchRows();
    StartThreeTables();
    // From here on (the form has read its lists and closed) the export does its work.
    TGapMeter meter;
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_FALSE(w->DataModule()->Export->isEnabled());
    EXPECT_FALSE(w->DataModule()->Execute->isEnabled());
    EXPECT_TRUE(w->Run()->BtnStop->isEnabled());
    ASSERT_TRUE(WaitWritingBench()) << Progress().toStdString();
    EXPECT_TRUE(Progress().startsWith(U("... Speichere Datei ") + QString::fromStdString(Dat("BENCH.DAT"))));
    // The table comes in large blocks while the export reads it (the value is only read here).
    EXPECT_EQ(w->Qry.FetchRows(), 1000);
    // The progress window shows up for the long file, and stays out of the way: the window answers.
    EXPECT_TRUE(QTest::qWaitFor([this] { return w->findChild<QProgressDialog*>("ExportProgress"); }, 5000));
    QProgressDialog* progress = w->findChild<QProgressDialog*>("ExportProgress");
    ASSERT_TRUE(progress);
    EXPECT_FALSE(progress->isModal());
    EXPECT_TRUE(progress->labelText().contains("BENCH.DAT"));
    if (const char* shots = std::getenv("VESTRA_SHOTS")) {
        w->grab().save(QString::fromUtf8(shots) + "/export-background.png");
        progress->grab().save(QString::fromUtf8(shots) + "/export-progress.png");
    }
    ASSERT_TRUE(WaitIdle());
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";
    ExpectNoBox();

    EXPECT_EQ(DatEntries(), (std::vector<std::string>{"AAA.DAT", "BENCH.DAT", "EMP.DAT"}));
    const std::string bench = ReadWholeFile(Dat("BENCH.DAT"));
    EXPECT_EQ(std::count(bench.begin(), bench.end(), '\n'), 3001);
    EXPECT_EQ(bench.substr(0, bench.find("\r\n")), "ID|NAME|CREATED|AMOUNT");
    EXPECT_EQ(ReadWholeFile(Dat("AAA.DAT")), "X\r\n1\r\n");
    EXPECT_EQ(w->Controller().History().Count(), before + 3);
    EXPECT_EQ(w->Mmo->toPlainText(), U("select * from SCOTT.EMP"));
    EXPECT_EQ(w->StatusText(), U("OK"));
    EXPECT_TRUE(Progress().isEmpty());
    EXPECT_EQ(w->findChild<QProgressDialog*>("ExportProgress"), nullptr);
    EXPECT_TRUE(w->DataModule()->Export->isEnabled());
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 14); // the last table's result in the grid

    // The worksheet's next statement fetches in its own blocks again.
    Run("select ID from BENCH where ID <= 100");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), U("OK"));
    EXPECT_EQ(w->Qry.FetchRows(), ownFetchRows);
    EXPECT_EQ(w->Controller().History().Count(), before + 4);
}

TEST_F(ExportBackground, StopCancelsTheTableLeavesNoFileAndTheNextStatementWorks) {
    WriteWholeFile(Dat("BENCH.DAT"), "previous\r\n");
    const int before = w->Controller().History().Count();
    StartThreeTables();
    ASSERT_TRUE(WaitWritingBench()) << Progress().toStdString();
    QElapsedTimer sinceStop;
    sinceStop.start();
    w->Run()->BtnStop->click();
    ASSERT_TRUE(WaitIdle(5000));
    EXPECT_LT(sinceStop.elapsed(), 1000);
    ExpectNoBox(); // a cancel is no error

    // The table's target is untouched, its temporary file gone, the table before it kept, EMP not run.
    EXPECT_EQ(ReadWholeFile(Dat("BENCH.DAT")), "previous\r\n");
    EXPECT_EQ(DatEntries(), (std::vector<std::string>{"AAA.DAT", "BENCH.DAT"}));
    EXPECT_EQ(w->StatusText(), U("Export abgebrochen: Datei ") + QString::fromStdString(Dat("BENCH.DAT")) +
                                   U(" nicht geschrieben; die übrigen Tabellen wurden nicht exportiert"));
    EXPECT_EQ(w->StatusBar1->text(), w->StatusText());
    EXPECT_TRUE(Progress().isEmpty());
    EXPECT_EQ(w->Controller().History().Count(), before + 2);
    EXPECT_EQ(w->Mmo->toPlainText(), U("select * from SCOTT.BENCH"));
    EXPECT_TRUE(w->DataSource().Enabled());
    EXPECT_FALSE(w->Run()->BtnStop->isEnabled());

    // The session goes on, with the worksheet's own fetch size.
    Run("select count(*) from dept");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), U("OK"));
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 4);
    EXPECT_EQ(w->Qry.FetchRows(), 25);
}

TEST_F(ExportBackground, EscapeWhileATablesStatementRunsBreaksItWithoutAnErrorBox) {
    const int before = w->Controller().History().Count();
    StartThreeTables();
    // BENCH's statement is on the server (its first block takes two seconds), nothing is written yet.
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return w->Mmo->toPlainText() == U("select * from SCOTT.BENCH"); }, 5000));
    QTest::qWait(300);
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_TRUE(Progress().isEmpty());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w->Mmo, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(5000));
    ExpectNoBox(); // the server's cancel error is the export's cancel here
    EXPECT_EQ(DatEntries(), std::vector<std::string>{"AAA.DAT"});
    EXPECT_EQ(w->StatusText(), U("Export abgebrochen: Datei ") + QString::fromStdString(Dat("BENCH.DAT")) +
                                   U(" nicht geschrieben; die übrigen Tabellen wurden nicht exportiert"));
    EXPECT_EQ(w->Controller().History().Count(), before + 1); // BENCH's statement did not end
    Run("select count(*) from emp");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), U("OK"));
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 14);
}

TEST_F(ExportBackground, TheProgressWindowsButtonAndEscapeCancelToo) {
    StartThreeTables();
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->findChild<QProgressDialog*>("ExportProgress"); }, 15000));
    QProgressDialog* progress = w->findChild<QProgressDialog*>("ExportProgress");
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->text(), U("Abbrechen"));
    cancel->click();
    ASSERT_TRUE(WaitIdle(5000));
    ExpectNoBox();
    EXPECT_EQ(DatEntries(), std::vector<std::string>{"AAA.DAT"});
    EXPECT_TRUE(w->StatusText().startsWith(U("Export abgebrochen: Datei ")));

    // The current result, read to its end by the export: Escape in the worksheet stops the walk.
    Run("select * from BENCH");
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(w->Qry.Active());
    StartExport([](TFExport*) {});
    ASSERT_TRUE(QTest::qWaitFor([this] { return Progress().contains("output.DAT"); }, 5000));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w->Mmo, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(5000));
    ExpectNoBox();
    EXPECT_EQ(DatEntries(), std::vector<std::string>{"AAA.DAT"});
    EXPECT_EQ(w->StatusText(), U("Export abgebrochen: Datei ") + QString::fromStdString(Dat("output.DAT")) +
                                   U(" nicht geschrieben"));
    EXPECT_TRUE(w->DataSource().Enabled());
}

TEST_F(ExportBackground, ClosingTheWindowDuringAnExportEndsCleanly) {
    StartThreeTables();
    ASSERT_TRUE(WaitWritingBench());
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_FALSE(w->Run()->Busy());
    ExpectNoBox();
    QTest::qWait(50);
    w.reset();
    // Nothing half-written is left behind.
    EXPECT_EQ(DatEntries(), std::vector<std::string>{"AAA.DAT"});
}
