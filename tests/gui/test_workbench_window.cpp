// The table workbench opened from the real worksheet window on the same session: a post never commits what
// the worksheet has not confirmed, and closing the worksheet settles a workbench row in edit first.
#include "app/ProgramFolder.h"
#include "app/WorkbenchWriter.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FQuickView.h"
#include "app/gui/FVestra.h"
#include "app/gui/WorksheetRun.h"
#include "dataset/Cp1252.h"
#include "grid/DBNavigator.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace guitest;

namespace {

QString FromAnsi(const char* text1252) {
    std::u16string u = cp1252::ToUtf16(text1252);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

class WorkbenchWindow : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TFVestra> w;
    TFQuickView* qv = nullptr;
    TOraQuery* exec = nullptr;

    void SetUp() override {
        SetProgramFolderForTests(BinFolder().toStdString());
        w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        w->Run()->Background = false;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void TearDown() override {
        CancelPendingModals();
        if (w) {
            if (exec && (exec->State() == dsEdit || exec->State() == dsInsert)) exec->Cancel();
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
    }
    void RunInWorksheet(const QString& sql) {
        w->showNormal();
        w->Mmo->setPlainText(sql);
        w->Mmo->setFocus();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    // QuickViewII, then SCOTT.DEPT on "Tabelle ändern" with its first row in edit: LOC holds loc.
    void EditDeptInWorkbench(const char* loc) {
        TDataModule1* dm = w->DataModule();
        dm->QuickViewII->trigger();
        qv = dm->FQuickView.get();
        exec = &dm->QuickViewQueries->QryQVExec;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(qv));
        qv->CBBenutzer3->setCurrentIndex(qv->CBBenutzer3->findText("SCOTT"));
        auto found = qv->LBTabellen3->findItems("SCOTT.DEPT", Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(qv->LBTabellen3->viewport(), Qt::LeftButton, {},
                          qv->LBTabellen3->visualItemRect(found[0]).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !exec->Executing(); }, 10000));
        QTest::mouseClick(qv->TabControl1, Qt::LeftButton, {}, qv->TabControl1->tabRect(6).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !exec->Executing(); }, 10000));
        ASSERT_TRUE(exec->CanModify());
        exec->First();
        exec->Edit();
        exec->FieldByName("LOC")->SetAsString(loc);
    }
    std::string Seen(const std::string& sql) {
        auto s = oratest::MakeSession(emu);
        s->Connect();
        TOraQuery q(s.get());
        q.SetSQL(sql);
        q.Open();
        return q.Fields(0)->AsString();
    }
};

TEST_F(WorkbenchWindow, APostNeverCommitsTheWorksheetsUnconfirmedChanges) {
    RunInWorksheet("update emp set sal = 1 where empno = 7839");
    ASSERT_TRUE(w->BtnR->isEnabled());
    EditDeptInWorkbench("LINZ");
    QString refusal;
    OnNextModal([&](QWidget* box) {
        refusal = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    qv->DBNavigator1->Button(nbPost)->click();
    EXPECT_EQ(refusal, FromAnsi(kWorkbenchWorksheetPending));
    EXPECT_EQ(exec->State(), dsEdit);
    EXPECT_EQ(exec->FieldByName("LOC")->AsString(), "LINZ");
    EXPECT_EQ(Seen("select sal from emp where empno = 7839"), "5000");
    EXPECT_EQ(Seen("select loc from dept where deptno = 10"), "NEW YORK");
    // R in the worksheet undoes its update: it was never committed.
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::Yes); });
    w->BtnR->click();
    EXPECT_FALSE(w->BtnR->isEnabled());
    EXPECT_EQ(Seen("select sal from emp where empno = 7839"), "5000");
    // Now the row the user kept on screen is posted and committed.
    qv->DBNavigator1->Button(nbPost)->click();
    EXPECT_EQ(exec->State(), dsBrowse);
    EXPECT_EQ(Seen("select loc from dept where deptno = 10"), "LINZ");
}

TEST_F(WorkbenchWindow, ClosingTheWorksheetWithAWorkbenchRowInEditAsksFirst) {
    EditDeptInWorkbench("GERA");
    QString question;
    OnNextModal([&](QWidget* box) {
        question = MessageText(box);
        ClickButton(box, QMessageBox::Cancel);
    });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(question.contains("nicht gespeichert")) << question.toStdString();
    EXPECT_EQ(exec->State(), dsEdit);
    EXPECT_EQ(exec->FieldByName("LOC")->AsString(), "GERA");
    // Yes posts the row, then the worksheet closes.
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::Yes); });
    EXPECT_TRUE(w->close());
    EXPECT_EQ(Seen("select loc from dept where deptno = 10"), "GERA");
}

} // namespace
