// Ending the session through the real window: closing and logging on again run COMMIT/ROLLBACK and the logoff
// off the GUI thread with the time limit, so that a network that stopped answering neither freezes the window
// nor keeps it waiting for ever; closing while a statement runs asks first; F5 after a cancelled logon logs
// on and then runs in the background.
#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "tests/gui/FreezingProxy.h"
#include "tests/gui/GuiTest.h"
#include "tests/gui/WorksheetRig.h"
#include "tests/oracle/OraE2e.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace guitest;

namespace {

// What the next connect form does: 'c' clicks Abbrechen, 'o' Ok; when it showed (ms of g_clock).
char g_formAction = 'o';
qint64 g_formShownAt = -1;
QElapsedTimer g_clock;

void HookConnectForm(char action) {
    g_formAction = action;
    g_formShownAt = -1;
    TConnectForm::OnShown = [](TConnectForm& f) {
        g_formShownAt = g_clock.isValid() ? g_clock.elapsed() : 0;
        // The form asks for the password again (it keeps only the user name).
        if (g_formAction == 'o') f.edPassword->setText("tiger");
        QPushButton* b = g_formAction == 'c' ? f.btCancel : f.btConnect;
        QTimer::singleShot(0, b, &QPushButton::click);
    };
}

// The worksheet logged on through a proxy that can play a dead network, with uncommitted changes.
class WorksheetSessionEndOnADeadNetwork : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TFreezingProxy> proxy;
    std::unique_ptr<TFVestra> w;

    void SetUp() override {
        proxy = std::make_unique<TFreezingProxy>(emu.emu.Port());
        SetProgramFolderForTests(BinFolder().toStdString());
        w = StartLoggedOn(proxy->Server());
        ASSERT_TRUE(w);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        EXPECT_EQ(w->Run()->StopWaitMs, 3000);
        w->Mmo->setPlainText("update dept set loc = 'NIRGENDWO' where deptno = 10");
        w->BtnExec->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !w->Run()->Busy(); }, 10000));
        ASSERT_TRUE(w->BtnC->isEnabled());
        proxy->Freeze();
    }
    void TearDown() override {
        CancelPendingModals();
        TConnectForm::OnShown = nullptr;
        if (w) {
            w->Run()->StopAndWait();
            w.reset();
        }
        proxy.reset();
        SetProgramFolderForTests("");
    }
};

TEST_F(WorksheetSessionEndOnADeadNetwork, ClosingCutsTheLineAfterTheLimitWhileTheWindowKeepsAnswering) {
    QString question;
    OnNextModal([&](QWidget* box) {
        question = MessageText(box);
        ClickButton(box, QMessageBox::No);
    });
    TGapMeter gaps;
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    const qint64 ms = t.elapsed();
    EXPECT_TRUE(question.contains("\u00C4nderungen")) << question.toStdString();
    EXPECT_GE(ms, 2500) << "the rollback ended without the time limit";
    EXPECT_LT(ms, 8000) << "the end waited beyond its limits";
    EXPECT_LT(gaps.maxGap, 500) << "the window stopped answering while the session ended";
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->Sess.Connected());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WorksheetSessionEndOnADeadNetwork, LoggingOnAgainCutsTheLineAfterTheLimitThenShowsTheConnectForm) {
    const QString label = w->LblConnect->text();
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::No); });
    HookConnectForm('c');
    g_clock.start();
    TGapMeter gaps;
    w->DataModule()->DBChange->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return g_formShownAt >= 0; }, 10000)) << "the connect form never showed";
    EXPECT_GE(g_formShownAt, 2500) << "the rollback ended without the time limit";
    EXPECT_LT(g_formShownAt, 8000);
    EXPECT_LT(gaps.maxGap, 500) << "the window stopped answering while the session ended";
    QTest::qWait(50);
    EXPECT_FALSE(w->Sess.Connected());
    EXPECT_EQ(w->LblConnect->text(), label);
    EXPECT_FALSE(w->BtnC->isEnabled());
    EXPECT_TRUE(w->DataModule()->Execute->isEnabled());
}

// ---- Against a slow server ----

using WorksheetSessionEnd = TWorksheetRig<100>;

TEST_F(WorksheetSessionEnd, ClosingWhileAStatementRunsAsksFirstAndAbbrechenLeavesItRunning) {
    Run("update dept set loc = loc where deptno = 10");
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(w->BtnC->isEnabled());
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(WaitFetching());

    bool runningWhenAsked = false;
    QString question;
    OnNextModal([&](QWidget* box) {
        runningWhenAsked = w->Run()->Busy();
        question = MessageText(box);
        ClickButton(box, QMessageBox::Cancel);
    });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(question.contains("\u00C4nderungen")) << question.toStdString();
    EXPECT_TRUE(runningWhenAsked) << "the statement was broken before the user answered";
    EXPECT_TRUE(w->Run()->Busy()) << "Abbrechen did not leave the statement running";
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_GT(w->DBGrid->model()->rowCount(), 0);
    EXPECT_TRUE(w->BtnC->isEnabled());

    // Answered, the close goes through and rolls back.
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::No); });
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->Sess.Connected());
}

TEST_F(WorksheetSessionEnd, F5AfterACancelledLogonLogsOnFirstAndThenRunsInTheBackground) {
    HookConnectForm('c');
    w->DataModule()->DBChange->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return g_formShownAt >= 0; }, 10000));
    QTest::qWait(50);
    ASSERT_FALSE(w->Sess.Connected());

    HookConnectForm('o');
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    // The key press has returned: logged on, and the statement runs off the GUI thread.
    EXPECT_GE(g_formShownAt, 0) << "F5 did not log on first";
    EXPECT_TRUE(w->Sess.Connected());
    EXPECT_TRUE(w->Run()->Busy()) << "the statement ran on the GUI thread";
    EXPECT_FALSE(w->DatS.Enabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_GT(w->DBGrid->model()->rowCount(), 0);
    TConnectForm::OnShown = nullptr;
}

} // namespace
