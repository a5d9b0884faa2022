// The schema browser's lists and buttons off the GUI thread, through the real window against a slow
// emulator: the event loop keeps running while the dictionary is read, the panel is disabled meanwhile, Stop
// ends a list with the cancel error, and the next statement runs normally.
#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "grid/QxGrid.h"
#include "tests/Snapshot.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace guitest;

namespace {

// Measures the longest pause of the GUI thread's event loop with a 10 ms timer.
struct TGapMeter {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, maxGap = 0;
    TGapMeter() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            maxGap = std::max(maxGap, now - last);
            last = now;
        });
        clock.start();
        timer.start();
    }
    // Starts the measurement again (after the test itself held the GUI thread, for a picture).
    void Restart() {
        last = clock.elapsed();
        maxGap = 0;
    }
};

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

class SchemaBrowserBackground : public ::testing::Test {
protected:
    std::atomic<long long> breakChecks{0};
    oratest::TEmu emu{Options()};
    std::unique_ptr<TFVestra> w;
    std::unique_ptr<QAbstractItemModelTester> tester;
    TSchemaPanel* panel = nullptr;

    vemu::EmuOptions Options() {
        vemu::EmuOptions o;
        o.benchRows = 50;
        o.slowFetchMs = 100; // every row of the dictionary lists takes a tenth of a second
        o.breakChecks = &breakChecks;
        return o;
    }
    void SetUp() override {
        SetProgramFolderForTests(BinFolder().toStdString());
        TConnectForm::OnShown = [](TConnectForm& f) {
            QTimer::singleShot(0, &f, [&f] { f.btConnect->click(); });
        };
        TStartOptions o;
        o.connect = "scott/tiger@" + emu.Server();
        o.haveConnect = true;
        w.reset(CreateVestra(o));
        TConnectForm::OnShown = nullptr;
        ASSERT_TRUE(w);
        ASSERT_TRUE(w->Run());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ASSERT_TRUE(w->DBGrid->model());
        tester = std::make_unique<QAbstractItemModelTester>(
            w->DBGrid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        panel = qobject_cast<TSchemaPanel*>(w->Panel4());
        ASSERT_TRUE(panel);
    }
    void TearDown() override {
        CancelPendingModals();
        tester.reset();
        if (w) {
            w->Run()->StopAndWait();
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
    }
    bool WaitIdle(int ms = 20000) {
        return QTest::qWaitFor([this] { return !w->Run()->Busy(); }, ms);
    }
    // The server is sending the rows of the running list.
    bool WaitFetching() {
        const long long before = breakChecks.load();
        return QTest::qWaitFor([&] { return breakChecks.load() >= before + 2; }, 10000);
    }
    // Until the owner box is filled and the table list loaded after it.
    bool WaitListsLoaded() {
        return QTest::qWaitFor([this] { return !w->Run()->Busy() && panel->LBTabellen2->count() > 0; },
                               30000);
    }
    struct TBoxSeen {
        QString text;
        qint64 atMs = -1;
    };
    std::shared_ptr<TBoxSeen> CatchBox(const QElapsedTimer& since) {
        auto seen = std::make_shared<TBoxSeen>();
        OnNextModal([seen, &since](QWidget* box) {
            if (!box) return;
            seen->atMs = since.elapsed();
            seen->text = MessageText(box);
            ClickButton(box, QMessageBox::Ok);
        });
        return seen;
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
    panel->LBTabellen2->setCurrentItem(found[0]);
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
