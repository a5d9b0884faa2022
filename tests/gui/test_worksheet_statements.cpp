// The statement under the cursor, scripts with their log, the server output and the execution plan, through
// the real worksheet window with real key presses against the emulator.
#include "app/gui/DataModule1.h"
#include "app/gui/StatementTools.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

using namespace guitest;

namespace {

template <int kSlowMs> class TStatementsRig : public TWorksheetRig<kSlowMs> {
protected:
    TStatementTools* tools() { return this->w->Tools(); }
    // Puts the text into the editor with the cursor at the start of the line that holds `at`.
    void Edit(const QString& text, const QString& at = QString()) {
        this->w->Mmo->setPlainText(text);
        QTextCursor c = this->w->Mmo->textCursor();
        c.setPosition(at.isEmpty() ? 0 : int(text.indexOf(at)));
        this->w->Mmo->setTextCursor(c);
        this->w->Mmo->setFocus();
        this->Activate();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(this->w->Mmo, Qt::Key(key), mods);
    }
    // Waits until a script (or a single statement) has ended.
    bool WaitScriptDone(int ms = 15000) {
        return QTest::qWaitFor([this] { return !tools()->ScriptRunning() && !this->w->Run()->Busy(); }, ms);
    }
    QStringList LogLines() { return tools()->ScriptLog->toPlainText().split('\n'); }
    std::vector<std::string> HistoryEntries() { return this->w->DataModule()->FHistory.Entries(); }
};

using WorksheetStatements = TStatementsRig<0>;
using WorksheetScriptStop = TStatementsRig<100>;

TEST_F(WorksheetStatements, F9RunsTheStatementUnderTheCursorAndCtrlShiftEnterDoesToo) {
    const QString text =
        "select 1 from dual;\n\nselect ename\n  from emp where empno = 7369;\n\nselect 3 from "
        "dual;";
    Edit(text, "  from emp");
    Key(Qt::Key_F9);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "SMITH");
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 1);
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    EXPECT_EQ(HistoryEntries(),
              std::vector<std::string>{"select ename\xA7\xA7  from emp where empno = 7369"});
    EXPECT_EQ(w->Mmo->toPlainText(), text); // the editor is left as it was

    // Ctrl+Shift+Enter in the third statement; nothing reaches the editor.
    Edit(text, "select 3");
    Key(Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 3);
    EXPECT_EQ(w->Mmo->toPlainText(), text);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");

    // A selection runs as it is (its ";" dropped).
    QTextCursor c = w->Mmo->textCursor();
    c.setPosition(0);
    c.setPosition(int(text.indexOf(';')) + 1, QTextCursor::KeepAnchor);
    w->Mmo->setTextCursor(c);
    Key(Qt::Key_F9);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 1);
    EXPECT_EQ(HistoryEntries().back(), "select 1 from dual");

    // F5 still takes the whole text as one statement: the server refuses the three together.
    Edit("select 7 from dual\n\nselect 8 from dual");
    QElapsedTimer since;
    since.start();
    auto box = CatchBox(since);
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box->text.isEmpty(); }, 5000));
    EXPECT_TRUE(box->text.contains("ORA-")) << box->text.toStdString();
    EXPECT_EQ(w->LblPos->text(), "3 / 3");
}

TEST_F(WorksheetStatements, AScriptRunsEveryStatementIntoTheLogAndLeavesTheLastQuerysRows) {
    ASSERT_FALSE(tools()->ScriptLogPane->isVisible());
    Edit("create table t26 (a number);\ninsert into t26 values (1);\ninsert into t26 values (2);\n"
         "select a from t26 order by a;\n\nupdate t26\n   set a = a + 10;\nbegin\n  null;\nend;\n/\n");
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(WaitScriptDone());
    EXPECT_TRUE(tools()->ScriptLogPane->isVisible());
    const QStringList log = LogLines();
    ASSERT_EQ(log.size(), 7) << tools()->ScriptLog->toPlainText().toStdString();
    EXPECT_TRUE(log[0].startsWith("[1/6] create table t26 (a number): 0 Datens\u00E4tze verarbeitet! ("))
        << log[0].toStdString();
    EXPECT_TRUE(log[1].startsWith("[2/6] insert into t26 values (1): 1 Datens\u00E4tze verarbeitet!"));
    EXPECT_TRUE(log[3].startsWith("[4/6] select a from t26 order by a: OK ("));
    EXPECT_TRUE(log[4].startsWith("[5/6] update t26: 2 Datens\u00E4tze verarbeitet!"))
        << log[4].toStdString();
    EXPECT_TRUE(log[5].startsWith("[6/6] begin: "));
    EXPECT_TRUE(log[6].startsWith("Skript beendet: 6 Anweisungen, 0 Fehler (")) << log[6].toStdString();
    EXPECT_EQ(w->StatusText(), log[6]);
    // The grid keeps the query's rows, read before the update.
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 2);
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 1);
    // Every statement is in the history; C and R settle the inserts and the update.
    EXPECT_EQ(w->LblPos->text(), "6 / 6");
    EXPECT_EQ(HistoryEntries()[4], "update t26\xA7\xA7   set a = a + 10");
    EXPECT_TRUE(w->BtnR->isEnabled());
    EXPECT_TRUE(tools()->RunScript->isEnabled());
}

TEST_F(WorksheetStatements, AnErrorStopsTheScriptUnlessBeiFehlerFortfahrenIsTicked) {
    Edit("select 1 from dual;\nselect * from nosuchtable;\nselect 3 from dual;");
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(WaitScriptDone());
    QStringList log = LogLines();
    ASSERT_EQ(log.size(), 3) << tools()->ScriptLog->toPlainText().toStdString();
    EXPECT_TRUE(log[1].startsWith("[2/3] select * from nosuchtable: Fehler: ORA-00942"))
        << log[1].toStdString();
    EXPECT_EQ(log[2], "Skript nach einem Fehler beendet: 2 von 3 Anweisungen ausgef\u00FChrt");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // the log tells, no box
    // The failed query took the first one's place, as a failed F5 does: the grid is empty.
    EXPECT_FALSE(w->Qry.Active());
    EXPECT_EQ(w->LblPos->text(), "1 / 1");

    QTest::mouseClick(tools()->ContinueBox, Qt::LeftButton);
    ASSERT_TRUE(tools()->ContinueOnError->isChecked());
    Edit(w->Mmo->toPlainText());
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(WaitScriptDone());
    log = LogLines();
    ASSERT_EQ(log.size(), 4) << tools()->ScriptLog->toPlainText().toStdString();
    EXPECT_TRUE(log[1].contains("ORA-00942"));
    EXPECT_TRUE(log[2].startsWith("[3/3] select 3 from dual: OK"));
    EXPECT_TRUE(log[3].startsWith("Skript beendet: 3 Anweisungen, 1 Fehler (")) << log[3].toStdString();
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 3);
    EXPECT_EQ(w->LblPos->text(), "3 / 3");
}

TEST_F(WorksheetScriptStop, StopDuringAScriptBreaksTheStatementAndRunsNoFurther) {
    Edit("select id, name from bench order by id;\nselect 2 from dual;");
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(tools()->ScriptRunning());
    ASSERT_TRUE(WaitFetching());
    EXPECT_FALSE(tools()->RunScript->isEnabled());
    EXPECT_FALSE(tools()->RunStatement->isEnabled());
    w->Run()->BtnStop->click();
    ASSERT_TRUE(WaitScriptDone(5000));
    const QStringList log = LogLines();
    ASSERT_EQ(log.size(), 2) << tools()->ScriptLog->toPlainText().toStdString();
    EXPECT_TRUE(log[0].contains("ORA-01013")) << log[0].toStdString();
    EXPECT_EQ(log[1], "Skript abgebrochen: 1 von 2 Anweisungen ausgef\u00FChrt");
    EXPECT_EQ(w->LblPos->text(), "0 / 0");
    EXPECT_TRUE(tools()->RunScript->isEnabled());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WorksheetStatements, ServerOutputShowsTheLinesOfEveryStatementInOrder) {
    auto* button = qobject_cast<QToolButton*>(w->ToolBar1->widgetForAction(tools()->ServerOutput));
    ASSERT_TRUE(button);
    EXPECT_EQ(tools()->ResultTabs->count(), 1);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(tools()->ServerOutput->isChecked());
    ASSERT_EQ(tools()->ResultTabs->count(), 2);
    EXPECT_EQ(tools()->ResultTabs->tabText(1), "Serverausgabe");

    Edit("begin\n  dbms_output.put_line('eins');\n  dbms_output.put('zw');\n  "
         "dbms_output.put_line('ei');\nend;");
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(tools()->OutputText->toPlainText(), "eins\nzwei");
    EXPECT_EQ(tools()->ResultTabs->currentWidget(), tools()->OutputText); // no rows: the output shows
    // F9 and a script append theirs.
    Edit("begin dbms_output.put_line('drei'); end;\n/\n\nselect 1 from dual");
    Key(Qt::Key_F9);
    ASSERT_TRUE(WaitIdle());
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(WaitScriptDone());
    EXPECT_EQ(tools()->OutputText->toPlainText(), "eins\nzwei\ndrei\ndrei");

    // Off: the tab goes and the server keeps nothing for it.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(tools()->ResultTabs->count(), 1);
    Edit("begin dbms_output.put_line('vier'); end;");
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(tools()->OutputText->toPlainText(), "eins\nzwei\ndrei\ndrei");
}

TEST_F(WorksheetStatements, CtrlShiftEShowsThePlanOfAJoinInItsOwnTab) {
    Edit("select 1 from dual;\n\nselect e.ename, d.dname\n  from emp e join dept d on d.deptno = e.deptno\n"
         " where e.sal > :minsal;",
         "  from emp e");
    Key(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(tools()->ResultTabs->count(), 2);
    EXPECT_EQ(tools()->ResultTabs->tabText(1), QString("Ausf\u00FChrungsplan"));
    EXPECT_EQ(tools()->ResultTabs->currentWidget(), tools()->PlanText);
    const QString plan = tools()->PlanText->toPlainText();
    EXPECT_TRUE(plan.contains("SELECT STATEMENT")) << plan.toStdString();
    EXPECT_TRUE(plan.contains("EMP")) << plan.toStdString();
    EXPECT_TRUE(plan.contains("DEPT")) << plan.toStdString();
    // A plan runs nothing: no history entry, no parameter dialog, the grid as it was.
    EXPECT_EQ(w->LblPos->text(), "0 / 0");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Ctrl+E is still the export.
    EXPECT_EQ(w->DataModule()->Export->shortcut(), QKeySequence("Ctrl+E"));

    // The window with all of it, for a person to look at.
    QTest::mouseClick(qobject_cast<QToolButton*>(w->ToolBar1->widgetForAction(tools()->ServerOutput)),
                      Qt::LeftButton);
    Edit("select deptno, dname from dept;\nbegin dbms_output.put_line('Hallo aus DBMS_OUTPUT'); end;\n/\n"
         "select * from nosuchtable;");
    tools()->ContinueBox->setChecked(true);
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(WaitScriptDone());
    tools()->ResultTabs->setCurrentWidget(tools()->PlanText);
    vtest::Snapshot(*w, "worksheet-script-plan");
    tools()->ResultTabs->setCurrentWidget(tools()->OutputText);
    vtest::Snapshot(*w, "worksheet-script-output");
    tools()->ResultTabs->setCurrentIndex(0);
    vtest::Snapshot(*w, "worksheet-script-grid");
}

} // namespace
