// Closing the worksheet while a statement runs on a network that has stopped answering (the break gets no
// reply): the wait for the statement ends after the stop's time limit, the program closes cleanly and no
// message shows on the way out.
#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "tests/gui/FreezingProxy.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace guitest;

namespace {

vemu::EmuOptions Slow() {
    vemu::EmuOptions o;
    o.benchRows = 200;
    o.slowFetchMs = 100;
    return o;
}

TEST(WorksheetStopWait, ClosingWhileTheNetworkIsDeadEndsAfterTheStopsTimeLimitWithoutAMessage) {
    oratest::TEmu emu(Slow());
    TFreezingProxy proxy(emu.emu.Port());
    SetProgramFolderForTests(BinFolder().toStdString());
    std::unique_ptr<TFVestra> w = StartLoggedOn(proxy.Server());
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->Sess.Connected());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(w->Run()->StopWaitMs, 3000);
    w->Mmo->setPlainText("SELECT ID, NAME FROM BENCH ORDER BY ID");
    w->BtnExec->click();
    ASSERT_TRUE(w->Run()->Busy());
    QTest::qWait(300);
    proxy.Freeze();
    QTest::qWait(100);

    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    const qint64 ms = t.elapsed();
    EXPECT_GE(ms, 2500) << "the statement ended without the time limit";
    EXPECT_LT(ms, 4500);
    EXPECT_FALSE(w->Run()->Busy());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The cut connection was closed quietly on the way out.
    EXPECT_FALSE(w->Sess.Connected());
    QTest::qWait(50);
    w.reset();
    SetProgramFolderForTests("");
}

} // namespace
