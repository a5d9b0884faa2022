// The worksheet window driven with real key presses and clicks against the emulator.
#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FInfo.h"
#include "app/gui/FParam.h"
#include "app/gui/FQuickView.h"
#include "app/gui/FVestra.h"
#include "app/gui/HelpWindow.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "connect/ConnectHooks.h"
#include "connect/QtText.h"
#include "dataset/DAHooks.h"
#include "grid/QxGrid.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace guitest;

namespace {

// What the next connect form does when it shows.
std::function<void(TConnectForm&)> g_onForm;

struct TFormHook {
    TFormHook() {
        TConnectForm::OnShown = [](TConnectForm& f) {
            if (g_onForm) {
                auto act = g_onForm;
                QTimer::singleShot(0, &f, [act, &f] { act(f); });
            }
        };
    }
} g_formHook;

class WorksheetWindow : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TFVestra> w;
    QStringList formErrors;

    void SetUp() override {
        SetProgramFolderForTests(BinFolder().toStdString());
        w.reset(Start("scott/tiger@" + emu.Server()));
        ASSERT_TRUE(w);
        // These tests check each step right after the key press; the background runs have tests of their own.
        w->Run()->Background = false;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void TearDown() override {
        CancelPendingModals();
        g_onForm = nullptr;
        if (w) {
            // Leave without questions: nothing pending is left behind by a test.
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
    }
    // Starts the worksheet; the connect form is confirmed as it comes.
    TFVestra* Start(const std::string& connect) {
        g_onForm = [](TConnectForm& f) { f.btConnect->click(); };
        TStartOptions o;
        o.connect = connect;
        o.haveConnect = true;
        return CreateVestra(o);
    }
    void Type(const QString& sql) {
        w->Mmo->setPlainText(sql);
        w->Mmo->setFocus();
    }
    // Shortcuts reach the active window only: after a dialog closes the worksheet is activated again, as the
    // window manager does.
    void Activate() {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void PressF5() {
        Activate();
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    std::string ValueSeenByAnotherSession(const std::string& sql) {
        auto s = oratest::MakeSession(emu);
        s->Connect();
        TOraQuery q(s.get());
        q.SetSQL(sql);
        q.Open();
        return q.Fields(0)->AsString();
    }
};

TEST_F(WorksheetWindow, StartsConnectedWithTheLayoutNamesAndTexts) {
    EXPECT_EQ(w->LblConnect->text(), FromAnsi("scott@" + emu.Server() + " "));
    EXPECT_TRUE(w->windowTitle().contains("Vestra"));
    EXPECT_TRUE(w->windowTitle().contains("Version 1.41"));
    EXPECT_EQ(w->LblPos->text(), "0 / 0");
    EXPECT_FALSE(w->BtnC->isEnabled());
    EXPECT_FALSE(w->BtnR->isEnabled());
    EXPECT_FALSE(w->Qry.Active());
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from sys.dba_tables order by table_name");
    EXPECT_TRUE(w->RadioButton1->isChecked());
    EXPECT_FALSE(w->Panel4()->isVisible());
    for (const char* hidden : {"BitBtn4", "BBtnQV", "BtnExport"})
        EXPECT_FALSE(w->findChild<QPushButton*>(hidden)->isVisible()) << hidden;
    for (const char* name :
         {"BtnExec", "BtnRefresh", "BtnBack", "BtnForw", "BtnC", "BtnR", "BitBtn3", "BitBtn2", "BitBtn1"})
        EXPECT_TRUE(w->findChild<QPushButton*>(name)) << name;
    // Controls without a caption carry an accessible name.
    EXPECT_FALSE(w->BitBtn2->accessibleName().isEmpty());
    EXPECT_FALSE(w->Mmo->accessibleName().isEmpty());
    // Actions with their shortcuts; Import has no handler and stays disabled.
    TDataModule1* dm = w->DataModule();
    EXPECT_EQ(dm->Execute->shortcut(), QKeySequence("F5"));
    EXPECT_EQ(dm->Parse->shortcut(), QKeySequence("F8"));
    EXPECT_EQ(dm->QuickView->shortcut(), QKeySequence("F10"));
    EXPECT_FALSE(dm->Import->isEnabled());
    EXPECT_EQ(dm->Export->toolTip(), "Export");
    EXPECT_EQ(dm->Export->statusTip(), "Daten in Sequenzielle Dateien schreiben");
    EXPECT_EQ(dm->Menus().size(), 4);
    EXPECT_EQ(dm->Menus()[0]->title(), "&Datei");
}

TEST_F(WorksheetWindow, F5AndCtrlEnterExecuteAndInsertNoCharacter) {
    Type("select * from emp");
    PressF5();
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from emp");
    EXPECT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.RecordCount(), 14);
    QAbstractItemModelTester tester(w->DBGrid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 14);
    EXPECT_EQ(w->LblPos->text(), "1 / 1");

    Type("select * from dept");
    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from dept");
    EXPECT_EQ(w->Qry.RecordCount(), 4);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    // Enter alone is a line break in the editor.
    w->Mmo->moveCursor(QTextCursor::End);
    QTest::keyClick(w->Mmo, Qt::Key_Return);
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from dept\n");
}

TEST_F(WorksheetWindow, UpdateEnablesCAndRAndRollbackAsksFirst) {
    Type("update emp set sal = sal + 100 where deptno = 10");
    PressF5();
    EXPECT_EQ(w->StatusText(), "3 Datens\u00E4tze verarbeitet!");
    EXPECT_TRUE(w->BtnC->isEnabled());
    EXPECT_TRUE(w->BtnR->isEnabled());

    QString question;
    OnNextModal([&](QWidget* box) {
        question = MessageText(box);
        ClickButton(box, QMessageBox::Yes);
    });
    QTest::mouseClick(w->BtnR, Qt::LeftButton);
    EXPECT_EQ(question, "ROLLBACK ausf\u00FChren?");
    EXPECT_EQ(w->StatusText(), "ROLLBACK ausgef\u00FChrt!");
    EXPECT_FALSE(w->BtnC->isEnabled());
    EXPECT_FALSE(w->BtnR->isEnabled());
    EXPECT_EQ(ValueSeenByAnotherSession("select sal from emp where empno = 7839"), "5000");
}

TEST_F(WorksheetWindow, ParameterDialogWithOkAndWithCancel) {
    Type("select dname from dept where deptno = :d");
    QString caption, key, h0, h1;
    OnNextModal([&](QWidget* dlg) {
        auto* p = qobject_cast<TFParam*>(dlg);
        if (!p) return;
        QAbstractItemModelTester tester(p->VLE->model(),
                                        QAbstractItemModelTester::FailureReportingMode::Warning);
        caption = p->windowTitle();
        h0 = p->VLE->horizontalHeaderItem(0)->text();
        h1 = p->VLE->horizontalHeaderItem(1)->text();
        key = p->VLE->item(0, 0)->text();
        // Type the value into the value cell (typing opens its editor), then OK.
        p->VLE->setCurrentCell(0, 1);
        p->VLE->editItem(p->VLE->item(0, 1));
        if (auto* editor = p->VLE->viewport()->findChild<QLineEdit*>()) QTest::keyClicks(editor, "20");
        QTest::mouseClick(p->BtnOK, Qt::LeftButton);
    });
    PressF5();
    EXPECT_EQ(caption, "Prametereingabe");
    EXPECT_EQ(h0, "Schl\u00FCssel");
    EXPECT_EQ(h1, "Wert");
    EXPECT_EQ(key, "d");
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "RESEARCH");
    EXPECT_EQ(w->LblPos->text(), "1 / 1");

    OnNextModal([](QWidget* dlg) {
        if (auto* p = qobject_cast<TFParam*>(dlg)) p->BtnCancel->click();
    });
    PressF5();
    EXPECT_EQ(w->StatusText(), "...") << w->Qry.SQL();
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    EXPECT_EQ(w->DataModule()->FHistory.Count(), 1);
    EXPECT_TRUE(w->DatS.Enabled());
}

TEST_F(WorksheetWindow, ShowParameterShowsTheGeneratedQueryFirst) {
    Type("show parameter db_name");
    QString text;
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    PressF5();
    EXPECT_EQ(text, "SELECT * from v$parameter where NAME = 'db_name'\r\n");
    EXPECT_EQ(w->StatusText(), "OK");
}

TEST_F(WorksheetWindow, HistoryStepsWithTheButtonsAndTheLabel) {
    for (const char* s : {"select 1 from dual", "select 2 from dual", "select 3\nfrom dual"}) {
        Type(s);
        PressF5();
    }
    EXPECT_EQ(w->LblPos->text(), "3 / 3");
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    EXPECT_EQ(w->LblPos->text(), "1 / 3");
    EXPECT_EQ(w->Mmo->toPlainText(), "select 1 from dual");
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    EXPECT_EQ(w->LblPos->text(), "1 / 3");
    QTest::mouseClick(w->BtnForw, Qt::LeftButton);
    QTest::mouseClick(w->BtnForw, Qt::LeftButton);
    QTest::mouseClick(w->BtnForw, Qt::LeftButton);
    EXPECT_EQ(w->LblPos->text(), "3 / 3");
    EXPECT_EQ(w->Mmo->toPlainText(), "select 3\nfrom dual");
}

TEST_F(WorksheetWindow, FilesThroughTheDialogs) {
    QTemporaryDir dir;
    TDataModule1* dm = w->DataModule();
    Type("select 1\nfrom dual");
    PressF5();
    // Save without an extension adds ".SQL".
    OnNextModal([&](QWidget* d) { AcceptFileDialog(d, dir.filePath("one")); });
    dm->Save->trigger();
    QFile f(dir.filePath("one.SQL"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("select 1\r\nfrom dual"));
    f.close();

    OnNextModal([&](QWidget* d) { AcceptFileDialog(d, dir.filePath("h.hist")); });
    dm->SaveHistorie->trigger();
    QFile h(dir.filePath("h.hist"));
    ASSERT_TRUE(h.open(QIODevice::ReadOnly));
    EXPECT_EQ(h.readAll(), QByteArray("select 1\xA7\xA7"
                                      "from dual\r\n"));
    h.close();

    // Neu empties the editor and closes the result; the history stays.
    dm->Neu->trigger();
    EXPECT_EQ(w->Mmo->toPlainText(), "");
    EXPECT_FALSE(w->Qry.Active());
    EXPECT_EQ(dm->FHistory.Count(), 1);

    // A lower-case file name is found by the open dialog's filter.
    QFile lower(dir.filePath("two.sql"));
    ASSERT_TRUE(lower.open(QIODevice::WriteOnly));
    lower.write("select\nsysdate from dual");
    lower.close();
    QStringList filters;
    OnNextModal([&](QWidget* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d)) filters = fd->nameFilters();
        AcceptFileDialog(d, dir.filePath("two.sql"));
    });
    dm->Open->trigger();
    EXPECT_EQ(w->Mmo->toPlainText(), "select\nsysdate from dual");
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters[0].contains("*.sql"));

    OnNextModal([&](QWidget* d) { AcceptFileDialog(d, dir.filePath("h.hist")); });
    dm->LoadHistory->trigger();
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    EXPECT_EQ(w->Mmo->toPlainText(), "select 1\nfrom dual");

    // Cancelling Open leaves an empty editor.
    OnNextModal([](QWidget* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d)) fd->reject();
    });
    dm->Open->trigger();
    EXPECT_EQ(w->Mmo->toPlainText(), "");
}

TEST_F(WorksheetWindow, TextWindows1252CannotHoldIsNeitherSentNorSaved) {
    Type("select '\u0101' from dual");
    QString text;
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    PressF5();
    EXPECT_TRUE(text.contains("\u0101")) << text.toStdString();
    EXPECT_TRUE(text.contains("U+0101"));
    EXPECT_EQ(w->DataModule()->FHistory.Count(), 0);
    EXPECT_EQ(w->StatusText(), "");

    // Saving stops before the dialog: nothing is written.
    text.clear();
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    w->DataModule()->Save->trigger();
    EXPECT_TRUE(text.contains("nichts gespeichert"));
}

TEST_F(WorksheetWindow, ErrorsEndInAMessageBoxAndTheWindowStaysUsable) {
    Type("select * from no_such_table");
    QString text;
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    PressF5();
    EXPECT_TRUE(text.startsWith("ORA-00942")) << text.toStdString();
    EXPECT_EQ(w->StatusText(), "...");
    // Refresh on a closed result reports the data set's error.
    text.clear();
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    QTest::mouseClick(w->BtnRefresh, Qt::LeftButton);
    EXPECT_FALSE(text.isEmpty());
    Type("select * from dept");
    PressF5();
    EXPECT_EQ(w->StatusText(), "OK");
}

TEST_F(WorksheetWindow, LogOnAgainWithCancelLeavesTheSessionDisconnected) {
    const QString label = w->LblConnect->text();
    g_onForm = [](TConnectForm& f) { f.btCancel->click(); };
    w->DataModule()->DBChange->trigger();
    EXPECT_FALSE(w->Sess.Connected());
    EXPECT_EQ(w->LblConnect->text(), label);

    // And again with OK: the form shows the remembered logon and the server history.
    QString shownUser;
    int items = 0;
    g_onForm = [&](TConnectForm& f) {
        shownUser = f.edUsername->text();
        items = f.edServer->count();
        f.edPassword->setText("tiger");
        f.btConnect->click();
    };
    w->DataModule()->DBChange->trigger();
    EXPECT_TRUE(w->Sess.Connected());
    EXPECT_EQ(shownUser, "scott");
    EXPECT_GE(items, 1);
}

TEST_F(WorksheetWindow, UncommittedChangesAreSettledAtExitAsTheUserChooses) {
    Type("update emp set sal = 1 where empno = 7839");
    PressF5();
    OnNextModal([](QWidget* box) { ClickButton(box, QMessageBox::Cancel); });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->Sess.Connected());
    QString question;
    OnNextModal([&](QWidget* box) {
        question = MessageText(box);
        ClickButton(box, QMessageBox::No);
    });
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(question.contains("\u00C4nderungen"));
    EXPECT_EQ(ValueSeenByAnotherSession("select sal from emp where empno = 7839"), "5000");
}

TEST_F(WorksheetWindow, F1OpensTheMainHelpTopicAndInfoShowsTheProduct) {
    ASSERT_TRUE(w->HelpWindow()) << "vestra.qch missing in " << BinFolder().toStdString();
    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_F1);
    ASSERT_TRUE(w->HelpWindow()->isVisible());
    EXPECT_TRUE(w->HelpWindow()->CurrentUrl().toString().endsWith("/index.html"))
        << w->HelpWindow()->CurrentUrl().toString().toStdString();
    EXPECT_EQ(w->HelpWindow()->CurrentTitle(), "Vestra");

    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(w->InfoWindow());
    EXPECT_TRUE(w->InfoWindow()->isVisible());
    EXPECT_EQ(w->InfoWindow()->windowTitle(), "Info \u00DCber ....");
    EXPECT_EQ(w->InfoWindow()->LPrgVer->text(), "Version 1.41");
    QTest::mouseClick(w->InfoWindow()->BtnOK, Qt::LeftButton);
    EXPECT_FALSE(w->InfoWindow()->isVisible());
}

TEST_F(WorksheetWindow, AMissingHelpFileIsNamedInTheMessage) {
    QTemporaryDir dir;
    SetProgramFolderForTests(dir.path().toStdString());
    QString text;
    OnNextModal([&](QWidget* box) {
        text = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    w->SetupHelp();
    EXPECT_EQ(text, "Hilfe-Datei nicht gefunden\r" + dir.path() + "/vestra.qch");
}

TEST(WorksheetStartUp, ACancelledLogonShowsCannotConnectAndCreatesNoWindow) {
    oratest::TEmu emu;
    g_onForm = [](TConnectForm& f) { f.btCancel->click(); };
    QString text;
    // The message box comes after the form has closed.
    OnNextModal(
        [&](QWidget* box) {
            text = MessageText(box);
            ClickButton(box, QMessageBox::Ok);
        },
        "QMessageBox");
    TStartOptions o;
    o.connect = "scott/tiger@" + emu.Server();
    o.haveConnect = true;
    TFVestra* w = CreateVestra(o);
    g_onForm = nullptr;
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(text, "Cannot connect to database.");
}

TEST(WorksheetStartUp, ThreeWrongPasswordsEndTheLogon) {
    oratest::TEmu emu;
    int attempts = 0;
    QStringList errors;
    QString finalText;
    g_onForm = [&](TConnectForm& f) {
        for (int i = 0; i < 3 && f.isVisible(); ++i) {
            ++attempts;
            // Each error box is closed as it comes.
            OnNextModal([&](QWidget* box) {
                errors << MessageText(box);
                ClickButton(box, QMessageBox::Ok);
            });
            f.edPassword->setText("wrong");
            f.btConnect->click();
            // The logon runs on a thread of its own: its error box comes once it has failed.
            (void)QTest::qWaitFor([&] { return errors.size() > i || !f.isVisible(); }, 10000);
        }
        OnNextModal(
            [&](QWidget* box) {
                finalText = MessageText(box);
                ClickButton(box, QMessageBox::Ok);
            },
            "QMessageBox");
    };
    TStartOptions o;
    o.connect = "scott/x@" + emu.Server();
    o.haveConnect = true;
    TFVestra* w = CreateVestra(o);
    g_onForm = nullptr;
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(attempts, 3);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[2].startsWith("ORA-01017")) << errors[2].toStdString();
    EXPECT_EQ(finalText, "Cannot connect to database.");
}

} // namespace

namespace {

TEST_F(WorksheetWindow, StandardButtonsSpeakGerman) {
    Type("update emp set sal = sal where empno = 7839");
    PressF5();
    QString yes, no;
    OnNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
    });
    QTest::mouseClick(w->BtnC, Qt::LeftButton);
    EXPECT_EQ(yes, "&Ja");
    EXPECT_EQ(no, "&Nein");
    EXPECT_TRUE(w->BtnC->isEnabled()); // No: nothing committed
}

TEST_F(WorksheetWindow, DebugWindowShowsTheStatementOfADataSetWithDebugOn) {
    static QString title, text;
    title.clear();
    text.clear();
    OnDebugWindowShown = [](QDialog& d) {
        title = d.windowTitle();
        if (auto* memo = d.findChild<QPlainTextEdit*>("meSQL")) text = memo->toPlainText();
        QTest::keyClick(&d, Qt::Key_Escape);
    };
    struct TReset {
        ~TReset() { OnDebugWindowShown = nullptr; }
    } reset;
    w->Qry.SetDebug(true);
    Type("select * from dept where deptno = :d");
    OnNextModal([](QWidget* d) {
        if (auto* p = qobject_cast<TFParam*>(d)) {
            p->VLE->item(0, 1)->setText("10");
            p->BtnOK->click();
        }
    });
    PressF5();
    w->Qry.SetDebug(false);
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(title, "Nodal Debug: Qry  [Execute]");
    EXPECT_TRUE(text.startsWith("select * from dept where deptno = :d")) << text.toStdString();
    EXPECT_TRUE(text.contains("10")) << text.toStdString();
}

TEST_F(WorksheetWindow, WaitCursorAroundServerWork) {
    TDAHooks& h = DAHooks();
    ASSERT_TRUE(h.StartWait && h.StopWait);
    h.StartWait();
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    h.StartWait(); // nested: still one wait cursor
    h.StopWait();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The 30 ms timer restores a cursor whose end of work was never announced.
    h.StartWait();
    QTest::qWait(120);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- The schema browser and the workbench in the worksheet ----

TEST_F(WorksheetWindow, F10ShowsTheSchemaBrowserAndATableClickRunsThroughTheEditor) {
    auto* panel = qobject_cast<TSchemaPanel*>(w->Panel4());
    ASSERT_TRUE(panel);
    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_F10);
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->CBBenutzer2->itemText(0), "*ALLE*");
    EXPECT_GT(panel->CBBenutzer2->count(), 1);
    panel->CBBenutzer2->setCurrentIndex(panel->CBBenutzer2->findText("SCOTT"));
    auto found = panel->LBTabellen2->findItems("SCOTT.EMP", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(panel->LBTabellen2->viewport(), Qt::LeftButton, {},
                      panel->LBTabellen2->visualItemRect(found[0]).center());
    // Formatted into the editor, executed as F5 does, recorded in the history.
    EXPECT_TRUE(w->Mmo->toPlainText().startsWith("SELECT\n"));
    EXPECT_TRUE(w->Mmo->toPlainText().contains("SCOTT.EMP"));
    EXPECT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.RecordCount(), 14);
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    if (!qEnvironmentVariableIsEmpty("VESTRA_SNAPSHOT_DIR"))
        w->grab().save(qEnvironmentVariable("VESTRA_SNAPSHOT_DIR") + "/worksheet-with-panel.png");
    // The worksheet's Refresh re-runs the panel's list query while it is open.
    EXPECT_EQ(&w->SchemaQuery(), &panel->QryUserTables2());
    // F10 again hides the panel.
    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_F10);
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(WorksheetWindow, QuickViewIIMinimisesTheWorksheetAndTheWorkbenchClosesBackToIt) {
    TDataModule1* dm = w->DataModule();
    ASSERT_TRUE(dm->FQuickView);
    dm->QuickViewII->trigger();
    TFQuickView* qv = dm->FQuickView.get();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qv));
    EXPECT_TRUE(w->isMinimized());
    EXPECT_EQ(qv->CBBenutzer3->itemText(0), "*ALLE*");
    // The workbench's query is set up in the data module as the workbench needs it.
    EXPECT_TRUE(dm->QuickViewQueries->QryQVExec.NonBlocking());
    EXPECT_TRUE(dm->QuickViewQueries->QryQVExec.AutoCommit());
    EXPECT_EQ(dm->QuickViewQueries->QryQVExec.UpdateObject(), &dm->QuickViewQueries->QryQVUpd);
    qv->CBBenutzer3->setCurrentIndex(qv->CBBenutzer3->findText("SCOTT"));
    auto found = qv->LBTabellen3->findItems("SCOTT.DEPT", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(qv->LBTabellen3->viewport(), Qt::LeftButton, {},
                      qv->LBTabellen3->visualItemRect(found[0]).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dm->QuickViewQueries->QryQVExec.Executing(); }, 10000));
    EXPECT_EQ(qv->StatusText(), "Anweisung verarbeitet");
    qv->Schliessen->trigger();
    EXPECT_FALSE(qv->isVisible());
    EXPECT_FALSE(w->isMinimized());
}

} // namespace

TEST_F(WorksheetWindow, StatementsAfterDmlRunWithoutErrorBoxes) {
    // After DML the query is closed; the next statements detach and attach the grid around a closed query.
    QString unexpected;
    OnNextModal([&](QWidget* box) {
        if (box) {
            unexpected = MessageText(box);
            box->close();
        }
    });
    Type("update emp set sal = sal where deptno = 10");
    PressF5();
    EXPECT_EQ(w->StatusText(), "3 Datens\u00E4tze verarbeitet!");
    Type("update emp set sal = sal where deptno = 20");
    PressF5();
    EXPECT_EQ(w->StatusText(), "5 Datens\u00E4tze verarbeitet!");
    QTest::qWait(300);
    Type("select * from dept");
    PressF5();
    EXPECT_EQ(w->StatusText(), "OK");
    EXPECT_EQ(w->Grid()->model()->rowCount(), 4);
    QTest::qWait(300);
    EXPECT_EQ(unexpected, QString());
}
