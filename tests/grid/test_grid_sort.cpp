// Title-click sorting, the filter and search bars, the footer and the memo editor, driven with real clicks
// and keys on a grid over emulator results.
#include "GridRig.h"
#include "tests/Snapshot.h"

#include "grid/MemoEditor.h"
#include "grid/QxGridHeader.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void ClickTitle(TGridRig& g, int col, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(g.grid->horizontalHeader()->viewport(), Qt::LeftButton, mods, g.TitlePoint(col));
    QApplication::processEvents();
}

} // namespace

TEST(GridSorting, ClicksShiftAndCtrlSortOnTheServerWithMarks) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME, SAL FROM EMP");
    const int w1 = g.grid->Columns(1)->Width() + 17;
    g.grid->Columns(1)->SetWidth(w1);
    ClickTitle(g, 1);
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soAsc);
    EXPECT_EQ(g.Cell(0, 1), "ADAMS");
    EXPECT_EQ(g.grid->Columns(1)->Width(), w1); // widths survive the reopen
    ClickTitle(g, 1);
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soDesc);
    EXPECT_EQ(g.Cell(0, 1), "WARD");
    ClickTitle(g, 1);
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soAsc);
    EXPECT_EQ(g.grid->Columns(1)->SortSequence(), 0);
    // Shift adds a second column: numbers 1 and 2.
    ClickTitle(g, 2, Qt::ShiftModifier);
    EXPECT_EQ(g.grid->Columns(1)->SortSequence(), 1);
    EXPECT_EQ(g.grid->Columns(2)->SortSequence(), 2);
    EXPECT_NE(g.qry->SQL().find("ORDER BY 2,3"), std::string::npos) << g.qry->SQL();
    // Ctrl removes the first: the second stays, without a number.
    ClickTitle(g, 1, Qt::ControlModifier);
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soNone);
    EXPECT_EQ(g.grid->Columns(2)->SortOrder(), soAsc);
    EXPECT_EQ(g.grid->Columns(2)->SortSequence(), 0);
    EXPECT_EQ(g.Cell(0, 2), "800");
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridSorting, AStatementWithOrderByShowsItsMarkWhenItOpens) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME FROM EMP ORDER BY 2 DESC");
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soDesc);
    EXPECT_EQ(g.grid->Columns(0)->SortOrder(), soNone);
    // The worksheet's reset before a new statement.
    g.grid->ClearSortList();
    g.grid->ClearColumnFilters();
    g.grid->SetFiltered(false);
    g.Open("SELECT EMPNO, ENAME FROM EMP ORDER BY ENAME");
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soAsc);
}

TEST(GridBars, FilterBarKeysApplyAndEscapeDiscards) {
    TGridRig g;
    g.grid->SetOptionsEx(g.grid->OptionsEx() | dgeFilterBar | dgeSearchBar);
    g.grid->SetOptionsEx(g.grid->OptionsEx() & ~dgeLocalFilter);
    g.grid->SetFiltered(true);
    g.Open("SELECT EMPNO, ENAME, SAL FROM EMP ORDER BY EMPNO");
    g.grid->setFocus();
    TQxGridTitleEdit* te = g.grid->TitleEdit();
    // Up from the first row opens the search bar cell; Up again the filter cell.
    QTest::keyClick(g.grid.get(), Qt::Key_Up);
    ASSERT_TRUE(te->IsOpen());
    EXPECT_EQ(te->Bar(), TQxGridTitleEdit::brSearch);
    QTest::keyClick(te, Qt::Key_Up);
    EXPECT_EQ(te->Bar(), TQxGridTitleEdit::brFilter);
    EXPECT_EQ(te->Column(), 0);
    // Tab walks to ENAME; typing starts the edit.
    QTest::keyClick(te, Qt::Key_Tab);
    EXPECT_EQ(te->Column(), 1);
    QTest::keyClicks(te, "J");
    QTest::keyClicks(te->EditBox(), "*");
    EXPECT_TRUE(te->Pending());
    // Tab commits; Shift+Tab walks back.
    QTest::keyClick(te->EditBox(), Qt::Key_Tab);
    EXPECT_EQ(te->Column(), 2);
    QTest::keyClicks(te, ">");
    QTest::keyClicks(te->EditBox(), "=abc"); // does not convert for SAL
    QTest::keyClick(te->EditBox(), Qt::Key_Return);
    EXPECT_TRUE(te->Editing()); // the user stays in the box
    EXPECT_EQ(te->EditBox()->text(), ">=abc");
    ASSERT_EQ(g.errors.size(), 1u);
    g.errors.clear();
    te->EditBox()->setText(">=1000");
    QTest::keyClick(te->EditBox(), Qt::Key_Return);
    EXPECT_FALSE(te->Editing());
    // Escape on the cell control discards all pending texts.
    QTest::keyClick(te, Qt::Key_Escape);
    EXPECT_FALSE(te->Pending());
    EXPECT_EQ(te->PendingText(1), "");
    // Again, and Down applies: the statement filters on the server.
    QTest::keyClick(te, Qt::Key_Backtab);
    EXPECT_EQ(te->Column(), 1);
    QTest::keyClicks(te, "J");
    QTest::keyClicks(te->EditBox(), "*");
    QTest::keyClick(te->EditBox(), Qt::Key_Down);
    EXPECT_FALSE(te->Pending());
    EXPECT_EQ(g.grid->Columns(1)->FilterExpression(), "J*");
    EXPECT_EQ(g.qry->FilterSQL(), "ENAME LIKE 'J%'");
    EXPECT_EQ(g.grid->model()->rowCount(), 2); // JONES, JAMES
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridBars, SearchBarLocatesAsCharactersAreTyped) {
    TGridRig g;
    g.grid->SetOptionsEx(g.grid->OptionsEx() | dgeSearchBar);
    g.Open("SELECT EMPNO, ENAME FROM EMP ORDER BY EMPNO");
    TQxGridTitleEdit* te = g.grid->TitleEdit();
    te->OpenCell(TQxGridTitleEdit::brSearch, 1);
    QTest::keyClicks(te, "m");
    EXPECT_EQ(g.qry->FieldByName("ENAME")->AsString(), "MARTIN");
    QTest::keyClicks(te->EditBox(), "i");
    EXPECT_EQ(g.qry->FieldByName("ENAME")->AsString(), "MILLER");
    EXPECT_EQ(g.grid->currentIndex().row(), g.qry->RecNo() - 1);
}

TEST(GridFooter, RecordCountGrowsAsRowsArrive) {
    vemu::EmuOptions o;
    o.benchRows = 100;
    TGridRig g(o);
    g.grid->resize(400, 150);
    g.Open("SELECT ID FROM BENCH ORDER BY ID", 25);
    g.qry->SetRecNo(3);
    const int n = g.qry->RecordCount();
    EXPECT_EQ(g.grid->RecordCountText(), "3/" + std::to_string(n));
    g.qry->SetRecNo(n + 1); // one block more
    EXPECT_EQ(g.grid->RecordCountText(), std::to_string(n + 1) + "/" + std::to_string(n + 25));
    g.qry->SetRecNo(30);
    // Summaries: a walk fetches every row.
    g.grid->SetOptionsEx(g.grid->OptionsEx() | dgeSummary);
    g.grid->Columns(0)->SetSummaryMode(smSum);
    EXPECT_EQ(g.grid->Columns(0)->SummaryText(), "5050");
    EXPECT_EQ(g.qry->RecNo(), 30);
    g.grid->Columns(0)->SetSummaryMode(smMax);
    EXPECT_EQ(g.grid->Columns(0)->SummaryText(), "100");
}

TEST(GridMemo, ButtonWidthRuleAndTheEditorsQuestion) {
    TGridRig g(oratest::ClassicServer()); // classic until the current generation fetches LOB columns
    g.Exec("CREATE TABLE NOTES (ID NUMBER, BODY CLOB)");
    g.Exec("INSERT INTO NOTES VALUES (1, 'first' || CHR(10) || 'second')");
    g.Open("SELECT ID, BODY FROM NOTES");
    g.grid->setCurrentIndex(g.grid->model()->index(0, 1));
    const int h = g.grid->rowHeight(0);
    g.grid->Columns(1)->SetMinWidth(0);
    g.grid->Columns(1)->SetWidth(h + 5);
    EXPECT_FALSE(g.grid->MemoButtonRect().isEmpty())
        << int(g.qry->Fields(1)->DataType()) << " " << g.grid->visualRect(g.grid->currentIndex()).width();
    g.grid->Columns(1)->SetWidth(h + 4);
    EXPECT_TRUE(g.grid->MemoButtonRect().isEmpty());

    TMemoEditorForm form;
    form.SetField("BODY", "a\nb", true);
    EXPECT_FALSE(form.OkButton()->isVisibleTo(&form));
    EXPECT_EQ(form.CancelButton()->text(), "&Close");
    EXPECT_EQ(form.Text(), "a\r\nb");
    form.SetField("BODY", "a", false);
    form.Memo()->setPlainText("changed");
    QString asked;
    QTimer::singleShot(0, &form, [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        form.CancelButton()->click();
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted); // Yes closes as OK
    EXPECT_EQ(asked, "Field \"BODY\" is modified. Save?");
}

TEST(GridLook, BarsSortsTwoLevelTitlesAndSummaries) {
    TGridRig g;
    g.grid->resize(760, 330);
    g.grid->SetOptionsEx(g.grid->OptionsEx() | dgeFilterBar | dgeSearchBar | dgeSummary);
    g.Open("SELECT EMPNO, ENAME, JOB, SAL, COMM, HIREDATE FROM EMP ORDER BY 3, 4 DESC");
    g.grid->Columns(1)->Title().SetCaption("Person|Name");
    g.grid->Columns(2)->Title().SetCaption("Person|Job");
    g.grid->Columns(3)->Title().SetCaption("Pay|Salary");
    g.grid->Columns(4)->Title().SetCaption("Pay|Commission");
    g.grid->Columns(3)->SetSummaryMode(smSum);
    g.grid->Columns(4)->SetSummaryMode(smMax);
    g.grid->Columns(0)->SetFilterExpression(">7500");
    g.grid->TitleHeader()->TitlesChanged();
    QApplication::processEvents();
    EXPECT_EQ(g.grid->Columns(2)->SortSequence(), 1);
    EXPECT_EQ(g.grid->Columns(3)->SortSequence(), 2);
    EXPECT_EQ(g.grid->Columns(3)->SortOrder(), soDesc);
    auto* h = g.grid->TitleHeader();
    const int rowH = g.grid->verticalHeader()->defaultSectionSize();
    EXPECT_EQ(h->height(), 2 * (rowH + 1) + 2 * (rowH + 10));
    EXPECT_EQ(g.grid->Columns(3)->SummaryText(), "29025");
    EXPECT_EQ(g.grid->Columns(4)->SummaryText(), "1400");
    QImage img = g.grid->grab().toImage();
    ASSERT_FALSE(img.isNull());
    vtest::Snapshot(img, "grid-look");
    // The indicator shows the current record.
    QImage ind = g.grid->verticalHeader()->grab().toImage();
    const int y = g.grid->verticalHeader()->sectionViewportPosition(g.qry->RecNo() - 1) + rowH / 2;
    int dark = 0;
    for (int x = 0; x < ind.width(); ++x)
        if (qGray(ind.pixel(x, y)) < 80) ++dark;
    EXPECT_GT(dark, 0);
    // And in the whole grid's picture.
    const QPoint at = g.grid->verticalHeader()->mapTo(g.grid.get(), QPoint(0, y));
    int darkInGrid = 0;
    for (int x = at.x(); x < at.x() + g.grid->verticalHeader()->width(); ++x)
        if (qGray(img.pixel(x, at.y())) < 80) ++darkInGrid;
    EXPECT_GT(darkInGrid, 0) << at.x() << "," << at.y();
}

TEST(GridFilters, LocalFilterTheFilteredSwitchAndThePopupMenu) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME, SAL FROM EMP ORDER BY EMPNO");
    ASSERT_TRUE(g.grid->OptionsEx() & dgeLocalFilter);
    g.grid->Columns(1)->SetFilterExpression("J*");
    g.grid->Columns(2)->SetFilterExpression(">=3000");
    g.grid->ApplyColumnFilters();
    EXPECT_EQ(g.qry->Filter(), "ENAME='J*' AND SAL>=3000");
    EXPECT_TRUE(g.qry->Filtered());
    EXPECT_EQ(g.grid->model()->rowCount(), 0); // JONES earns 2975, JAMES 950
    g.grid->Columns(2)->SetFilterExpression(">=2000");
    g.grid->ApplyColumnFilters();
    EXPECT_EQ(g.grid->model()->rowCount(), 1);
    EXPECT_EQ(g.Cell(0, 1), "JONES");
    EXPECT_EQ(g.grid->RecordCountText(), "1/1");
    // "Filtered" in the popup menu switches the filter off and on again.
    QMenu* menu = g.grid->PopupMenu();
    QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), "Filtered");
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Filter bar");
    EXPECT_EQ(items[3]->text(), "Search bar");
    EXPECT_TRUE(items[0]->isChecked());
    items[0]->trigger();
    EXPECT_FALSE(g.grid->Filtered());
    EXPECT_FALSE(g.qry->Filtered());
    EXPECT_EQ(g.grid->model()->rowCount(), 14);
    items[0]->trigger();
    EXPECT_EQ(g.grid->model()->rowCount(), 1);
    // The bars switch on from the menu and off from their icons; the title row grows and shrinks.
    const int h0 = g.grid->TitleHeader()->height();
    items[2]->trigger();
    EXPECT_TRUE(g.grid->OptionsEx() & dgeFilterBar);
    EXPECT_EQ(g.grid->TitleHeader()->height(), h0 + g.grid->TitleHeader()->BarHeight());
    QWidget* corner = g.grid->findChild<QWidget*>("GridCorner");
    ASSERT_NE(corner, nullptr);
    QTest::mouseClick(corner, Qt::LeftButton, {}, QPoint(5, h0 + 4));
    EXPECT_FALSE(g.grid->OptionsEx() & dgeFilterBar);
    EXPECT_EQ(g.grid->TitleHeader()->height(), h0);
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridEditing, AnInsertedRowShowsItsEditBufferInPlace) {
    TGridRig g;
    g.Exec("CREATE TABLE PEOPLE (ID NUMBER, NAME VARCHAR2(20))");
    g.Exec("INSERT INTO PEOPLE VALUES (1, 'Anna')");
    g.Exec("INSERT INTO PEOPLE VALUES (2, 'Bert')");
    g.Exec("INSERT INTO PEOPLE VALUES (3, 'Carl')");
    g.qry->LocalUpdate = true; // edits stay in the store
    g.Open("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
    g.qry->SetRecNo(2);
    g.qry->Insert();
    EXPECT_EQ(g.grid->model()->rowCount(), 4);
    EXPECT_EQ(g.grid->currentIndex().row(), 1);
    g.qry->FieldByName("NAME")->SetAsString("Neu");
    EXPECT_EQ(g.Cell(1, 1), "Neu");
    EXPECT_EQ(g.Cell(2, 1), "Bert");
    g.qry->Cancel();
    EXPECT_EQ(g.grid->model()->rowCount(), 3);
    EXPECT_EQ(g.Cell(1, 1), "Bert");
    // An edited row shows the edit buffer until it is posted.
    g.qry->Edit();
    g.qry->FieldByName("NAME")->SetAsString("Berta");
    EXPECT_EQ(g.Cell(1, 1), "Berta");
    g.qry->Cancel();
    EXPECT_EQ(g.Cell(1, 1), "Bert");
}

TEST(GridWidthsGui, BorderDoubleClickFitsTheWidestVisibleTextWithoutSorting) {
    TGridRig g;
    g.Open("SELECT EMPNO, JOB FROM EMP ORDER BY EMPNO");
    g.grid->Columns(1)->SetWidth(200);
    auto* h = g.grid->horizontalHeader();
    QPoint border(h->sectionViewportPosition(1) + h->sectionSize(1) - 1, 8);
    QTest::mouseDClick(h->viewport(), Qt::LeftButton, {}, border);
    QApplication::processEvents();
    QFontMetrics fm(g.grid->font());
    int widest = 0;
    for (int r = 0; r < g.grid->model()->rowCount(); ++r)
        widest = std::max(widest, fm.horizontalAdvance(g.Cell(r, 1)));
    EXPECT_EQ(g.grid->Columns(1)->Width(), std::max(widest + 4, g.grid->Columns(1)->MinWidth()));
    EXPECT_EQ(g.grid->Columns(1)->SortOrder(), soNone);
    EXPECT_EQ(g.qry->SQL(), "SELECT EMPNO, JOB FROM EMP ORDER BY EMPNO");
}

TEST(GridMemo, EnterOpensTheEditorAndOkWritesTheField) {
    TGridRig g(oratest::ClassicServer()); // classic until the current generation fetches LOB columns
    g.Exec("CREATE TABLE MEMOS (ID NUMBER, BODY CLOB)");
    g.Exec("INSERT INTO MEMOS VALUES (1, 'old text')");
    g.qry->LocalUpdate = true;
    g.Open("SELECT ID, BODY FROM MEMOS");
    g.grid->setCurrentIndex(g.grid->model()->index(0, 1));
    g.grid->setFocus();
    QString title, shown;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TMemoEditorForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        title = form->windowTitle();
        shown = form->Memo()->toPlainText();
        EXPECT_TRUE(form->OkButton()->isVisible());
        form->Memo()->setPlainText("new\ntext");
        form->OkButton()->click();
    });
    QTest::keyClick(g.grid.get(), Qt::Key_Return);
    EXPECT_EQ(title, "BODY");
    EXPECT_EQ(shown, "old text");
    EXPECT_EQ(g.qry->State(), dsEdit);
    EXPECT_EQ(g.qry->FieldByName("BODY")->AsString(), "new\r\ntext");
    g.qry->Post();
    // A read-only grid shows the text only; OnMemoClick replaces the editor.
    g.grid->SetReadOnly(true);
    bool hidden = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TMemoEditorForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        hidden = !form->OkButton()->isVisible() && form->CancelButton()->text() == "&Close";
        form->CancelButton()->click();
    });
    QTest::keyClick(g.grid.get(), Qt::Key_Return);
    EXPECT_TRUE(hidden);
    int clicks = 0;
    g.grid->OnMemoClick = [&](TQxDBGrid&, TQxColumn& c) {
        ++clicks;
        EXPECT_EQ(c.FieldName(), "BODY");
    };
    QTest::keyClick(g.grid.get(), Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridWidthsGui, StretchedColumnsFillTheWidthAndKeepTheirRatios) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME, JOB FROM EMP");
    g.grid->Columns(0)->SetWidth(100);
    g.grid->Columns(1)->SetWidth(100);
    g.grid->Columns(2)->SetWidth(200);
    g.grid->SetOptionsEx(g.grid->OptionsEx() | dgeStretch);
    g.grid->resize(820, 300);
    QApplication::processEvents();
    auto sum = [&] {
        int s = 0;
        for (int i = 0; i < 3; ++i)
            s += g.grid->Columns(i)->Width();
        return s;
    };
    const int avail = g.grid->viewport()->width();
    EXPECT_NEAR(sum(), avail, 4);
    EXPECT_NEAR(double(g.grid->Columns(2)->Width()) / g.grid->Columns(0)->Width(), 2.0, 0.05);
    g.grid->resize(520, 300);
    QApplication::processEvents();
    EXPECT_NEAR(sum(), g.grid->viewport()->width(), 4);
    EXPECT_NEAR(double(g.grid->Columns(2)->Width()) / g.grid->Columns(1)->Width(), 2.0, 0.05);
}
