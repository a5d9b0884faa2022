// The grid over a query of the emulator: rows on demand, the current record in both directions, titles.
#include "GridRig.h"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

vemu::EmuOptions Bench(long long rows) {
    vemu::EmuOptions o;
    o.benchRows = rows;
    return o;
}

} // namespace

TEST(GridView, ShowsTitlesAndRowsOfAResult) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME, SAL FROM EMP ORDER BY EMPNO");
    ASSERT_EQ(g.grid->model()->columnCount(), 3);
    EXPECT_EQ(g.grid->model()->rowCount(), 14);
    EXPECT_EQ(g.grid->model()->headerData(1, Qt::Horizontal).toString(), "ENAME");
    EXPECT_EQ(g.Cell(0, 0), "7369");
    EXPECT_EQ(g.Cell(0, 1), "SMITH");
    EXPECT_EQ(g.grid->model()->data(g.grid->model()->index(0, 2), Qt::TextAlignmentRole).toInt() &
                  Qt::AlignRight,
              int(Qt::AlignRight));
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridView, CurrentRecordFollowsTheViewAndBack) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME FROM EMP ORDER BY EMPNO");
    EXPECT_EQ(g.qry->RecNo(), 1);
    // A click on the fourth row makes record 4 current.
    QRect r = g.grid->visualRect(g.grid->model()->index(3, 1));
    QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(g.qry->RecNo(), 4);
    EXPECT_EQ(g.qry->FieldByName("ENAME")->AsString(), g.Cell(3, 1).toStdString());
    // Down moves the data set too.
    QTest::keyClick(g.grid.get(), Qt::Key_Down);
    EXPECT_EQ(g.qry->RecNo(), 5);
    // The data set moves: the view follows.
    g.qry->First();
    EXPECT_EQ(g.grid->currentIndex().row(), 0);
    g.qry->MoveBy(6);
    EXPECT_EQ(g.grid->currentIndex().row(), 6);
    EXPECT_EQ(g.grid->currentIndex().column(), 1);
}

TEST(GridView, RowsArriveInBlocksAsTheViewNeedsThem) {
    TGridRig g(Bench(400));
    g.Open("SELECT ID, NAME FROM BENCH ORDER BY ID", 25);
    // The view fetched blocks until the viewport was full, and no more.
    const int n0 = g.grid->model()->rowCount();
    EXPECT_EQ(n0 % 25, 0);
    EXPECT_LT(n0, 400);
    EXPECT_EQ(g.qry->RecordCount(), n0);
    // Every block beyond the first was one the view asked for.
    EXPECT_EQ(n0, 25 * (1 + g.grid->GridModel()->FetchRequests()));
    EXPECT_FALSE(g.qry->AllRowsFetched());
    // Reading a row's texts moves neither the current record nor fetches.
    EXPECT_EQ(g.Cell(20, 1), "Name 21");
    EXPECT_EQ(g.qry->RecNo(), 1);
    EXPECT_EQ(g.qry->RecordCount(), n0);
    // The scroll bar at the bottom fetches the next block, announced as inserted rows.
    g.grid->verticalScrollBar()->setValue(g.grid->verticalScrollBar()->maximum());
    QApplication::processEvents();
    const int n1 = g.grid->model()->rowCount();
    EXPECT_GT(n1, n0);
    EXPECT_EQ(g.qry->RecordCount(), n1);
    EXPECT_EQ(g.qry->RecNo(), 1);
    // Down past the last row fetches the next block.
    g.qry->SetRecNo(n1);
    EXPECT_EQ(g.grid->currentIndex().row(), n1 - 1);
    QTest::keyClick(g.grid.get(), Qt::Key_Down);
    EXPECT_GT(g.grid->model()->rowCount(), n1);
    EXPECT_EQ(g.qry->RecNo(), n1 + 1);
    // Ctrl+End is an explicit move to the last record: every row.
    QTest::keyClick(g.grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.grid->model()->rowCount(), 400);
    EXPECT_TRUE(g.qry->AllRowsFetched());
    EXPECT_EQ(g.qry->RecNo(), 400);
    EXPECT_EQ(g.grid->currentIndex().row(), 399);
    EXPECT_EQ(g.Cell(399, 1), "Name 400");
    // The worksheet's First.
    g.qry->First();
    EXPECT_EQ(g.grid->currentIndex().row(), 0);
    EXPECT_TRUE(g.errors.empty());
}

TEST(GridView, AfterCtrlEndOnAMillionRowsTheLastRowIsFullyVisibleAboveTheFooter) {
    TGridRig g(Bench(1000000));
    g.Open("SELECT ID, NAME FROM BENCH ORDER BY ID", 1000);
    g.grid->setFocus();
    g.grid->setCurrentIndex(g.grid->model()->index(0, 0));
    QTest::keyClick(g.grid.get(), Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_EQ(g.grid->model()->rowCount(), 1000000);
    ASSERT_EQ(g.grid->currentIndex().row(), 999999);
    EXPECT_EQ(g.grid->RecordCountText(), "1000000/1000000");
    // The current row lies wholly inside the viewport, and the viewport ends where the footer starts.
    const QRect row = g.grid->visualRect(g.grid->currentIndex());
    EXPECT_GE(row.top(), 0);
    EXPECT_LE(row.bottom(), g.grid->viewport()->height() - 1)
        << "row bottom " << row.bottom() << ", viewport height " << g.grid->viewport()->height();
    const QRect footer = g.grid->Footer()->geometry();
    const QPoint rowBottomInGrid = g.grid->viewport()->mapTo(g.grid.get(), QPoint(0, row.bottom()));
    EXPECT_LT(rowBottomInGrid.y(), footer.top());
    EXPECT_TRUE(g.grid->Footer()->isVisible());
    EXPECT_EQ(g.Cell(999999, 0), "1000000");
}

TEST(GridView, NavigatingTheDataSetPastTheLoadedRowsAddsThemToTheView) {
    TGridRig g(Bench(60));
    g.Open("SELECT ID FROM BENCH ORDER BY ID", 25);
    g.qry->SetRecNo(25);
    g.qry->Next(); // fetches a block inside the data set's navigation
    QApplication::processEvents();
    EXPECT_GE(g.grid->model()->rowCount(), 50);
    EXPECT_EQ(g.grid->model()->rowCount(), g.qry->RecordCount());
    EXPECT_EQ(g.grid->currentIndex().row(), 25);
    EXPECT_EQ(g.Cell(25, 0), "26");
}

TEST(GridView, ReadingEveryRowOfABigResultNeitherMovesNorFetchesAhead) {
    TGridRig g(Bench(100000));
    g.Open("SELECT ID, NAME, CREATED, AMOUNT FROM BENCH ORDER BY ID", 1000);
    QAbstractItemModel* m = g.grid->model();
    const int fetchesAtOpen = g.grid->GridModel()->FetchRequests();
    int read = 0;
    for (;;) {
        const int rows = m->rowCount();
        for (; read < rows; ++read) {
            const QString id = m->data(m->index(read, 0)).toString();
            const QString name = m->data(m->index(read, 1)).toString();
            if (id != QString::number(read + 1) || name != "Name " + QString::number(read + 1)) {
                ADD_FAILURE() << "row " << read << ": " << id.toStdString() << " " << name.toStdString();
                return;
            }
            (void)m->data(m->index(read, 2));
            (void)m->data(m->index(read, 3));
        }
        ASSERT_EQ(g.qry->RecNo(), 1);
        // The store holds exactly the blocks the view asked for.
        ASSERT_EQ(g.qry->RecordCount(), std::min(100000, 1000 * (1 + g.grid->GridModel()->FetchRequests())));
        if (g.qry->AllRowsFetched()) break;
        g.grid->GridModel()->fetchMore(QModelIndex()); // what the view does when it reaches the end
    }
    EXPECT_EQ(read, 100000);
    EXPECT_EQ(g.qry->RecNo(), 1);
    EXPECT_EQ(g.qry->FieldByName("ID")->AsInteger(), 1);
    EXPECT_GE(g.grid->GridModel()->FetchRequests() - fetchesAtOpen, 99);
    // The display text is the one the field gives for the current record.
    g.qry->SetRecNo(54321);
    EXPECT_EQ(m->data(m->index(54320, 2)).toString().toStdString(),
              g.qry->FieldByName("CREATED")->DisplayText());
    EXPECT_EQ(m->data(m->index(54320, 3)).toString().toStdString(),
              g.qry->FieldByName("AMOUNT")->DisplayText());
}

TEST(GridView, AQueryThatGoesAwayLeavesAnEmptyGrid) {
    TGridRig g;
    g.Open("SELECT EMPNO, ENAME FROM EMP");
    auto* qry = g.qry.release();
    qry->Close();
    delete qry; // the data source forgets it; the grid must not read it again
    QApplication::processEvents();
    EXPECT_EQ(g.grid->model()->rowCount(), 0);
    EXPECT_EQ(g.grid->model()->columnCount(), 0);
    EXPECT_FALSE(g.grid->model()->canFetchMore(QModelIndex()));
    EXPECT_EQ(g.grid->RecordCountText(), "");
    EXPECT_FALSE(g.grid->grab().isNull());
}

TEST(GridView, ASwitchedOffDataSourceShowsNothingAndHearsNoFetches) {
    TGridRig g(Bench(200));
    g.Open("SELECT ID, NAME FROM BENCH ORDER BY ID", 25);
    ASSERT_GT(g.grid->model()->rowCount(), 0);
    ASSERT_TRUE(g.qry->MemData()->OnRowsAppended);
    g.src->SetEnabled(false);
    // The data set may now be worked on elsewhere: the view reads none of it and is not told of its fetches.
    EXPECT_EQ(g.grid->model()->rowCount(), 0);
    EXPECT_FALSE(g.grid->model()->canFetchMore(QModelIndex()));
    EXPECT_FALSE(g.qry->MemData()->OnRowsAppended);
    g.qry->Last();
    QApplication::processEvents();
    EXPECT_EQ(g.grid->model()->rowCount(), 0);
    g.src->SetEnabled(true);
    QApplication::processEvents();
    EXPECT_EQ(g.grid->model()->rowCount(), 200);
    EXPECT_EQ(g.Cell(199, 1), "Name 200");
    EXPECT_TRUE(g.qry->MemData()->OnRowsAppended);
    EXPECT_TRUE(g.errors.empty());
}
