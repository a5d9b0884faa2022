// The worksheet's statements off the GUI thread, through the real window against a slow emulator: the event
// loop keeps running while a query fetches, Stop and Escape break it, closing the window stops it first.
#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FQuickView.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "grid/QxGrid.h"
#include "tests/Snapshot.h"
#include "tests/gui/GuiTest.h"
#include "tests/gui/WorksheetRig.h"
#include "tests/oracle/OraE2e.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace guitest;

namespace {

using WorksheetBackground = TWorksheetRig<100>;

TEST_F(WorksheetBackground, TheStopButtonStandsBesideExecuteAndIsEnabledOnlyWhileAStatementRuns) {
    QPushButton* stop = w->findChild<QPushButton*>("BtnStop");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->text(), "Stopp");
    EXPECT_FALSE(stop->accessibleName().isEmpty());
    auto* bar = qobject_cast<QHBoxLayout*>(w->BtnExec->parentWidget()->layout());
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->indexOf(stop), bar->indexOf(w->BtnExec) + 1);
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(w->Run()->StopAction->isEnabled());
    vtest::Snapshot(*w, "worksheet-idle");

    std::vector<bool> running;
    QObject::connect(w->Run(), &TWorksheetRun::RunningChanged, w.get(),
                     [&running](bool on) { running.push_back(on); });
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_EQ(running, std::vector<bool>{true});
    EXPECT_TRUE(stop->isEnabled());
    // Nothing that starts another statement or reads the result is available meanwhile.
    TDataModule1* dm = w->DataModule();
    for (QAction* a : {dm->Execute, dm->Refrech, dm->Neu, dm->Open, dm->DBChange, dm->Export,
                       dm->AusgabeDrucker, dm->AusgabeinZwischenablage})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QWidget* b : {static_cast<QWidget*>(w->BtnExec), static_cast<QWidget*>(w->BtnRefresh),
                       static_cast<QWidget*>(w->BtnC), static_cast<QWidget*>(w->BitBtn1),
                       static_cast<QWidget*>(w->BitBtn2), w->Panel4()})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    ASSERT_TRUE(dm->FQuickView);
    EXPECT_FALSE(dm->FQuickView->isEnabled()); // the workbench uses the same session
    // The grid has let go of the query that is being filled, and paints without touching it.
    EXPECT_FALSE(w->DatS.Enabled());
    EXPECT_EQ(w->DBGrid->DataSet(), nullptr);
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 0);
    for (int i = 0; i < 5; ++i) {
        w->DBGrid->viewport()->repaint();
        QTest::qWait(20);
    }
    EXPECT_EQ(w->StatusText(), "...");
    // F5 again does nothing while the first one runs.
    QTest::keyClick(w->Mmo, Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->StatusText().startsWith("... "); }, 3000));
    EXPECT_EQ(w->StatusText(), "... 1 s");
    vtest::Snapshot(*w, "worksheet-running");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(running, (std::vector<bool>{true, false}));
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    EXPECT_FALSE(stop->isEnabled());
    for (QAction* a : {dm->Execute, dm->Refrech, dm->Neu, dm->Export})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(w->Panel4()->isEnabled());
    EXPECT_TRUE(dm->FQuickView->isEnabled());
    EXPECT_TRUE(w->DBGrid->isEnabled());
    EXPECT_TRUE(w->DatS.Enabled());
    EXPECT_FALSE(w->BtnC->isEnabled()); // a query leaves C and R as they were
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 25);
    EXPECT_EQ(w->Qry.FieldByName("ID")->AsInteger(), 1);
    // The grid follows the query again: closing it (as Neu does) empties the grid, whose columns let go of
    // the fields the close frees.
    w->Qry.Close();
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 0);
    w->DBGrid->repaint(); // the titles are painted from the columns' fields
}

TEST_F(WorksheetBackground, ALongQueryKeepsTheEventLoopRunningAndStopEndsItWithTheCancelError) {
    TGapMeter meter;
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(w->Run()->Busy());
    ASSERT_TRUE(WaitFetching());
    // The editor stays editable while the statement runs.
    w->Mmo->moveCursor(QTextCursor::End);
    QTest::keyClicks(w->Mmo, " --x");
    EXPECT_TRUE(w->Mmo->toPlainText().endsWith("--x"));
    QTest::qWait(800);
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_GT(meter.ticks, 40);
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";

    QElapsedTimer sinceStop;
    sinceStop.start();
    auto box = CatchBox(sinceStop);
    w->Run()->BtnStop->click();
    ASSERT_TRUE(WaitIdle(5000));
    ASSERT_GE(box->atMs, 0) << "no error box";
    EXPECT_LT(box->atMs, 1000);
    EXPECT_TRUE(box->text.contains("ORA-01013")) << box->text.toStdString();
    EXPECT_LT(meter.maxGap, 100);
    // A failed statement: "..." stays, nothing is recorded, the window is usable again.
    EXPECT_EQ(w->StatusText(), "...");
    EXPECT_EQ(w->LblPos->text(), "0 / 0");
    EXPECT_FALSE(w->Run()->BtnStop->isEnabled());
    EXPECT_TRUE(w->BtnExec->isEnabled());

    // The session goes on: the next statement runs normally.
    Run("select count(*) from dept");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 4);
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 1);
}

TEST_F(WorksheetBackground, EscapeInTheEditorStopsTheRunningQuery) {
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(WaitFetching());
    QElapsedTimer since;
    since.start();
    auto box = CatchBox(since);
    QTest::keyClick(w->Mmo, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(5000));
    EXPECT_GE(box->atMs, 0);
    EXPECT_LT(box->atMs, 1000);
    EXPECT_TRUE(box->text.contains("ORA-01013")) << box->text.toStdString();
    // Escape while nothing runs is an ordinary key again.
    EXPECT_FALSE(w->Run()->StopAction->isEnabled());
}

TEST_F(WorksheetBackground, ClosingTheWindowWhileAQueryRunsStopsItAndEndsCleanly) {
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(WaitFetching());
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no message about the break on the way out
    QTest::qWait(50); // the thread's own end arrives and finds nothing to do
    w.reset();
    // The server is fine: a new session works.
    auto s = oratest::MakeSession(emu);
    s->Connect();
    TOraQuery q(s.get());
    q.SetSQL("select count(*) from dept");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 4);
}

TEST_F(WorksheetBackground, CommitAndRefreshRunInTheBackgroundWithTheirTexts) {
    Run("update dept set loc = loc where deptno = 10");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), QString::fromUtf8("1 Datens\u00E4tze verarbeitet!"));
    ASSERT_TRUE(w->BtnC->isEnabled());
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::Yes); });
    w->BtnC->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), QString::fromUtf8("COMMIT ausgef\u00FChrt!"));
    EXPECT_FALSE(w->BtnC->isEnabled());
    EXPECT_FALSE(w->BtnR->isEnabled());

    Run("SELECT ID FROM BENCH WHERE ID <= 3");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    w->BtnRefresh->click();
    EXPECT_TRUE(w->Run()->Busy());
    EXPECT_FALSE(w->DatS.Enabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK"); // Refresh keeps the status text it found
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 3);
    EXPECT_EQ(w->LblPos->text(), "2 / 2"); // not recorded again
}

} // namespace
