// The schema browser panel and the Ziziv Ovod IZ workbench as real windows on the offscreen platform,
// against vestra-emu: clicks on the lists, the buttons and the tabs, the key list, editing through the
// navigator, and the modal boxes answered from a queued call.
#include "app/History.h"
#include "app/SchemaStatements.h"
#include "app/SelectParser.h"
#include "app/WorkbenchWriter.h"
#include "app/Worksheet.h"
#include "app/gui/FQuickView.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/SchemaText.h"
#include "connect/QtPoster.h"
#include "dataset/DAHooks.h"
#include "grid/DBNavigator.h"
#include "grid/QxGrid.h"
#include "oranet/NetHandles.h"
#include "tests/oracle/OraE2e.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace oratest;
using schemagui::Q;
using schemagui::S;

namespace {

// Completions of background runs come back through the event loop, as in the program.
class TTestPoster : public TQtPoster {
public:
    std::vector<std::string> errors;

protected:
    void Run(const std::function<void()>& task) override {
        try {
            task();
        } catch (std::exception& e) {
            errors.push_back(e.what());
            ShowException(e);
        }
    }
};
TTestPoster* gPoster = nullptr;

// With VESTRA_SNAPSHOT_DIR set, windows are saved there as PNG for a look at them.
void Snapshot(QWidget* w, const char* name) {
    QString dir = qEnvironmentVariable("VESTRA_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png"));
}

template <class F> bool WaitFor(F cond, int ms = 10000) {
    for (int waited = 0; !cond() && waited < ms; waited += 10)
        QTest::qWait(10);
    return cond();
}

// Answers the next modal box from a queued call: records its text and presses the button.
struct TModalAnswer {
    QString text;
    QString name;
    bool seen = false;
    QPointer<QTimer> armed;
    ~TModalAnswer() { Disarm(); }
    // Stops waiting for a box that did not come.
    void Disarm() {
        if (armed) armed->deleteLater();
    }
    void Arm(QMessageBox::StandardButton button) {
        seen = false;
        auto* timer = new QTimer(qApp);
        armed = timer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            timer->stop();
            timer->deleteLater();
            text = box->text();
            name = box->objectName();
            seen = true;
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->reject();
        });
        timer->start();
    }
};

struct TGuiRig : TRig {
    TGuiRig() {}
    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> out;
        TOraQuery q(s.get());
        q.SetSQL(sql);
        q.Open();
        while (!q.Eof()) {
            out.push_back(q.Fields(0)->AsString());
            q.Next();
        }
        return out;
    }
};

std::vector<std::string> Items(QComboBox* box) {
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i)
        out.push_back(S(box->itemText(i)));
    return out;
}

std::vector<std::string> Items(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(S(list->item(i)->text()));
    return out;
}

void ClickItem(QListWidget* list, const QString& text) {
    auto found = list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    list->scrollToItem(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
}

void ClickTab(QTabBar* bar, int tab) {
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
}

void ChooseOwner(QComboBox* box, const QString& owner) {
    int i = box->findText(owner);
    ASSERT_GE(i, 0);
    box->setCurrentIndex(i);
}

// The worksheet around the panel: its editor, its query, its list query and its Execute (format, execute,
// history).
struct TWorksheetHost {
    TOraQuery qry;
    TOraQuery list;
    QPlainTextEdit editor;
    THistory history;
    std::string status;
    explicit TWorksheetHost(TOraSession& s) : qry(&s), list(&s) {
        list.ReadOnly = true;
        list.SetAutoCommit(false);
    }
    void Attach(TSchemaPanel& panel) {
        panel.ExecuteInEditor = [this](const std::string& sql1252) { ExecuteInEditor(sql1252); };
    }
    void ExecuteInEditor(const std::string& sql1252) {
        TSelectParser parser;
        std::string text = parser.FormatStatement(sql1252);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        editor.setPlainText(Q(text));
        status = "...";
        qry.SetSQL(text);
        qry.Execute();
        status = StatusTextFor(qry.RowsAffected());
        history.Record(text);
    }
};

// ---- The schema browser panel ----

TEST(SchemaPanelGui, ShowingListsAllOwnersThenEveryTableAndAnOwnerNarrowsTheList) {
    TGuiRig r;
    TWorksheetHost host(*r.s);
    TOraQuery& qry = host.qry;
    TSchemaPanel panel(host.list, qry);
    host.Attach(panel);
    panel.resize(220, 500);
    EXPECT_FALSE(panel.isVisible());
    panel.Toggle();
    ASSERT_TRUE(panel.isVisible());
    std::vector<std::string> owners{"*ALLE*"};
    for (auto& o : r.Column("select distinct OWNER from SYS.DBA_TABLES"))
        owners.push_back(o);
    EXPECT_GT(owners.size(), 2u);
    EXPECT_EQ(Items(panel.CBBenutzer2), owners);
    EXPECT_EQ(panel.CBBenutzer2->currentIndex(), 0);
    EXPECT_EQ(Items(panel.LBTabellen2),
              r.Column("select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES"));

    ChooseOwner(panel.CBBenutzer2, QStringLiteral("SCOTT"));
    std::vector<std::string> scott = Items(panel.LBTabellen2);
    ASSERT_FALSE(scott.empty());
    for (auto& t : scott)
        EXPECT_EQ(t.rfind("SCOTT.", 0), 0u) << t;
    EXPECT_NE(std::find(scott.begin(), scott.end(), "SCOTT.EMP"), scott.end());

    // Hiding and showing again starts at "*ALLE*".
    panel.Button2->click();
    EXPECT_FALSE(panel.isVisible());
    panel.Toggle();
    EXPECT_EQ(panel.CBBenutzer2->currentText(), QStringLiteral("*ALLE*"));
    EXPECT_EQ(Items(panel.LBTabellen2),
              r.Column("select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES"));
    EXPECT_GT(panel.LBTabellen2->count(), int(scott.size()));
}

TEST(SchemaPanelGui, AClickOnATableFormatsExecutesAndRecordsTheStatement) {
    TGuiRig r;
    TWorksheetHost host(*r.s);
    TOraQuery& qry = host.qry;
    TSchemaPanel panel(host.list, qry);
    host.Attach(panel);
    panel.resize(220, 500);
    panel.Toggle();
    ChooseOwner(panel.CBBenutzer2, QStringLiteral("SCOTT"));
    ClickItem(panel.LBTabellen2, QStringLiteral("SCOTT.EMP"));
    TSelectParser parser;
    std::string formatted = parser.FormatStatement("Select * from SCOTT.EMP");
    // The editor holds the formatter's layout (its lines without the last line break).
    QString shown = host.editor.toPlainText();
    shown.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    EXPECT_EQ(S(shown) + "\r\n", formatted);
    EXPECT_NE(host.editor.toPlainText().indexOf(QStringLiteral("SCOTT.EMP")), -1);
    if (!qEnvironmentVariableIsEmpty("VESTRA_SNAPSHOT_DIR")) {
        QWidget sheet;
        auto* h = new QHBoxLayout(&sheet);
        host.editor.setParent(&sheet);
        h->addWidget(&host.editor, 1);
        panel.setParent(&sheet);
        h->addWidget(&panel);
        panel.show();
        panel.LBTabellen2->setFocus();
        sheet.resize(900, 500);
        sheet.show();
        QTest::qWait(50);
        Snapshot(&sheet, "worksheet-panel");
        host.editor.setParent(nullptr);
        panel.setParent(nullptr);
    }
    EXPECT_TRUE(qry.Active());
    EXPECT_EQ(qry.RecordCount(), 14);
    EXPECT_EQ(host.status, "OK");
    EXPECT_EQ(host.history.Count(), 1);
}

TEST(SchemaPanelGui, ChoosingATableWithTheKeyboardRunsItAsAClickDoes) {
    TGuiRig r;
    TWorksheetHost host(*r.s);
    TSchemaPanel panel(host.list, host.qry);
    host.Attach(panel);
    panel.resize(220, 500);
    panel.show();
    panel.hide();
    panel.Toggle();
    ChooseOwner(panel.CBBenutzer2, QStringLiteral("SCOTT"));
    ClickItem(panel.LBTabellen2, QStringLiteral("SCOTT.DEPT"));
    ASSERT_EQ(host.history.Count(), 1);
    int row = panel.LBTabellen2->currentRow();
    ASSERT_LT(row + 1, panel.LBTabellen2->count());
    std::string next = S(panel.LBTabellen2->item(row + 1)->text());
    panel.LBTabellen2->setFocus();
    QTest::keyClick(panel.LBTabellen2, Qt::Key_Down);
    EXPECT_EQ(host.history.Count(), 2);
    EXPECT_NE(host.editor.toPlainText().indexOf(Q(next)), -1) << host.editor.toPlainText().toStdString();
    EXPECT_NE(host.qry.SQL().find(next), std::string::npos) << host.qry.SQL();
    // A click on the item already chosen runs it again; a click on another runs that one once.
    ClickItem(panel.LBTabellen2, Q(next));
    EXPECT_EQ(host.history.Count(), 3);
    ClickItem(panel.LBTabellen2, QStringLiteral("SCOTT.DEPT"));
    EXPECT_EQ(host.history.Count(), 4);
    EXPECT_NE(host.qry.SQL().find("SCOTT.DEPT"), std::string::npos);
}

TEST(SchemaPanelGui, TheButtonsRunTheirStatementsDirectlyAndNeedASelectedTable) {
    TGuiRig r;
    TWorksheetHost host(*r.s);
    TOraQuery& qry = host.qry;
    host.editor.setPlainText(QStringLiteral("select 1 from dual"));
    TSchemaPanel panel(host.list, qry);
    host.Attach(panel);
    panel.resize(220, 500);
    panel.show();
    panel.hide();
    panel.Toggle();
    ChooseOwner(panel.CBBenutzer2, QStringLiteral("SCOTT"));
    // Disabled until the table list has had the focus.
    EXPECT_FALSE(panel.BtnZusAnz->isEnabled());
    panel.activateWindow();
    panel.LBTabellen2->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(WaitFor([&] { return panel.BtnZusAnz->isEnabled(); }));
    EXPECT_TRUE(panel.BtnZusTrig->isEnabled());

    // No selected item: the list error, and nothing runs.
    panel.LBTabellen2->setCurrentRow(-1);
    qry.SetSQL("SELECT 1 FROM DUAL");
    TModalAnswer answer;
    answer.Arm(QMessageBox::Ok);
    panel.BtnZusAnz->click();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(S(answer.text), "Listenindex \xFC"
                              "berschreitet das Maximum (-1)");
    EXPECT_EQ(qry.SQL(), "SELECT 1 FROM DUAL");
    EXPECT_FALSE(qry.Active());

    // "Anz" on SCOTT.EMP counts, leaving editor and history alone.
    auto found = panel.LBTabellen2->findItems(QStringLiteral("SCOTT.EMP"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    // (Choosing the item runs it in the editor, as a click does.)
    panel.LBTabellen2->setCurrentItem(found[0]);
    const QString editorText = host.editor.toPlainText();
    const int historyCount = host.history.Count();
    panel.BtnZusAnz->click();
    EXPECT_EQ(qry.SQL(), " select  COUNT(*) as Anzahl from SCOTT.EMP");
    ASSERT_TRUE(qry.Active());
    EXPECT_EQ(qry.FieldByName("ANZAHL")->AsInteger(), 14);
    EXPECT_EQ(host.editor.toPlainText(), editorText);
    EXPECT_EQ(host.history.Count(), historyCount);
    // "B" describes the table.
    panel.BtnZusDesc->click();
    ASSERT_TRUE(qry.Active());
    EXPECT_EQ(qry.RecordCount(), 8);
    EXPECT_EQ(qry.Fields(0)->FieldName(), "SPALTE");
    EXPECT_EQ(panel.BtnZusAnz->toolTip(), QStringLiteral("Count (*)"));
}

// ---- The workbench ----

struct TWorkbench {
    TGuiRig& r;
    TQuickViewQueries q;
    TFQuickView w;
    explicit TWorkbench(TGuiRig& rig) : r(rig), q(*rig.s), w(q) {
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    ~TWorkbench() {
        if (q.QryQVExec.State() == dsEdit || q.QryQVExec.State() == dsInsert) q.QryQVExec.Cancel();
        WaitFor([&] { return !q.QryQVExec.Executing(); });
        w.OnClosed = nullptr;
    }
    void Choose(const char* owner, const char* item) {
        ChooseOwner(w.CBBenutzer3, QString::fromLatin1(owner));
        ClickItem(w.LBTabellen3, QString::fromLatin1(item));
        Settle();
    }
    // Waits for the background run and its completion.
    void Settle() {
        ASSERT_TRUE(WaitFor([&] { return !q.QryQVExec.Executing(); }));
        QTest::qWait(20);
    }
};

TEST(QuickViewGui, ChoosingScottDeptShowsItsRowsAndTheGeneratedStatements) {
    TGuiRig r;
    TWorkbench b(r);
    EXPECT_EQ(b.w.CBBenutzer3->itemText(0), QStringLiteral("*ALLE*"));
    EXPECT_FALSE(b.w.TabControl1->isEnabled());
    EXPECT_EQ(b.w.TabControl1->count(), 8);
    EXPECT_EQ(b.w.TabControl1->tabText(6), QStringLiteral("Tabelle \u00E4ndern"));
    b.Choose("SCOTT", "SCOTT.DEPT");
    EXPECT_EQ(S(b.w.StatusText()), "Anweisung verarbeitet");
    EXPECT_TRUE(b.w.TabControl1->isEnabled());
    EXPECT_EQ(b.w.TabControl1->currentIndex(), 0);
    EXPECT_EQ(b.q.QryQVExec.RecordCount(), 4);
    EXPECT_TRUE(b.q.QryQVExec.ReadOnly);
    EXPECT_EQ(b.q.QryQVUpd.ModifySQL,
              "UPDATE SCOTT.DEPT SET \r   DEPTNO = :DEPTNO,\r   DNAME = :DNAME,\r   LOC = :LOC\r\r WHERE \r"
              "   DEPTNO = :OLD_DEPTNO");
    EXPECT_EQ(b.q.QryQVUpd.InsertSQL,
              "INSERT INTO SCOTT.DEPT (\rDEPTNO, DNAME, LOC )\r VALUES ( \r:DEPTNO, :DNAME, :LOC)");
    EXPECT_EQ(b.q.QryQVUpd.DeleteSQL, "DELETE FROM SCOTT.DEPT\rWHERE\r   DEPTNO = :DEPTNO");
    EXPECT_EQ(b.q.QryQVUpd.RefreshSQL, "SELECT * FROM SCOTT.DEPT\rWHERE\r   DEPTNO = :DEPTNO");
    ASSERT_EQ(Items(b.w.CheckListBox1), (std::vector<std::string>{"DEPTNO", "DNAME", "LOC"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(b.w.CheckListBox1->item(i)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(b.w.EditBar->isVisible());
    EXPECT_FALSE(b.w.StatementPanel->isVisible());

    // "SQL Anzeige" shows the statement and what writes the rows back.
    ClickTab(b.w.TabControl1, schema::tabSQL);
    b.Settle();
    EXPECT_TRUE(b.w.QVMmo->isVisible());
    QString shown = b.w.QVMmo->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Select * from SCOTT.DEPT")));
    EXPECT_NE(shown.indexOf(QStringLiteral("DELETE FROM SCOTT.DEPT")), -1);
    Snapshot(&b.w, "workbench-sql");
    // The dictionary tabs run the browser's statements.
    ClickTab(b.w.TabControl1, schema::tabAnzahl);
    b.Settle();
    EXPECT_EQ(b.q.QryQVExec.SQL(), " select  COUNT(*) as Anzahl from SCOTT.DEPT");
    EXPECT_EQ(b.q.QryQVExec.Fields(0)->AsInteger(), 4);
    EXPECT_FALSE(b.w.StatementPanel->isVisible());
}

TEST(QuickViewGui, ChoosingATableWithTheKeyboardRebuildsTheStatementsForTheTableShown) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    int row = b.w.LBTabellen3->currentRow();
    ASSERT_LT(row + 1, b.w.LBTabellen3->count());
    std::string next = S(b.w.LBTabellen3->item(row + 1)->text());
    b.w.LBTabellen3->setFocus();
    QTest::keyClick(b.w.LBTabellen3, Qt::Key_Down);
    b.Settle();
    ASSERT_EQ(S(b.w.LBTabellen3->currentItem()->text()), next);
    // What "Tabelle ändern" edits and what a post writes belong to the same table.
    EXPECT_EQ(b.w.Statements().Table(), next);
    EXPECT_EQ(b.q.QryQVUpd.ModifySQL.rfind("UPDATE " + next + " SET ", 0), 0u) << b.q.QryQVUpd.ModifySQL;
    EXPECT_EQ(b.q.QryQVUpd.DeleteSQL.rfind("DELETE FROM " + next, 0), 0u) << b.q.QryQVUpd.DeleteSQL;
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    EXPECT_EQ(b.q.QryQVExec.SQL(), "Select * from " + next);
    std::vector<std::string> fields;
    for (int i = 0; i < b.q.QryQVExec.FieldCount(); ++i)
        fields.push_back(b.q.QryQVExec.Fields(i)->FieldName());
    EXPECT_EQ(Items(b.w.CheckListBox1), fields);
    // Up goes back to the first table.
    QTest::keyClick(b.w.LBTabellen3, Qt::Key_Up);
    b.Settle();
    EXPECT_EQ(b.w.Statements().Table(), "SCOTT.DEPT");
    EXPECT_EQ(b.w.TabControl1->currentIndex(), schema::tabInhalt);
}

TEST(QuickViewGui, TickingKeyColumnsChangesTheKeyClausesAndShowsTheDeleteStatement) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    EXPECT_TRUE(b.w.EditBar->isVisible());
    EXPECT_TRUE(b.w.KeyPanel->isVisible());
    EXPECT_FALSE(b.q.QryQVExec.ReadOnly);
    TModalAnswer answer;
    answer.Arm(QMessageBox::Ok);
    QListWidgetItem* dname = b.w.CheckListBox1->item(1);
    QRect rect = b.w.CheckListBox1->visualItemRect(dname);
    // The check box sits at the item's left edge.
    QTest::mouseClick(b.w.CheckListBox1->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() + 10, rect.center().y()));
    if (dname->checkState() != Qt::Checked) dname->setCheckState(Qt::Checked);
    ASSERT_TRUE(WaitFor([&] { return answer.seen; }, 3000));
    EXPECT_EQ(S(answer.text), "DELETE FROM SCOTT.DEPT\nWHERE\n   DNAME = :DNAME \n");
    EXPECT_EQ(b.q.QryQVUpd.DeleteSQL, "DELETE FROM SCOTT.DEPT\rWHERE\r   DNAME = :DNAME \r");
    EXPECT_EQ(b.q.QryQVUpd.ModifySQL.substr(b.q.QryQVUpd.ModifySQL.find(" WHERE \r")),
              " WHERE \rDNAME = :OLD_DNAME \r");
    // Unticking the only ticked item keeps the statements.
    std::string del = b.q.QryQVUpd.DeleteSQL;
    dname->setCheckState(Qt::Unchecked);
    EXPECT_EQ(b.q.QryQVUpd.DeleteSQL, del);
    b.w.resize(1100, 680);
    QTest::qWait(50);
    Snapshot(&b.w, "workbench-aendern");
    // Back on "Inhalt" the query is read-only again.
    ClickTab(b.w.TabControl1, schema::tabInhalt);
    b.Settle();
    EXPECT_TRUE(b.q.QryQVExec.ReadOnly);
    EXPECT_FALSE(b.q.QryQVExec.CanModify());
    EXPECT_FALSE(b.w.EditBar->isVisible());
}

TEST(QuickViewGui, EditedInsertedAndDeletedRowsAreCommittedAndSeenByASecondSession) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    auto other = MakeSession(r.emu);
    other->Connect();
    TOraQuery& q = b.q.QryQVExec;
    ASSERT_TRUE(q.CanModify());
    q.First();
    ASSERT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
    // A cell edited in the grid: F2 opens the editor on the current cell, Enter takes the value (the view
    // commits it from a queued call).
    QAbstractItemModel* model = b.w.DBGrid1->model();
    int locColumn = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == QStringLiteral("LOC"))
            locColumn = c;
    ASSERT_GE(locColumn, 0);
    b.w.DBGrid1->setFocus();
    b.w.DBGrid1->setCurrentIndex(model->index(0, locColumn));
    QTest::keyClick(b.w.DBGrid1, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, b.w.DBGrid1);
    ASSERT_EQ(editor->parentWidget(), b.w.DBGrid1->viewport());
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("BONN"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return q.State() == dsEdit; }, 3000));
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "BONN");
    b.w.DBNavigator1->Button(nbPost)->click();
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10", other.get()), "BONN");

    b.w.DBNavigator1->Button(nbInsert)->click();
    ASSERT_EQ(q.State(), dsInsert);
    q.FieldByName("DEPTNO")->SetAsInteger(50);
    q.FieldByName("DNAME")->SetAsString("EDV");
    q.FieldByName("LOC")->SetAsString("KOELN");
    b.w.DBNavigator1->Button(nbPost)->click();
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT DNAME || '/' || LOC FROM DEPT WHERE DEPTNO = 50", other.get()), "EDV/KOELN");

    ASSERT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 50);
    TModalAnswer confirm;
    confirm.Arm(QMessageBox::Yes);
    b.w.DBNavigator1->Button(nbDelete)->click();
    EXPECT_TRUE(confirm.seen);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM DEPT WHERE DEPTNO = 50", other.get()), "0");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM DEPT", other.get()), "4");
}

TEST(QuickViewGui, AFailedWriteKeepsTheUsersValuesAndChangesNothing) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    b.w.DBNavigator1->Button(nbInsert)->click();
    q.FieldByName("DEPTNO")->SetAsInteger(10); // taken
    q.FieldByName("DNAME")->SetAsString("DOPPELT");
    TModalAnswer answer;
    answer.Arm(QMessageBox::Ok);
    b.w.DBNavigator1->Button(nbPost)->click();
    EXPECT_TRUE(answer.seen);
    EXPECT_NE(answer.text.indexOf(QStringLiteral("ORA-00001")), -1) << answer.text.toStdString();
    EXPECT_EQ(q.State(), dsInsert);
    EXPECT_EQ(q.FieldByName("DNAME")->AsString(), "DOPPELT");
    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM DEPT WHERE DNAME = 'DOPPELT'", other.get()), "0");
    q.Cancel();
}

// Posts a row through the navigator; an error box that comes is answered and its text returned ("" when none
// came).
QString PostAndCatch(TWorkbench& b) {
    TModalAnswer answer;
    answer.Arm(QMessageBox::Ok);
    b.w.DBNavigator1->Button(nbPost)->click();
    answer.Disarm();
    return answer.seen ? answer.text : QString();
}

TEST(QuickViewGui, AnInsertLeavingTheKeyEmptyOrRepeatingItIsWrittenAndNotRolledBack) {
    TGuiRig r;
    r.Exec("CREATE TABLE SCOTT.WBT (A NUMBER, B VARCHAR2(10))");
    r.Exec("INSERT INTO SCOTT.WBT VALUES (1, 'x')");
    r.Exec("INSERT INTO SCOTT.WBT VALUES (1, 'y')");
    r.Exec("COMMIT");
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.WBT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    auto other = MakeSession(r.emu);
    other->Connect();
    // The first column (the default key) left empty.
    b.w.DBNavigator1->Button(nbInsert)->click();
    ASSERT_EQ(q.State(), dsInsert);
    q.FieldByName("B")->SetAsString("leer");
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBT WHERE B = 'leer' AND A IS NULL", other.get()), "1");
    // A key value two rows hold already.
    b.w.DBNavigator1->Button(nbInsert)->click();
    q.FieldByName("A")->SetAsInteger(1);
    q.FieldByName("B")->SetAsString("drei");
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBT WHERE A = 1", other.get()), "3");
    // A new key of its own: written and read back.
    b.w.DBNavigator1->Button(nbInsert)->click();
    q.FieldByName("A")->SetAsInteger(7);
    q.FieldByName("B")->SetAsString("sieben");
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(r.One("SELECT B FROM SCOTT.WBT WHERE A = 7", other.get()), "sieben");
    EXPECT_EQ(q.FieldByName("B")->AsString(), "sieben");
    // Editing a row whose key repeats starts without the refresh failing; its post is refused because the
    // key chooses two rows, and nothing is written.
    ASSERT_TRUE(q.Locate("B", Variant(std::string("x")), 0));
    q.Edit();
    ASSERT_EQ(q.State(), dsEdit);
    q.FieldByName("B")->SetAsString("neu");
    QString error = PostAndCatch(b);
    EXPECT_EQ(S(error), kWorkbenchRowNotUnique);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBT WHERE B = 'neu'", other.get()), "0");
    q.Cancel();
}

TEST(QuickViewGui, ARowWithACharKeyIsFoundWrittenAndDeleted) {
    TGuiRig r;
    r.Exec("CREATE TABLE SCOTT.WBC (K CHAR(5), V VARCHAR2(10))");
    r.Exec("INSERT INTO SCOTT.WBC VALUES ('AB', 'eins')");
    r.Exec("COMMIT");
    auto other = MakeSession(r.emu);
    other->Connect();
    // The server compares CHAR values blank-padded, and a varying value with every blank.
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBC WHERE K = 'AB'", other.get()), "1");
    auto countWith = [&](const std::string& key) {
        TOraQuery c(other.get());
        c.SetSQL("SELECT COUNT(*) FROM SCOTT.WBC WHERE K = :K");
        c.Params().ParamByName("K")->SetValue(Variant(key));
        c.Params().ParamByName("K")->DataType = ftString;
        c.Open();
        return c.Fields(0)->AsInteger();
    };
    EXPECT_EQ(countWith("AB"), 0);
    EXPECT_EQ(countWith("AB   "), 1);
    EXPECT_EQ(r.One("SELECT LENGTH(K) FROM SCOTT.WBC", other.get()), "5");
    // A fixed-length character value finds it, whether it goes in only or in and out.
    for (TParamType direction : {ptInput, ptInputOutput}) {
        TOraQuery c(r.s.get());
        c.SetSQL("SELECT * FROM SCOTT.WBC\rWHERE\r   K = :K");
        TParam* p = c.Params().ParamByName("K");
        p->SetValue(Variant(std::string("AB")));
        p->DataType = ftFixedChar;
        p->ParamType = direction;
        c.Open();
        EXPECT_EQ(c.RecordCount(), 1) << "direction " << int(direction);
    }

    // The workbench reads the key trimmed and binds it as CHAR: the row is found, written and deleted.
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.WBC");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    q.First();
    ASSERT_EQ(q.FieldByName("K")->AsString(), "AB"); // read trimmed
    q.Edit();
    ASSERT_EQ(q.State(), dsEdit);
    q.FieldByName("V")->SetAsString("zwei");
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT V FROM SCOTT.WBC WHERE K = 'AB'", other.get()), "zwei");
    TModalAnswer confirm;
    confirm.Arm(QMessageBox::Yes);
    b.w.DBNavigator1->Button(nbDelete)->click();
    EXPECT_TRUE(confirm.seen);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBC", other.get()), "0");
}

// Over the current protocol the server's text is Unicode: a row whose values the workbench can show only with
// '?' for characters Windows-1252 lacks is never written back, so the server keeps its characters.
TEST(QuickViewGui, ARowHoldingCharactersWindows1252LacksIsNotWrittenBack) {
    struct TOffered {
        bool was = oranet::OfferCurrentProtocol();
        TOffered() { oranet::SetOfferCurrentProtocol(true); }
        ~TOffered() { oranet::SetOfferCurrentProtocol(was); }
    } offered;
    TGuiRig r;
    r.Exec("CREATE TABLE SCOTT.WBU (K NUMBER PRIMARY KEY, V VARCHAR2(20), W VARCHAR2(10))");
    r.Exec("INSERT INTO SCOTT.WBU VALUES (1, UNISTR('Gr\\00FC\\00DFe \\03A9'), 'a')");
    r.Exec("INSERT INTO SCOTT.WBU VALUES (2, 'schlicht', 'b')");
    r.Exec("COMMIT");
    auto other = MakeSession(r.emu);
    other->Connect();
    TWorkbench b(r);
    b.w.SetWorksheetPending([] { return false; });
    b.Choose("SCOTT", "SCOTT.WBU");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    ASSERT_TRUE(q.Locate("K", Variant(int32_t(1)), 0));
    EXPECT_EQ(q.FieldByName("V")->AsString(), "Gr\xFC\xDF"
                                              "e ?"); // what 1252 holds stays, the omega shows '?'
    q.Edit();
    q.FieldByName("W")->SetAsString("neu");
    EXPECT_EQ(S(PostAndCatch(b)), kWorkbenchRowSubstituted);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("W")->AsString(), "neu");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.WBU WHERE K = 1 AND W = 'a' AND "
                    "V = UNISTR('Gr\\00FC\\00DFe \\03A9')",
                    other.get()),
              "1");
    q.Cancel();
    // A row of plain characters is written as before.
    ASSERT_TRUE(q.Locate("K", Variant(int32_t(2)), 0));
    q.Edit();
    q.FieldByName("W")->SetAsString("neu");
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(r.One("SELECT W FROM SCOTT.WBU WHERE K = 2", other.get()), "neu");
}

TEST(QuickViewGui, ARowChangedOrDeletedByAnotherSessionIsNotOverwritten) {
    TGuiRig r;
    TWorkbench b(r);
    b.w.SetWorksheetPending([] { return false; });
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    auto other = MakeSession(r.emu);
    other->Connect();
    // Changed meanwhile: nothing written, the user's value stays on screen.
    q.First();
    ASSERT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
    q.Edit();
    q.FieldByName("LOC")->SetAsString("MEINS");
    r.Exec("UPDATE SCOTT.DEPT SET LOC = 'DEREN' WHERE DEPTNO = 10", other.get());
    r.Exec("COMMIT", other.get());
    QString error = PostAndCatch(b);
    EXPECT_EQ(S(error), FormatMsg(kWorkbenchRowChanged, {"LOC"}));
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "MEINS");
    EXPECT_EQ(r.One("SELECT LOC FROM SCOTT.DEPT WHERE DEPTNO = 10", other.get()), "DEREN");
    q.Cancel();
    // Deleted meanwhile: neither an edit nor a delete writes anything.
    ASSERT_TRUE(q.Locate("DEPTNO", Variant(int32_t(40)), 0));
    q.Edit();
    q.FieldByName("LOC")->SetAsString("MEINS");
    r.Exec("DELETE FROM SCOTT.DEPT WHERE DEPTNO = 40", other.get());
    r.Exec("COMMIT", other.get());
    EXPECT_EQ(S(PostAndCatch(b)), kWorkbenchRowGone);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "MEINS");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM SCOTT.DEPT WHERE DEPTNO = 40", other.get()), "0");
    q.Cancel();
    // A row changed meanwhile is not deleted either.
    ASSERT_TRUE(q.Locate("DEPTNO", Variant(int32_t(30)), 0));
    r.Exec("UPDATE SCOTT.DEPT SET DNAME = 'VERKAUF' WHERE DEPTNO = 30", other.get());
    r.Exec("COMMIT", other.get());
    TModalAnswer confirm;
    confirm.Arm(QMessageBox::Yes);
    // The confirmation comes first, then the error.
    TModalAnswer refused;
    QTimer chain;
    chain.setInterval(5);
    QObject::connect(&chain, &QTimer::timeout, [&] {
        if (!confirm.seen) return;
        chain.stop();
        refused.Arm(QMessageBox::Ok);
    });
    chain.start();
    b.w.DBNavigator1->Button(nbDelete)->click();
    EXPECT_TRUE(confirm.seen);
    EXPECT_TRUE(refused.seen);
    EXPECT_EQ(S(refused.text), FormatMsg(kWorkbenchRowChanged, {"DNAME"}));
    EXPECT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 30);
    EXPECT_EQ(r.One("SELECT DNAME FROM SCOTT.DEPT WHERE DEPTNO = 30", other.get()), "VERKAUF");
}

TEST(QuickViewGui, APostIsRefusedWhileTheWorksheetHoldsUnconfirmedChanges) {
    TGuiRig r;
    TWorkbench b(r);
    bool pending = false;
    b.w.SetWorksheetPending([&] { return pending; });
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    auto other = MakeSession(r.emu);
    other->Connect();
    // The worksheet updated a row on the same session and the user has not pressed C or R.
    r.Exec("UPDATE SCOTT.EMP SET SAL = 1 WHERE EMPNO = 7369");
    pending = true;
    q.First();
    q.Edit();
    q.FieldByName("LOC")->SetAsString("LINZ");
    EXPECT_EQ(S(PostAndCatch(b)), kWorkbenchWorksheetPending);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "LINZ");
    // R in the worksheet still undoes its update: nothing was committed.
    r.s->Rollback();
    pending = false;
    EXPECT_EQ(r.One("SELECT SAL FROM SCOTT.EMP WHERE EMPNO = 7369", other.get()), "800");
    EXPECT_EQ(r.One("SELECT LOC FROM SCOTT.DEPT WHERE DEPTNO = 10", other.get()), "NEW YORK");
    // Once the worksheet is settled, the same post goes through.
    EXPECT_EQ(PostAndCatch(b), QString());
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT LOC FROM SCOTT.DEPT WHERE DEPTNO = 10", other.get()), "LINZ");
}

TEST(QuickViewGui, AnUnpostedEditIsSettledBeforeTheTabChanges) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    q.First();
    q.Edit();
    q.FieldByName("LOC")->SetAsString("MAINZ");
    // Cancel: stay on the tab, still editing.
    TModalAnswer answer;
    answer.Arm(QMessageBox::Cancel);
    ClickTab(b.w.TabControl1, schema::tabInhalt);
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(answer.name, QStringLiteral("PostQuestionBox"));
    EXPECT_EQ(b.w.TabControl1->currentIndex(), schema::tabAendern);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "MAINZ");
    // Yes: the row is posted, then the tab changes.
    answer.Arm(QMessageBox::Yes);
    ClickTab(b.w.TabControl1, schema::tabInhalt);
    b.Settle();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(b.w.TabControl1->currentIndex(), schema::tabInhalt);
    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10", other.get()), "MAINZ");
    // No: the edit is dropped.
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    q.First();
    q.Edit();
    q.FieldByName("LOC")->SetAsString("TRIER");
    answer.Arm(QMessageBox::No);
    ClickTab(b.w.TabControl1, schema::tabSQL);
    b.Settle();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(b.w.TabControl1->currentIndex(), schema::tabSQL);
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10", other.get()), "MAINZ");
}

TEST(QuickViewGui, ATabChangeWithoutASelectedTableShowsTheListErrorAndRunsNothing) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    // Another owner: the table list has no selection then.
    b.w.CBBenutzer3->setCurrentIndex(b.w.CBBenutzer3->currentIndex() == 1 ? 2 : 1);
    ASSERT_EQ(b.w.LBTabellen3->currentItem(), nullptr);
    std::string before = b.q.QryQVExec.SQL();
    TModalAnswer answer;
    answer.Arm(QMessageBox::Ok);
    ClickTab(b.w.TabControl1, schema::tabIndex);
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(S(answer.text), "Listenindex \xFC"
                              "berschreitet das Maximum (-1)");
    EXPECT_EQ(b.q.QryQVExec.SQL(), before);
}

TEST(QuickViewGui, ASortOrAFilterWithAnUnpostedEditAsksFirst) {
    TGuiRig r;
    TWorkbench b(r);
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    q.First();
    q.Edit();
    q.FieldByName("LOC")->SetAsString("GERA");
    auto* header = b.w.DBGrid1->horizontalHeader();
    auto clickTitle = [&](int col) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, 8));
    };
    // Cancel on a title click: no sort, the edit stays.
    TModalAnswer answer;
    answer.Arm(QMessageBox::Cancel);
    clickTitle(1);
    b.Settle();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(answer.name, QStringLiteral("PostQuestionBox"));
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "GERA");
    EXPECT_EQ(q.SQL().find("ORDER BY"), std::string::npos) << q.SQL();
    // Cancel on a filter: the filter is not applied.
    b.w.DBGrid1->Columns(0)->SetFilterExpression(">=20");
    answer.Arm(QMessageBox::Cancel);
    b.w.DBGrid1->SetFiltered(true);
    b.w.DBGrid1->ApplyColumnFilters();
    b.Settle();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_TRUE(q.FilterSQL().empty()) << q.FilterSQL();
    // Yes on a title click: the row is posted, then the rows come sorted.
    answer.Arm(QMessageBox::Yes);
    clickTitle(1);
    b.Settle();
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_NE(q.SQL().find("ORDER BY"), std::string::npos) << q.SQL();
    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT LOC FROM SCOTT.DEPT WHERE DEPTNO = 10", other.get()), "GERA");
}

TEST(QuickViewGui, ClosingOrChoosingAnotherTableWithAnUnpostedEditAsksFirst) {
    TGuiRig r;
    TWorkbench b(r);
    bool closed = false;
    b.w.OnClosed = [&] { closed = true; };
    b.Choose("SCOTT", "SCOTT.DEPT");
    ClickTab(b.w.TabControl1, schema::tabAendern);
    b.Settle();
    TOraQuery& q = b.q.QryQVExec;
    q.First();
    q.Edit();
    q.FieldByName("LOC")->SetAsString("ULM");
    TModalAnswer answer;
    // Cancel keeps the window and the edit.
    answer.Arm(QMessageBox::Cancel);
    b.w.Schliessen->trigger();
    EXPECT_TRUE(answer.seen);
    EXPECT_TRUE(b.w.isVisible());
    EXPECT_FALSE(closed);
    EXPECT_EQ(q.State(), dsEdit);
    // Cancel on another table keeps the table and the edit.
    answer.Arm(QMessageBox::Cancel);
    ClickItem(b.w.LBTabellen3, QStringLiteral("SCOTT.EMP"));
    EXPECT_TRUE(answer.seen);
    EXPECT_EQ(b.w.LBTabellen3->currentItem()->text(), QStringLiteral("SCOTT.DEPT"));
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(b.w.Statements().Table(), "SCOTT.DEPT");
    // No drops the edit and closes.
    answer.Arm(QMessageBox::No);
    b.w.Schliessen->trigger();
    EXPECT_TRUE(answer.seen);
    EXPECT_FALSE(b.w.isVisible());
    EXPECT_TRUE(closed);
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10"), "NEW YORK");
}

TEST(QuickViewGui, QuickViewIIMinimisesTheWorksheetAndSchliessenRestoresIt) {
    TGuiRig r;
    TQuickViewQueries q(*r.s);
    TFQuickView w(q);
    QWidget worksheet;
    worksheet.resize(300, 200);
    worksheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&worksheet));
    OpenQuickView(&worksheet, &w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(worksheet.isMinimized());
    EXPECT_EQ(w.CBBenutzer3->currentText(), QStringLiteral("*ALLE*"));
    w.Schliessen->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(worksheet.isMinimized());
}

} // namespace

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TTestPoster poster;
    gPoster = &poster;
    SetMainThreadPoster(&poster);
    // The application's exception display: the message in a box.
    SetApplicationExceptionHandler([](const std::exception& e) { schemagui::ShowError(nullptr, e.what()); });
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    SetMainThreadPoster(nullptr);
    return result;
}
