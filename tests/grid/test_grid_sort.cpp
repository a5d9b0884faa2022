// Title-click sorting, the filter and search bars, the footer and the memo editor, driven with real clicks
// and keys on a grid over emulator results.
#include "GridRig.h"

#include "grid/MemoEditor.h"
#include "grid/QxGridHeader.h"

#include <QCheckBox>
#include <QLineEdit>
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
    TGridRig g;
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
    img.save("/tmp/vestra-grid-look.png");
    // The indicator shows the current record.
    QImage ind = g.grid->verticalHeader()->grab().toImage();
    const int y = g.grid->verticalHeader()->sectionViewportPosition(g.qry->RecNo() - 1) + rowH / 2;
    int dark = 0;
    for (int x = 0; x < ind.width(); ++x)
        if (qGray(ind.pixel(x, y)) < 80) ++dark;
    EXPECT_GT(dark, 0);
}
