// The current protocol's own types in the worksheet's real window: the grid shows each value as the server
// holds it (all fraction digits, the zone, the interval's fields), national text with visible substitutes.
#include "oranet/NetHandles.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QHeaderView>

using namespace guitest;

namespace {

class WorksheetNativeTypes : public TWorksheetRig<0, 10> {
protected:
    void BeforeWindow() override {
        oranet::SetOfferCurrentProtocol(true);
        auto s = oratest::MakeSession(emu);
        s->Connect();
        for (const char* sql :
             {"CREATE TABLE T_NATIVE (ID NUMBER(5), TS TIMESTAMP(9), TSTZ TIMESTAMP(9) WITH TIME ZONE, "
              "IDS INTERVAL DAY(2) TO SECOND(6), NV NVARCHAR2(20), B BOOLEAN)",
              "INSERT INTO T_NATIVE VALUES (1, '2024-02-29 13:45:00.123456789', "
              "'2024-01-01 10:00:00.000000001 +14:00', '-01 02:03:04.5', UNISTR('Gr\\00FC\\00DFe \\03A9'), "
              "1)",
              "INSERT INTO T_NATIVE VALUES (2, '-4712-01-01 00:00:00', '9999-12-31 11:59:59.999999999 "
              "-12:00', "
              "NULL, NULL, 0)"}) {
            TOraSQL q(s.get());
            q.SetSQL(sql);
            q.Execute();
        }
        s->Commit();
    }
    void TearDown() override {
        TWorksheetRig<0, 10>::TearDown();
        oranet::SetOfferCurrentProtocol(false);
    }
    QString Cell(int row, int col) {
        QAbstractItemModel* m = w->DBGrid->model();
        return m->data(m->index(row, col)).toString();
    }
};

} // namespace

TEST_F(WorksheetNativeTypes, CellsShowEveryDigitAndTheZone) {
    Run("SELECT ID, TS, TSTZ, IDS, NV, B FROM T_NATIVE ORDER BY ID");
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(w->DBGrid->model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 1), "2024-02-29 13:45:00.123456789");
    EXPECT_EQ(Cell(0, 2), "2024-01-01 10:00:00.000000001 +14:00");
    EXPECT_EQ(Cell(0, 3), "-01 02:03:04.500000");
    EXPECT_EQ(Cell(0, 4), QString::fromUtf8("Grüße ?"));
    EXPECT_EQ(Cell(0, 5), "TRUE");
    EXPECT_EQ(Cell(1, 1), "-4712-01-01 00:00:00.000000000");
    EXPECT_EQ(Cell(1, 2), "9999-12-31 11:59:59.999999999 -12:00");
    EXPECT_EQ(Cell(1, 5), "FALSE");
    for (int c = 1; c <= 3; ++c)
        w->DBGrid->horizontalHeader()->resizeSection(c, 290);
    QTest::qWait(50);
    vtest::Snapshot(*w, "worksheet-native-types");
}
