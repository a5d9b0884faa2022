// The grid's moves that fetch every row or reopen the query, in the worksheet's real window against a slow
// emulator: Ctrl+End, the footer summary, a title-click sort, the server-side filter and the clipboard copy
// run off the GUI thread, count their rows in the status line and end on Stop; without Stop they end exactly
// as they do on the GUI thread.
#include "app/gui/DataModule1.h"
#include "grid/QxGridHeader.h"
#include "grid/QxGridModel.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>

#include <string>
#include <vector>

using namespace guitest;

namespace {

const QString kQuery = "SELECT ID, NAME FROM BENCH ORDER BY ID";

template <int kSlowMs> class TGridRig : public TWorksheetRig<kSlowMs> {
protected:
    using Base = TWorksheetRig<kSlowMs>;
    TQxDBGrid* Grid() { return this->w->DBGrid; }
    QAbstractItemModel* Model() { return Grid()->model(); }
    QString Cell(int row, int col) { return Model()->data(Model()->index(row, col)).toString(); }
    QString Status() { return this->w->StatusText(); }
    void Open() {
        this->Run(kQuery);
        ASSERT_TRUE(this->WaitIdle());
        ASSERT_EQ(Status(), "OK");
        // The first block, and more when the view has room for them.
        ASSERT_GE(Model()->rowCount(), 25);
    }
    void FocusCell(int row, int col) {
        Grid()->setFocus();
        Grid()->setCurrentIndex(Model()->index(row, col));
        ASSERT_EQ(Grid()->currentIndex().row(), row);
    }
    void CtrlEnd() { QTest::keyClick(Grid(), Qt::Key_End, Qt::ControlModifier); }
    void ClickTitle(int col) {
        auto* h = Grid()->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 8));
    }
    // The status line counts the rows: "... N s, R Zeilen"; R, or -1 while it shows no count.
    long CountShown() {
        static const QRegularExpression re("^\\.\\.\\. \\d+ s, (\\d+) Zeilen$");
        auto m = re.match(Status());
        return m.hasMatch() ? m.captured(1).toLong() : -1;
    }
    // Stops the running move: the error box comes within a second with the server's cancel error (or the
    // walk's own stop error), and the window is idle again.
    void StopAndExpectTheError() {
        QElapsedTimer since;
        since.start();
        auto box = this->CatchBox(since);
        this->w->Run()->BtnStop->click();
        ASSERT_TRUE(this->WaitIdle(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return box->atMs >= 0; }, 3000)) << "no error box";
        EXPECT_LT(box->atMs, 1000);
        EXPECT_TRUE(box->text.contains("ORA-01013") || box->text.contains("abgebrochen"))
            << box->text.toStdString();
    }
    // The grid is back on the query, enabled, and the next statement runs normally.
    void ExpectUsableAndRunNext() {
        EXPECT_TRUE(Grid()->isEnabled());
        EXPECT_EQ(Grid()->DataSet(), &this->w->Qry);
        EXPECT_TRUE(this->w->BtnExec->isEnabled());
        EXPECT_FALSE(this->w->Run()->BtnStop->isEnabled());
        this->Run("select count(*) from dept");
        ASSERT_TRUE(this->WaitIdle());
        EXPECT_EQ(Status(), "OK");
        ASSERT_TRUE(this->w->Qry.Active());
        EXPECT_EQ(this->w->Qry.Fields(0)->AsInteger(), 4);
        EXPECT_EQ(Model()->rowCount(), 1);
    }
};

using GridMovesStop = TGridRig<100>; // the first block of 25 rows takes 2.5 s, every row 100 ms
using GridMovesResults = TGridRig<1>;

TEST_F(GridMovesStop, CtrlEndFetchesOffTheGuiThreadCountsTheRowsAndStopKeepsWhatCame) {
    Open();
    FocusCell(0, 1);
    TGapMeter meter;
    CtrlEnd();
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->Run()->Busy(); }, 1000));
    // The grid has let go of the query being filled; the status line counts the rows fetched.
    EXPECT_EQ(Grid()->DataSet(), nullptr);
    EXPECT_FALSE(Grid()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return CountShown() >= 25; }, 3000)) << Status().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([this] { return CountShown() >= 50; }, 5000)) << Status().toStdString();
    EXPECT_TRUE(w->Run()->Busy());
    // Meanwhile a dimmed picture of the rows stands in for the grid.
    auto* standIn = Grid()->findChild<QLabel*>("GridStandIn");
    ASSERT_TRUE(standIn);
    EXPECT_TRUE(standIn->isVisible());
    EXPECT_EQ(standIn->geometry(), Grid()->rect());
    vtest::Snapshot(*w, "worksheet-ctrlend-running");
    EXPECT_GT(meter.ticks, 100);
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";

    StopAndExpectTheError();
    // The rows fetched so far stay, the grid stands where it was.
    EXPECT_GE(Model()->rowCount(), 50);
    EXPECT_LT(Model()->rowCount(), 200);
    EXPECT_EQ(w->Qry.RecNo(), 1);
    EXPECT_EQ(Grid()->currentIndex().row(), 0);
    EXPECT_EQ(Grid()->currentIndex().column(), 1);
    EXPECT_EQ(Cell(49, 0), "50");
    // The keys go on in the grid once the window is active again after the error box.
    EXPECT_EQ(w->focusWidget(), Grid());
    Activate();
    EXPECT_EQ(QApplication::focusWidget(), Grid());
    EXPECT_FALSE(standIn->isVisible());
    QTest::keyClick(Grid(), Qt::Key_Down);
    EXPECT_EQ(w->Qry.RecNo(), 2);
    vtest::Snapshot(*w, "worksheet-ctrlend-stopped");
    ExpectUsableAndRunNext();
}

TEST_F(GridMovesStop, ATitleClickSortRunsOffTheGuiThreadAndStopEndsItWithTheCancelError) {
    Open();
    ASSERT_EQ(Grid()->Columns(0)->SortOrder(), soAsc); // read from the statement's ORDER BY
    TGapMeter meter;
    ClickTitle(1);
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_EQ(Grid()->DataSet(), nullptr);
    ASSERT_TRUE(WaitFetching());
    QTest::qWait(300);
    EXPECT_TRUE(w->Run()->Busy());
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";

    StopAndExpectTheError();
    // The sort that did not happen shows no marks of its own.
    EXPECT_EQ(Grid()->Columns(0)->SortOrder(), soAsc);
    EXPECT_EQ(Grid()->Columns(1)->SortOrder(), soNone);
    ExpectUsableAndRunNext();
}

TEST_F(GridMovesStop, ASummaryWalksOffTheGuiThreadAndAStoppedOneShowsNoNumber) {
    Open();
    FocusCell(3, 0);
    Grid()->SetOptionsEx(Grid()->OptionsEx() | dgeSummary);
    Grid()->Columns(0)->SetSummaryMode(smSum);
    // The footer asks for the summary when it paints; the walk starts from the event loop.
    TGapMeter meter;
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->Run()->Busy(); }, 2000));
    EXPECT_FALSE(Grid()->Columns(0)->SummaryComputed());
    ASSERT_TRUE(QTest::qWaitFor([this] { return CountShown() >= 25; }, 3000)) << Status().toStdString();
    ASSERT_TRUE(WaitFetching());
    QTest::qWait(300);
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";

    StopAndExpectTheError();
    EXPECT_FALSE(Grid()->Columns(0)->SummaryComputed());
    EXPECT_EQ(Grid()->Columns(0)->SummaryText(), "");
    // It does not start again by itself: painting the footer leaves the window idle.
    Grid()->Footer()->repaint();
    QTest::qWait(100);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_EQ(w->Qry.RecNo(), 4); // back where the walk started
    EXPECT_EQ(Grid()->currentIndex().row(), 3);

    // A new result has its summary computed again.
    Run("SELECT ID, NAME FROM BENCH WHERE ID <= 3");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !w->Run()->Busy() && Grid()->Columns(0)->SummaryComputed(); },
                                10000));
    EXPECT_EQ(Grid()->Columns(0)->SummaryText(), "6");
}

TEST_F(GridMovesStop, AStoppedClipboardCopyLeavesTheClipboardAsItWas) {
    Open();
    QGuiApplication::clipboard()->setText("vorher");
    w->BitBtn2->click();
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_FALSE(w->DatS.Enabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return CountShown() >= 25; }, 3000)) << Status().toStdString();
    ASSERT_TRUE(WaitFetching());
    StopAndExpectTheError();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "vorher");
    EXPECT_EQ(w->Qry.RecNo(), 1);
    ExpectUsableAndRunNext();
}

TEST_F(GridMovesStop, ClosingTheWindowDuringCtrlEndStopsItAndEndsCleanly) {
    Open();
    FocusCell(0, 0);
    CtrlEnd();
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->Run()->Busy(); }, 1000));
    ASSERT_TRUE(WaitFetching());
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no message about the break on the way out
    QTest::qWait(50);
    w.reset();
}

// ---- The same moves to their end: what they leave is what they leave on the GUI thread ----

struct TOutcome {
    int rows = 0, row = -1, column = -1, recNo = 0;
    std::vector<QString> firstRow, lastRow;
    QString head; // the first 25 rows, cell by cell
    std::string sql;
    std::vector<int> sort, widths;
    int hscroll = 0;
    QString status, extra;
    bool operator==(const TOutcome&) const = default;
};

class GridMovesEnd : public GridMovesResults {
protected:
    TOutcome Outcome(const QString& extra = QString()) {
        TOutcome o;
        // How many rows the view has read ahead is its own business until every row is in.
        o.rows = w->Qry.AllRowsFetched() ? Model()->rowCount() : -1;
        o.row = Grid()->currentIndex().row();
        o.column = Grid()->currentIndex().column();
        o.recNo = w->Qry.RecNo();
        for (int c = 0; c < Model()->columnCount(); ++c) {
            o.firstRow.push_back(Cell(0, c));
            if (o.rows > 0) o.lastRow.push_back(Cell(o.rows - 1, c));
            o.sort.push_back(int(Grid()->Columns(c)->SortOrder()));
            o.widths.push_back(Grid()->Columns(c)->Width());
        }
        for (int r = 0; r < std::min(Model()->rowCount(), 25); ++r)
            for (int c = 0; c < Model()->columnCount(); ++c)
                o.head += Cell(r, c) + (c + 1 < Model()->columnCount() ? "\t" : "\n");
        o.sql = w->Qry.SQL();
        o.hscroll = Grid()->horizontalScrollBar()->value();
        o.status = Status();
        o.extra = extra;
        return o;
    }
    // Runs prepare and move once on the GUI thread and once in the background; both end the same.
    template <class Prepare, class Move> TOutcome BothWays(Prepare prepare, Move move) {
        TOutcome out[2];
        for (int bg = 0; bg < 2; ++bg) {
            w->Run()->Background = bg == 1;
            prepare();
            std::vector<bool> running;
            auto c = QObject::connect(w->Run(), &TWorksheetRun::RunningChanged, w.get(),
                                      [&running](bool on) { running.push_back(on); });
            out[bg] = move();
            QObject::disconnect(c);
            EXPECT_FALSE(w->Run()->Busy());
            // In the background the move was a run of its own.
            EXPECT_EQ(running, (bg ? std::vector<bool>{true, false} : std::vector<bool>{})) << bg;
        }
        EXPECT_TRUE(out[0] == out[1]);
        EXPECT_EQ(out[0].rows, out[1].rows);
        EXPECT_EQ(out[0].row, out[1].row);
        EXPECT_EQ(out[0].recNo, out[1].recNo);
        EXPECT_EQ(out[0].firstRow, out[1].firstRow);
        EXPECT_EQ(out[0].head.toStdString(), out[1].head.toStdString());
        EXPECT_EQ(out[0].lastRow, out[1].lastRow);
        EXPECT_EQ(out[0].sql, out[1].sql);
        EXPECT_EQ(out[0].sort, out[1].sort);
        EXPECT_EQ(out[0].widths, out[1].widths);
        EXPECT_EQ(out[0].status.toStdString(), out[1].status.toStdString());
        EXPECT_EQ(out[0].extra.toStdString(), out[1].extra.toStdString());
        return out[1];
    }
    bool WaitMoveEnd() {
        QTest::qWait(30); // a move that starts from the event loop has started
        return WaitIdle();
    }
};

TEST_F(GridMovesEnd, CtrlEndEndsOnTheLastRowWithEveryRow) {
    const TOutcome o = BothWays(
        [this] {
            Open();
            FocusCell(2, 1);
        },
        [this] {
            CtrlEnd();
            EXPECT_TRUE(WaitMoveEnd());
            return Outcome();
        });
    EXPECT_EQ(o.rows, 200);
    EXPECT_EQ(o.recNo, 200);
    EXPECT_EQ(o.row, 199);
    EXPECT_EQ(o.column, 1);
    EXPECT_EQ(o.lastRow.at(0), "200");
    EXPECT_EQ(o.status, "OK");
    EXPECT_EQ(QApplication::focusWidget(), Grid());
    // Up moves from the last row: the keys go on in the grid.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(w->Qry.RecNo(), 199);
}

TEST_F(GridMovesEnd, ATitleClickSortKeepsTheWidthsAndShowsTheMark) {
    const TOutcome o = BothWays(
        [this] {
            Open();
            Grid()->Columns(1)->SetWidth(250);
            Grid()->Columns(0)->SetWidth(400);
            Grid()->resize(300, Grid()->height());
            Grid()->horizontalScrollBar()->setValue(50);
        },
        [this] {
            ClickTitle(1);
            EXPECT_TRUE(WaitMoveEnd());
            return Outcome();
        });
    EXPECT_NE(o.sql.find("ORDER BY 2"), std::string::npos) << o.sql;
    EXPECT_EQ(o.sort, (std::vector<int>{soNone, soAsc}));
    EXPECT_EQ(o.widths, (std::vector<int>{400, 250}));
    EXPECT_EQ(o.hscroll, 50);
    EXPECT_EQ(o.recNo, 1);
    EXPECT_EQ(o.firstRow.at(1), "Name 1");
    EXPECT_TRUE(o.head.startsWith("1\tName 1\n10\tName 10\n100\tName 100\n101\tName 101\n"))
        << o.head.left(80).toStdString();
}

TEST_F(GridMovesEnd, TheSumOfEveryRowIsTheSameAndThePositionStays) {
    const TOutcome o = BothWays(
        [this] {
            Open();
            FocusCell(5, 1);
        },
        [this] {
            Grid()->SetOptionsEx(Grid()->OptionsEx() | dgeSummary);
            Grid()->Columns(0)->SetSummaryMode(smSum);
            Grid()->Footer()->repaint();
            EXPECT_TRUE(QTest::qWaitFor(
                [this] { return !w->Run()->Busy() && Grid()->Columns(0)->SummaryComputed(); }, 10000));
            TOutcome out = Outcome(QString::fromStdString(Grid()->Columns(0)->SummaryText()));
            vtest::Snapshot(*w, "worksheet-summary");
            Grid()->Columns(0)->SetSummaryMode(smNone);
            Grid()->SetOptionsEx(Grid()->OptionsEx() & ~dgeSummary);
            return out;
        });
    EXPECT_EQ(o.extra, "20100"); // 1 + 2 + ... + 200
    EXPECT_EQ(o.recNo, 6);
    EXPECT_EQ(o.row, 5);
    EXPECT_EQ(o.column, 1);
    EXPECT_EQ(o.rows, 200); // the walk fetched every row
}

TEST_F(GridMovesEnd, TheClipboardGetsTheWholeResult) {
    const TOutcome o = BothWays(
        [this] {
            Open();
            QGuiApplication::clipboard()->setText("vorher");
        },
        [this] {
            w->BitBtn2->click();
            EXPECT_TRUE(WaitMoveEnd());
            return Outcome(QGuiApplication::clipboard()->text());
        });
    EXPECT_TRUE(o.extra.startsWith("ID\tNAME\r\n1\t")) << o.extra.left(40).toStdString();
    EXPECT_TRUE(o.extra.endsWith("\r\n"));
    EXPECT_EQ(o.extra.count("\r\n"), 201);
    EXPECT_EQ(o.recNo, 1); // the copy leaves the query on its first record
}

TEST_F(GridMovesEnd, TheServerSideFilterReopensAndIsTakenOffAgain) {
    const TOutcome on = BothWays(
        [this] {
            Open();
            Grid()->SetOptionsEx(Grid()->OptionsEx() & ~dgeLocalFilter);
            Grid()->Columns(1)->SetWidth(123);
        },
        [this] {
            Grid()->Columns(0)->SetFilterExpression(">=190");
            Grid()->SetFiltered(true);
            EXPECT_TRUE(WaitMoveEnd());
            return Outcome(QString::fromStdString(w->Qry.FilterSQL()));
        });
    EXPECT_EQ(on.extra, "ID>=190");
    EXPECT_EQ(on.rows, 11);
    EXPECT_EQ(on.firstRow.at(0), "190");
    EXPECT_EQ(on.widths.at(1), 123);
    EXPECT_EQ(on.sort.at(0), soAsc); // the statement's ORDER BY ID

    const TOutcome off = BothWays(
        [this] {
            Open();
            Grid()->SetOptionsEx(Grid()->OptionsEx() & ~dgeLocalFilter);
            Grid()->Columns(0)->SetFilterExpression(">=190");
            Grid()->SetFiltered(true);
            ASSERT_TRUE(WaitMoveEnd());
        },
        [this] {
            Grid()->SetFiltered(false);
            EXPECT_TRUE(WaitMoveEnd());
            return Outcome(QString::fromStdString(w->Qry.FilterSQL()));
        });
    EXPECT_EQ(off.extra, "");
    EXPECT_EQ(off.firstRow.at(0), "1");
}

} // namespace
