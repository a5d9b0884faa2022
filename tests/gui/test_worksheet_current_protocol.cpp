// The worksheet over the current protocol generation, as against an Oracle 19c pluggable database: the logon
// by service name, a query, Stop of a slow one, and a password about to expire told to the user.
#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/WorksheetRun.h"
#include "grid/QxGrid.h"
#include "oranet/NetHandles.h"
#include "tests/Snapshot.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace guitest;

namespace {

class WorksheetCurrentProtocol : public ::testing::Test {
protected:
    std::atomic<long long> breakChecks{0};
    std::unique_ptr<oratest::TEmu> emu;
    std::unique_ptr<TFVestra> w;
    bool offered = false;

    // A server that, like 19c, refuses clients of the classic generation, serves the service "orclpdb1" and
    // sends the rows of BENCH slowly.
    vemu::EmuOptions Server19c() {
        vemu::EmuOptions o;
        o.generation = vemu::EmuOptions::Generation::Current;
        o.service = "orclpdb1";
        o.benchRows = 200;
        o.slowFetchMs = 100;
        o.breakChecks = &breakChecks;
        return o;
    }
    void SetUp() override {
        offered = oranet::OfferCurrentProtocol();
        oranet::SetOfferCurrentProtocol(true);
        SetProgramFolderForTests(BinFolder().toStdString());
    }
    void Start(const vemu::EmuOptions& o) {
        emu = std::make_unique<oratest::TEmu>(o);
        w = StartLoggedOn("127.0.0.1:" + std::to_string(emu->emu.Port()) + "/orclpdb1");
        ASSERT_TRUE(w);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void TearDown() override {
        CancelPendingModals();
        if (w) {
            w->Run()->StopAndWait();
            w->Controller().EndSession();
            w.reset();
        }
        emu.reset();
        SetProgramFolderForTests("");
        oranet::SetOfferCurrentProtocol(offered);
    }
    void Run(const QString& sql) {
        w->Mmo->setPlainText(sql);
        w->Mmo->setFocus();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    bool WaitIdle(int ms = 10000) {
        return QTest::qWaitFor([this] { return !w->Run()->Busy(); }, ms);
    }
};

TEST_F(WorksheetCurrentProtocol, LogsOnByServiceNameRunsAQueryAndStopsASlowOne) {
    Start(Server19c());
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(w->LblConnect->text().contains("/orclpdb1")) << w->LblConnect->text().toStdString();

    Run("select dname from dept order by deptno");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->StatusText(), "OK");
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->DBGrid->model()->rowCount(), 4);
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "ACCOUNTING");

    // The slow query is stopped with the button; the break comes back as ORA-01013 within a second.
    Run("SELECT ID, NAME FROM BENCH ORDER BY ID");
    const long long before = breakChecks.load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return breakChecks.load() >= before + 2; }, 10000));
    QElapsedTimer since;
    since.start();
    auto seen = std::make_shared<QString>();
    auto atMs = std::make_shared<qint64>(-1);
    OnNextModal([seen, atMs, &since](QWidget* box) {
        if (!box) return;
        *atMs = since.elapsed();
        *seen = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    auto* stop = w->findChild<QPushButton*>("BtnStop");
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(5000));
    EXPECT_GE(*atMs, 0);
    EXPECT_LT(*atMs, 1000);
    EXPECT_TRUE(seen->contains("ORA-01013")) << seen->toStdString();
    vtest::Snapshot(*w, "worksheet-current-protocol");

    // The session goes on after the break.
    auto next = std::make_shared<QString>();
    OnNextModal([next](QWidget* box) {
        if (!box) return;
        *next = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    Run("select count(*) from dept");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->StatusText() == "OK" || !next->isEmpty(); }, 10000))
        << w->StatusText().toStdString();
    EXPECT_EQ(*next, QString()) << "no message after the break";
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 4);

    // Characters Windows-1252 lacks show as '?', and the status line counts the values affected.
    Run("select unistr('\\03A9 und \\00E4') as a, unistr('\\2200') as b, 'schlicht' as c from dual");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "? und \xE4");
    EXPECT_EQ(w->StatusText(),
              QString::fromUtf8("OK \u2013 2 Werte mit Zeichen au\u00DFerhalb von Windows-1252 "
                                "(als ? angezeigt)"));
}

TEST_F(WorksheetCurrentProtocol, APasswordAboutToExpireIsToldAfterTheLogon) {
    vemu::EmuOptions o = Server19c();
    o.passwordExpiresInDays = 7;
    auto seen = std::make_shared<QString>();
    OnNextModal(
        [seen](QWidget* box) {
            if (!box) return;
            *seen = MessageText(box);
            ClickButton(box, QMessageBox::Ok);
        },
        "QMessageBox"); // the connect dialog comes first
    Start(o);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !seen->isEmpty(); }, 5000));
    EXPECT_TRUE(seen->startsWith("Anmeldung mit Warnung: ORA-28002")) << seen->toStdString();
    EXPECT_TRUE(seen->contains("7 days")) << seen->toStdString();
    EXPECT_TRUE(w->StatusText().startsWith("Anmeldung mit Warnung: ORA-28002"))
        << w->StatusText().toStdString();
    // The session works as any other.
    Run("select count(*) from dept");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(w->Qry.Fields(0)->AsInteger(), 4);
}

} // namespace
