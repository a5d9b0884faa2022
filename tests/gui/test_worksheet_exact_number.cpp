// NUMBER values wider than a double in the worksheet's real window: the grid's cells, the footer's sum and
// the clipboard copy show every digit of what the emulator holds.
#include "grid/QxGridModel.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

using namespace guitest;

namespace {

const QString kNines38 = "99999999999999999999999999999999999999";
const QString kTwenty = "12345678901234567890";

class WorksheetExactNumbers : public TWorksheetRig<0, 10> {
protected:
    void BeforeWindow() override {
        auto s = oratest::MakeSession(emu);
        s->Connect();
        for (const char* sql : {"CREATE TABLE T_WIDE (ID NUMBER(5), BIG NUMBER)",
                                "INSERT INTO T_WIDE VALUES (1, 12345678901234567890)",
                                "INSERT INTO T_WIDE VALUES (2, 99999999999999999999999999999999999999)",
                                "INSERT INTO T_WIDE VALUES (3, 0.5)"}) {
            TOraSQL q(s.get());
            q.SetSQL(sql);
            q.Execute();
        }
        s->Commit();
    }
    QString Cell(int row, int col) {
        QAbstractItemModel* m = w->DBGrid->model();
        return m->data(m->index(row, col)).toString();
    }
};

} // namespace

TEST_F(WorksheetExactNumbers, CellsFooterSumAndClipboardShowEveryDigit) {
    Run("SELECT ID, BIG FROM T_WIDE ORDER BY ID");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(w->StatusText(), "OK");
    ASSERT_EQ(w->DBGrid->model()->rowCount(), 3);
    EXPECT_EQ(Cell(0, 1), kTwenty);
    EXPECT_EQ(Cell(1, 1), kNines38);
    EXPECT_EQ(Cell(2, 1), "0.5");
    // Numbers stay right-aligned.
    const QVariant align = w->DBGrid->model()->data(w->DBGrid->model()->index(1, 1), Qt::TextAlignmentRole);
    EXPECT_TRUE(Qt::Alignment(align.toInt()) & Qt::AlignRight);

    // The footer's sum of the column.
    TQxDBGrid* g = w->DBGrid;
    g->SetOptionsEx(g->OptionsEx() | dgeSummary);
    g->Columns(1)->SetSummaryMode(smSum);
    g->Footer()->repaint();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !w->Run()->Busy() && g->Columns(1)->SummaryComputed(); }, 10000));
    EXPECT_EQ(g->Columns(1)->SummaryText(), "100000000000000000012345678901234567889.5");
    g->horizontalHeader()->resizeSection(1, 330);
    QTest::qWait(50);
    vtest::Snapshot(*w, "worksheet-exact-numbers");

    // The clipboard copy.
    QGuiApplication::clipboard()->setText("vorher");
    w->BitBtn2->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "ID\tBIG\r\n1\t" + kTwenty + "\r\n2\t" + kNines38 + "\r\n3\t0.5\r\n");
}
