// The worksheet's real window against an emulator whose fetches are slowed down, for the tests of what runs
// off the GUI thread: a meter of the event loop's pauses, waits for the run's end and for the server's rows,
// and a catcher for the error box a break brings.
#pragma once

#include "app/ProgramFolder.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "grid/QxGrid.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace guitest {

// Measures the longest pause of the GUI thread's event loop with a 10 ms timer.
struct TGapMeter {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, maxGap = 0;
    int ticks = 0;
    TGapMeter() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            maxGap = std::max(maxGap, now - last);
            last = now;
            ++ticks;
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

// The table BENCH has kBenchRows rows (ID 1..kBenchRows); every row the server sends takes kSlowMs.
template <int kSlowMs, int kBenchRows = 200> class TWorksheetRig : public ::testing::Test {
protected:
    static vemu::EmuOptions SlowServer(std::atomic<long long>* checks) {
        vemu::EmuOptions o;
        o.benchRows = kBenchRows;
        o.slowFetchMs = kSlowMs; // at 100 ms the first block of 25 rows takes 2.5 s
        o.breakChecks = checks;
        return o;
    }

    std::atomic<long long> breakChecks{0};
    oratest::TEmu emu{SlowServer(&breakChecks)};
    std::unique_ptr<TFVestra> w;
    std::unique_ptr<QAbstractItemModelTester> tester;

    // Around the window's start: what a test prepares on the server first, and sets up afterwards.
    virtual void BeforeWindow() {}
    virtual void AfterWindow() {}

    void SetUp() override {
        BeforeWindow();
        if (this->HasFatalFailure()) return;
        SetProgramFolderForTests(BinFolder().toStdString());
        w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        ASSERT_TRUE(w->Run());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        // A broken model contract aborts the test.
        ASSERT_TRUE(w->DBGrid->model());
        tester = std::make_unique<QAbstractItemModelTester>(
            w->DBGrid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        AfterWindow();
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
    void Activate() {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void Run(const QString& sql) {
        w->Mmo->setPlainText(sql);
        w->Mmo->setFocus();
        Activate();
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    bool WaitIdle(int ms = 10000) {
        return QTest::qWaitFor([this] { return !w->Run()->Busy(); }, ms);
    }
    // The server is sending the rows of the running query.
    bool WaitFetching() {
        const long long before = breakChecks.load();
        return QTest::qWaitFor([&] { return breakChecks.load() >= before + 2; }, 10000);
    }
    // Arms a catcher for the error box that the break brings: its text and when it showed.
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

} // namespace guitest
