// Several worksheets as tabs in the real window, through real keys: Ctrl+T opens one, each tab runs into its
// own grid and keeps its text, undo steps and history place; Ctrl+W asks before unsaved text goes; a
// statement running in one tab holds F5 in another; the tabs come back after a normal exit.
#include "app/FileSave.h"
#include "app/Recovery.h"
#include "app/gui/DataModule1.h"
#include "app/gui/RecoveryKeeper.h"
#include "app/gui/StatementTools.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>

using namespace guitest;

namespace {

// Rows the grid of a tab shows.
int GridRows(TFVestra& w, int tab) {
    TQxDBGrid* g = w.TabGrid(tab);
    return g->model() ? g->model()->rowCount() : -1;
}

template <int kSlowMs, int kRows> class TTabsRig : public TWorksheetRig<kSlowMs, kRows> {
protected:
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        // A closed question box leaves the window inactive, and the window's shortcuts with it.
        if (QApplication::activeWindow() != this->w.get() || !this->w->isActiveWindow()) {
            this->Activate();
            this->w->Mmo->setFocus();
        }
        QTest::keyClick(this->w->Mmo, Qt::Key(key), mods);
    }
    void Type(const QString& text) {
        this->w->Mmo->setFocus();
        QTest::keyClicks(this->w->Mmo, text);
    }
    void ClickTab(int index) {
        QTabBar* bar = this->w->TabBar1;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    // Answers the next question box; its text goes to *seen.
    std::shared_ptr<QString> Answer(int button) {
        auto seen = std::make_shared<QString>();
        OnNextModal([seen, button](QWidget* box) {
            if (!box) return;
            *seen = MessageText(box);
            ClickButton(box, button);
        });
        return seen;
    }
};

using WorksheetTabs = TTabsRig<0, 200>;

TEST_F(WorksheetTabs, EachTabRunsIntoItsOwnGridAndKeepsTextUndoAndHistoryPlace) {
    Activate();
    QTabBar* bar = w->TabBar1;
    EXPECT_FALSE(bar->isVisible()) << "one worksheet looks as it always did";
    Run("SELECT ID FROM BENCH WHERE ID <= 3");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(GridRows(*w, 0), 3);
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    QPlainTextEdit* first = w->Mmo;

    Key(Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(w->TabCount(), 2);
    EXPECT_EQ(w->CurrentTab(), 1);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_NE(w->Mmo, first);
    EXPECT_TRUE(w->Mmo->hasFocus()) << "the new tab's editor takes the keys";
    EXPECT_EQ(w->Mmo->toPlainText(), "");
    EXPECT_EQ(GridRows(*w, 1), 0) << "a new tab has no result";
    EXPECT_EQ(bar->tabText(0), "Arbeitsblatt 1");
    EXPECT_EQ(bar->tabText(1), "Arbeitsblatt 2");
    EXPECT_EQ(w->LblPos->text(), "1 / 1") << "a new tab stands at the end of the one history";

    Type("SELECT ID FROM BENCH WHERE ID > 195");
    EXPECT_EQ(bar->tabText(1), "Arbeitsblatt 2*");
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(GridRows(*w, 1), 5);
    EXPECT_EQ(GridRows(*w, 0), 3) << "the first tab's rows stay";
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    Type(" AND 1 = 1"); // one more undo step in the second tab

    // The first tab comes back with its own text, rows, undo steps and history place.
    ClickTab(0);
    ASSERT_EQ(w->CurrentTab(), 0);
    EXPECT_EQ(w->Mmo, first);
    EXPECT_EQ(w->Mmo->toPlainText(), "SELECT ID FROM BENCH WHERE ID <= 3");
    EXPECT_EQ(w->DBGrid, w->TabGrid(0));
    EXPECT_EQ(&w->Query(), &w->Qry);
    EXPECT_EQ(w->LblPos->text(), "1 / 2");
    Type(" -- eins");
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(w->Mmo->toPlainText().contains("eins")) << w->Mmo->toPlainText().toStdString();
    EXPECT_TRUE(w->Mmo->toPlainText().startsWith("SELECT ID FROM BENCH WHERE ID <= 3"));
    EXPECT_EQ(w->TabEditor(1)->toPlainText(), "SELECT ID FROM BENCH WHERE ID > 195 AND 1 = 1")
        << "Ctrl+Z in one tab leaves the other's text alone";
    // << and >> move this tab's place only.
    QTest::mouseClick(w->BtnForw, Qt::LeftButton);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    EXPECT_EQ(w->Mmo->toPlainText(), "SELECT ID FROM BENCH WHERE ID > 195");
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    ClickTab(1);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    EXPECT_EQ(w->Mmo->toPlainText(), "SELECT ID FROM BENCH WHERE ID <= 3");
    EXPECT_EQ(w->LblPos->text(), "1 / 2");
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w->Mmo->toPlainText(), "SELECT ID FROM BENCH WHERE ID > 195 AND 1 = 1")
        << "the history step is one undo step of this tab";
    // Ctrl+Page up and down walk the tabs (Ctrl+Tab leaves the editor), round the ends.
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentTab(), 0);
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentTab(), 1);
    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w->CurrentTab(), 0);
    EXPECT_EQ(w->LblPos->text(), "1 / 2");

    // The tools act on the current tab: the statement under the cursor runs into its grid.
    w->Mmo->setPlainText("SELECT ID FROM BENCH WHERE ID = 7");
    w->Mmo->setFocus();
    Key(Qt::Key_F9);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(GridRows(*w, 0), 1);
    EXPECT_EQ(GridRows(*w, 1), 5);

    // Three tabs, for a person to look at; the tab bar speaks German to a screen reader.
    Key(Qt::Key_T, Qt::ControlModifier);
    Type("select * from dual");
    ASSERT_EQ(w->TabCount(), 3);
    EXPECT_EQ(bar->accessibleName(), "Arbeitsbl\u00E4tter");
    EXPECT_EQ(bar->accessibleTabName(2), "Arbeitsblatt 3, nicht gespeichert");
    EXPECT_EQ(bar->accessibleTabName(0), "Arbeitsblatt 1");
    ASSERT_TRUE(bar->tabButton(1, QTabBar::RightSide));
    EXPECT_EQ(bar->tabButton(1, QTabBar::RightSide)->accessibleName(), "Arbeitsblatt 2 schlie\u00DFen");
    ClickTab(1);
    vtest::Snapshot(*w, "worksheet_three_tabs");
}

TEST_F(WorksheetTabs, CtrlWAsksBeforeUnsavedTextGoesAndTheLastTabStartsAfresh) {
    Activate();
    Key(Qt::Key_T, Qt::ControlModifier);
    Type("select 'entwurf' from dual");
    auto asked = Answer(QMessageBox::No);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(*asked, "Der Text in \u201EArbeitsblatt 2\u201C ist nicht gespeichert. Arbeitsblatt trotzdem "
                      "schlie\u00DFen?");
    ASSERT_EQ(w->TabCount(), 2) << "No keeps the tab";
    EXPECT_EQ(w->Mmo->toPlainText(), "select 'entwurf' from dual");

    asked = Answer(QMessageBox::Yes);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(asked->isEmpty());
    ASSERT_EQ(w->TabCount(), 1);
    EXPECT_EQ(w->CurrentTab(), 0);
    EXPECT_EQ(w->Mmo, w->TabEditor(0));
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from sys.dba_tables order by table_name");
    EXPECT_FALSE(w->TabBar1->isVisible());

    // A tab with nothing typed goes without a question.
    Key(Qt::Key_T, Qt::ControlModifier);
    asked = Answer(QMessageBox::Yes);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(w->TabCount(), 1);
    EXPECT_TRUE(asked->isEmpty()) << asked->toStdString();
    CancelPendingModals();

    // The last tab is not closed: after the question it is emptied, and Ctrl+Z brings its text back.
    Type("-- mein Text");
    asked = Answer(QMessageBox::Yes);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(asked->contains("Arbeitsblatt 1"));
    ASSERT_EQ(w->TabCount(), 1);
    EXPECT_EQ(w->Mmo->toPlainText(), "");
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(w->Mmo->toPlainText().contains("-- mein Text")) << w->Mmo->toPlainText().toStdString();
}

using WorksheetTabsSlow = TTabsRig<30, 120>;

TEST_F(WorksheetTabsSlow, AStatementRunningInOneTabHoldsF5InAnother) {
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    ASSERT_TRUE(WaitFetching());
    ASSERT_TRUE(w->Run()->Busy());
    Key(Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(w->CurrentTab(), 1);
    EXPECT_EQ(w->RunningTab(), 0);
    Type("select 1 from dual");
    Key(Qt::Key_F5);
    EXPECT_TRUE(w->statusBar()->currentMessage().startsWith(
        "In \u201EArbeitsblatt 1\u201C l\u00E4uft eine Anweisung."))
        << w->statusBar()->currentMessage().toStdString();
    EXPECT_FALSE(w->TabQuery(1).Active()) << "nothing went to the connection for the second tab";
    // Ctrl+W on the running tab asks first; No leaves it running.
    ClickTab(0);
    auto asked = Answer(QMessageBox::No);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(*asked, "In \u201EArbeitsblatt 1\u201C l\u00E4uft eine Anweisung. Anweisung abbrechen und "
                      "Arbeitsblatt schlie\u00DFen?");
    EXPECT_EQ(w->TabCount(), 2);
    ClickTab(1);
    ASSERT_TRUE(WaitIdle(20000));
    QTest::qWait(50); // the worksheet turns to the current tab once the run has ended
    // The statement ended in its own tab: its rows there, the history place of this tab unchanged.
    EXPECT_TRUE(w->TabQuery(0).Active());
    EXPECT_GT(GridRows(*w, 0), 0);
    EXPECT_EQ(w->CurrentTab(), 1);
    EXPECT_EQ(w->LblPos->text(), "0 / 1");
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(GridRows(*w, 1), 1);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    ClickTab(0);
    EXPECT_EQ(w->LblPos->text(), "1 / 2");
    EXPECT_TRUE(w->TabQuery(0).Active());
}

TEST_F(WorksheetTabsSlow, AScriptKeepsToItsTabWhileAnotherIsShown) {
    Run("select 1 from dual");
    ASSERT_TRUE(WaitIdle());
    w->Mmo->setPlainText("SELECT ID FROM BENCH WHERE ID <= 2;\nSELECT ID, NAME FROM BENCH ORDER BY ID;\n"
                         "SELECT ID FROM BENCH WHERE ID <= 5;");
    Key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(w->Tools()->ScriptRunning());
    Key(Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(w->CurrentTab(), 1);
    const int startPos = w->DataModule()->FHistory.Pos();
    ASSERT_GE(startPos, 1);
    // Stepping back in the shown tab while the script records its statements in the other.
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    const int shownPos = w->DataModule()->FHistory.Pos();
    const QString shownText = w->Mmo->toPlainText();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Tools()->ScriptRunning() && !w->Run()->Busy(); }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(w->CurrentTab(), 1);
    EXPECT_EQ(w->DataModule()->FHistory.Count(), 4);
    EXPECT_EQ(w->DataModule()->FHistory.Pos(), shownPos) << "the shown tab keeps its place";
    EXPECT_EQ(w->LblPos->text(), QString("%1 / 4").arg(shownPos));
    EXPECT_EQ(w->Mmo->toPlainText(), shownText);
    EXPECT_EQ(GridRows(*w, 1), 0) << "the script's rows went to its own tab";
    EXPECT_EQ(GridRows(*w, 0), 5);
    ClickTab(0);
    EXPECT_EQ(w->LblPos->text(), "4 / 4");
    // The worksheet follows the shown tab again: F5 here runs into this tab's grid.
    ClickTab(1);
    w->Mmo->setPlainText("SELECT ID FROM BENCH WHERE ID <= 3");
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(GridRows(*w, 1), 3);
    EXPECT_EQ(GridRows(*w, 0), 5);
}

TEST_F(WorksheetTabs, TheTabsComeBackAfterANormalExit) {
    QTemporaryDir folder;
    const QString sqlFile = folder.filePath("bericht.sql");
    w->StartRecovery(folder.filePath("daten").toStdString());
    ASSERT_TRUE(w->Recovery()->Active());
    w->OfferRecovery();
    Activate();
    Run("select 1 from dual");
    ASSERT_TRUE(WaitIdle());
    Key(Qt::Key_T, Qt::ControlModifier);
    Type("select 2 from dual");
    OnNextModal([sqlFile](QWidget* d) { AcceptFileDialog(d, sqlFile); });
    w->DataModule()->Save->trigger();
    ASSERT_TRUE(QFile::exists(sqlFile));
    EXPECT_EQ(w->TabBar1->tabText(1), "bericht.sql");
    // The file dialog has gone: the window takes the keys again.
    QTest::qWait(20);
    Activate();
    w->Mmo->setFocus();
    Key(Qt::Key_T, Qt::ControlModifier);
    Type("select 3");
    Key(Qt::Key_Return);
    Type("from dual");
    ClickTab(1);
    ASSERT_TRUE(w->close());

    tester.reset();
    w->Controller().EndSession();
    w.reset();
    w = StartLoggedOn(emu.Server());
    ASSERT_TRUE(w);
    w->show();
    w->StartRecovery(folder.filePath("daten").toStdString());
    auto asked = Answer(QMessageBox::Yes);
    w->OfferRecovery();
    EXPECT_TRUE(asked->isEmpty()) << "after a normal exit nothing is asked";
    CancelPendingModals();
    ASSERT_EQ(w->TabCount(), 3);
    EXPECT_EQ(w->CurrentTab(), 1);
    EXPECT_EQ(w->TabBar1->tabText(0), "Arbeitsblatt 1");
    EXPECT_EQ(w->TabBar1->tabText(1), "bericht.sql");
    // The number of a tab that shows a file is free again: the third tab took it.
    EXPECT_EQ(w->TabBar1->tabText(2), "Arbeitsblatt 2*");
    EXPECT_EQ(w->TabEditor(0)->toPlainText(), "select 1 from dual");
    EXPECT_EQ(w->TabEditor(1)->toPlainText(), "select 2 from dual");
    EXPECT_EQ(w->TabEditor(2)->toPlainText(), "select 3\nfrom dual");
    EXPECT_EQ(w->Mmo, w->TabEditor(1));
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    ClickTab(0);
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
}

TEST_F(WorksheetTabs, ABrokenTabsFileIsKeptAsideWithAMessage) {
    QTemporaryDir folder;
    const QString data = folder.filePath("daten");
    {
        TRecoveryFile f;
        ASSERT_TRUE(f.Open(data.toStdString()));
        WriteFileReplacing(f.Path(), "Vestra-Wiederherstellung 2\r\nBeendet 1\r\nHistorie 0\r\nArbeitsbl");
    }
    w->StartRecovery(data.toStdString());
    auto told = Answer(QMessageBox::Ok);
    w->OfferRecovery();
    EXPECT_TRUE(told->contains("besch\u00E4digt")) << told->toStdString();
    EXPECT_TRUE(QFile::exists(data + "/wiederherstellung-1.txt.defekt"));
    EXPECT_EQ(w->TabCount(), 1);
    EXPECT_EQ(w->Mmo->toPlainText(), "select * from sys.dba_tables order by table_name");
}

} // namespace
