// The schema browser's lists and buttons off the GUI thread, through the real window against a slow
// emulator: the event loop keeps running while the dictionary is read, the panel is disabled meanwhile, Stop
// ends a list with the cancel error, and the next statement runs normally.
#include "app/gui/SchemaPanel.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QComboBox>
#include <QListWidget>

#include <string>
#include <vector>

using namespace guitest;

namespace {

std::vector<std::string> Column(oratest::TEmu& emu, const std::string& sql) {
    auto s = oratest::MakeSession(emu);
    s->Connect();
    TOraQuery q(s.get());
    q.SetSQL(sql);
    q.Open();
    std::vector<std::string> out;
    for (; !q.Eof(); q.Next())
        out.push_back(q.Fields(0)->AsString());
    return out;
}

std::vector<std::string> Items(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(list->item(i)->text().toStdString());
    return out;
}

// Every row of the dictionary lists takes a tenth of a second.
class SchemaBrowserBackground : public TWorksheetRig<100, 50> {
protected:
    TSchemaPanel* panel = nullptr;

    void SetUp() override {
        TWorksheetRig::SetUp();
        if (HasFatalFailure()) return;
        panel = qobject_cast<TSchemaPanel*>(w->Panel4());
        ASSERT_TRUE(panel);
    }
    bool WaitIdle(int ms = 20000) { return TWorksheetRig::WaitIdle(ms); }
    // Until the owner box is filled and the table list loaded after it.
    bool WaitListsLoaded() {
        return QTest::qWaitFor([this] { return !w->Run()->Busy() && panel->LBTabellen2->count() > 0; },
                               30000);
    }
};

TEST_F(SchemaBrowserBackground, TheListsLoadWhileTheWindowKeepsAnsweringAndThePanelWaitsForThem) {
    const auto allTables =
        Column(emu, "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES");
    ASSERT_GT(allTables.size(), 5u);
    TGapMeter meter;
    w->BitBtn4->click();
    ASSERT_TRUE(panel->isVisible());
    // The owners are being read: the panel and what would start another statement wait, Stop is offered.
    ASSERT_TRUE(w->Run()->Busy());
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_FALSE(panel->CBBenutzer2->isEnabled());
    EXPECT_FALSE(panel->LBTabellen2->isEnabled());
    EXPECT_FALSE(w->BtnExec->isEnabled());
    EXPECT_TRUE(w->Run()->BtnStop->isEnabled());
    EXPECT_EQ(panel->CBBenutzer2->count(), 1); // "*ALLE*" until the owners have arrived
    vtest::Snapshot(*w, "worksheet-browser-loading");
    meter.Restart();
    ASSERT_TRUE(WaitListsLoaded());
    EXPECT_LT(meter.maxGap, 100) << "the event loop stalled";
    EXPECT_TRUE(panel->isEnabled());
    EXPECT_TRUE(panel->LBTabellen2->isEnabled());
    EXPECT_FALSE(w->Run()->BtnStop->isEnabled());
    EXPECT_EQ(panel->CBBenutzer2->itemText(0), "*ALLE*");
    EXPECT_EQ(panel->CBBenutzer2->currentIndex(), 0);
    EXPECT_GT(panel->CBBenutzer2->count(), 2);
    EXPECT_EQ(Items(panel->LBTabellen2), allTables);
    vtest::Snapshot(*w, "worksheet-browser-loaded");
    meter.Restart();

    // Choosing an owner reads its tables the same way.
    panel->CBBenutzer2->setCurrentIndex(panel->CBBenutzer2->findText("SCOTT"));
    EXPECT_TRUE(w->Run()->Busy());
    EXPECT_EQ(panel->LBTabellen2->count(), 0);
    ASSERT_TRUE(WaitListsLoaded());
    for (const std::string& t : Items(panel->LBTabellen2))
        EXPECT_EQ(t.rfind("SCOTT.", 0), 0u) << t;
    EXPECT_FALSE(panel->LBTabellen2->findItems("SCOTT.BENCH", Qt::MatchExactly).isEmpty());
    EXPECT_LT(meter.maxGap, 100);
}

TEST_F(SchemaBrowserBackground, StopEndsTheTableListWithTheCancelErrorAndAButtonRunsNormallyAfterwards) {
    w->BitBtn4->click();
    // The owners first (a few rows), then the long list of every table.
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return panel->CBBenutzer2->count() > 1 && w->Run()->Busy(); }, 20000));
    ASSERT_TRUE(WaitFetching());
    QElapsedTimer since;
    since.start();
    auto box = CatchBox(since);
    w->Run()->BtnStop->click();
    ASSERT_TRUE(WaitIdle(5000));
    ASSERT_GE(box->atMs, 0) << "no error box";
    EXPECT_LT(box->atMs, 1000);
    EXPECT_TRUE(box->text.contains("ORA-01013")) << box->text.toStdString();
    EXPECT_TRUE(panel->isEnabled());

    // The session goes on: SCOTT's tables load, and "Anz" counts SCOTT.EMP on the worksheet query.
    panel->CBBenutzer2->setCurrentIndex(panel->CBBenutzer2->findText("SCOTT"));
    ASSERT_TRUE(WaitListsLoaded());
    auto found = panel->LBTabellen2->findItems("SCOTT.EMP", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    w->activateWindow();
    panel->LBTabellen2->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([this] { return panel->BtnZusAnz->isEnabled(); }, 3000));
    // Choosing the item runs its content in the worksheet, as a click does; "Anz" then counts.
    panel->LBTabellen2->setCurrentItem(found[0]);
    ASSERT_TRUE(WaitIdle());
    panel->BtnZusAnz->click();
    EXPECT_TRUE(w->Run()->Busy());
    EXPECT_EQ(w->DBGrid->DataSet(), nullptr); // the grid lets go of the query meanwhile
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.SQL(), " select  COUNT(*) as Anzahl from SCOTT.EMP");
    EXPECT_EQ(w->Qry.FieldByName("ANZAHL")->AsInteger(), 14);
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 1);
}

TEST_F(SchemaBrowserBackground, StoppingTheOwnerListLeavesTheTableListUnread) {
    w->BitBtn4->click();
    ASSERT_TRUE(w->Run()->Busy());
    ASSERT_TRUE(WaitFetching());
    ASSERT_EQ(panel->CBBenutzer2->count(), 1) << "the owner list ended before the test could stop it";
    QElapsedTimer since;
    since.start();
    auto box = CatchBox(since);
    w->Run()->BtnStop->click();
    ASSERT_TRUE(WaitIdle(5000));
    ASSERT_GE(box->atMs, 0);
    EXPECT_TRUE(box->text.contains("ORA-01013")) << box->text.toStdString();
    // No second list is started after the user stopped the first.
    QTest::qWait(300);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_EQ(panel->LBTabellen2->count(), 0);
    EXPECT_EQ(panel->CBBenutzer2->currentIndex(), 0);
}

} // namespace
