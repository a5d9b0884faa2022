// The worksheet's runner: one statement at a time on a thread of its own, its end on the owning thread
// through a queue, the break from the owning thread; and the controller's Execute run through it against the
// emulator, stopped with a break.
#include "app/History.h"
#include "app/Worksheet.h"
#include "app/WorksheetController.h"
#include "app/WorksheetRunner.h"
#include "dataset/DAHooks.h"
#include "tests/WaitFor.h"
#include "tests/oracle/OraE2e.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Runs the queue until the runner has delivered (at most 20 s).
void PumpUntilIdle(TQueuePoster& q, TWorksheetRunner& r) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (r.Busy() && std::chrono::steady_clock::now() < end)
        q.WaitAndRun(10);
}

TEST(WorksheetRunner, TheWorkRunsOnItsOwnThreadAndItsEndOnlyWhenTheOwnerPumps) {
    TQueuePoster q;
    TWorksheetRunner r(q, nullptr);
    EXPECT_FALSE(r.Busy());
    std::atomic<bool> ran{false};
    std::thread::id workThread;
    int doneCalls = 0;
    std::exception_ptr got = std::make_exception_ptr(1);
    r.Start(
        [&] {
            workThread = std::this_thread::get_id();
            ran = true;
        },
        [&](std::exception_ptr e) {
            ++doneCalls;
            got = e;
        });
    EXPECT_TRUE(r.Busy());
    ASSERT_TRUE(vtest::WaitFor([&] { return ran.load(); }));
    // The work is over, but the owner has not taken its end yet.
    EXPECT_TRUE(r.Busy());
    EXPECT_EQ(doneCalls, 0);
    PumpUntilIdle(q, r);
    EXPECT_FALSE(r.Busy());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_EQ(got, nullptr);
    EXPECT_NE(workThread, std::this_thread::get_id());
    // One at a time: the next run starts after the end.
    bool second = false;
    r.Start([] {}, [&](std::exception_ptr) { second = true; });
    EXPECT_THROW(r.Start([] {}, nullptr), std::logic_error);
    PumpUntilIdle(q, r);
    EXPECT_TRUE(second);
    EXPECT_EQ(doneCalls, 1);
}

TEST(WorksheetRunner, AFailingWorkHandsItsExceptionToTheOwner) {
    TQueuePoster q;
    TWorksheetRunner r(q, nullptr);
    std::string message;
    r.Start([] { throw std::runtime_error("ORA-00942: table or view does not exist"); },
            [&](std::exception_ptr e) {
                try {
                    if (e) std::rethrow_exception(e);
                } catch (const std::exception& x) {
                    message = x.what();
                }
            });
    PumpUntilIdle(q, r);
    EXPECT_EQ(message, "ORA-00942: table or view does not exist");
}

TEST(WorksheetRunner, StopBreaksWhileTheWorkRunsAndNeverAfterIt) {
    TQueuePoster q;
    std::atomic<int> breaks{0};
    std::atomic<bool> broken{false};
    TWorksheetRunner r(q, [&] {
        ++breaks;
        broken = true;
    });
    EXPECT_FALSE(r.Stop()); // idle
    std::atomic<bool> started{false};
    r.Start(
        [&] {
            started = true;
            // A server call that ends only when it is broken.
            while (!broken)
                std::this_thread::sleep_for(1ms);
            throw std::runtime_error("ORA-01013: user requested cancel of current operation");
        },
        nullptr);
    ASSERT_TRUE(vtest::WaitFor([&] { return started.load(); }));
    EXPECT_TRUE(r.Stop());
    // A second Stop passes the break on as well: one that found the work between two server calls
    // interrupted nothing (the network client sends at most one marker per call).
    EXPECT_TRUE(r.Stop());
    PumpUntilIdle(q, r);
    EXPECT_EQ(breaks.load(), 2);

    // Work that has ended (its end not yet taken) is not broken: the server has nothing to interrupt.
    std::atomic<bool> finished{false};
    r.Start([&] { finished = true; }, nullptr);
    ASSERT_TRUE(vtest::WaitFor([&] { return finished.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(r.Busy());
    EXPECT_FALSE(r.Stop());
    PumpUntilIdle(q, r);
    EXPECT_EQ(breaks.load(), 2);
}

TEST(WorksheetRunner, WorkOfManyStepsSeesTheStopBetweenThemAndTheNextRunStartsUnstopped) {
    TQueuePoster q;
    TWorksheetRunner r(q, [] {}); // a break that interrupts nothing: the work has to ask
    EXPECT_FALSE(r.StopRequested());
    std::atomic<bool> started{false};
    std::atomic<int> steps{0};
    r.Start(
        [&] {
            started = true;
            const auto end = std::chrono::steady_clock::now() + 20s;
            while (!r.StopRequested() && std::chrono::steady_clock::now() < end) {
                ++steps;
                std::this_thread::sleep_for(1ms);
            }
        },
        nullptr);
    ASSERT_TRUE(vtest::WaitFor([&] { return started.load(); }));
    EXPECT_FALSE(r.StopRequested());
    EXPECT_TRUE(r.Stop());
    EXPECT_TRUE(r.StopRequested());
    PumpUntilIdle(q, r);
    EXPECT_FALSE(r.Busy());
    const int stoppedAt = steps.load();
    EXPECT_GE(stoppedAt, 1);

    bool sawStop = true;
    r.Start([&] { sawStop = r.StopRequested(); }, nullptr);
    PumpUntilIdle(q, r);
    EXPECT_FALSE(sawStop);
    EXPECT_EQ(steps.load(), stoppedAt);
}

TEST(WorksheetRunner, FinishEndsTheRunAtOnceAndTheQueuedEndFindsNothingToDo) {
    TQueuePoster q;
    std::atomic<bool> broken{false};
    TWorksheetRunner r(q, [&] { broken = true; });
    int doneCalls = 0;
    bool failed = false;
    std::atomic<bool> started{false};
    r.Start(
        [&] {
            started = true;
            while (!broken)
                std::this_thread::sleep_for(1ms);
            throw std::runtime_error("cancelled");
        },
        [&](std::exception_ptr e) {
            ++doneCalls;
            failed = e != nullptr;
        });
    ASSERT_TRUE(vtest::WaitFor([&] { return started.load(); }));
    r.Finish();
    EXPECT_FALSE(r.Busy());
    EXPECT_EQ(doneCalls, 1);
    EXPECT_TRUE(failed);
    EXPECT_EQ(q.RunPending(), 1u); // the thread's own end, which does nothing now
    EXPECT_EQ(doneCalls, 1);
    r.Finish(); // idle: nothing
    EXPECT_EQ(doneCalls, 1);
}

TEST(WorksheetRunner, DestroyingTheRunnerStopsTheWorkAndWaitsForIt) {
    TQueuePoster q;
    std::atomic<bool> broken{false};
    std::atomic<bool> left{false};
    int doneCalls = 0;
    {
        TWorksheetRunner r(q, [&] { broken = true; });
        std::atomic<bool> started{false};
        r.Start(
            [&] {
                started = true;
                while (!broken)
                    std::this_thread::sleep_for(1ms);
                left = true;
            },
            [&](std::exception_ptr) { ++doneCalls; });
        ASSERT_TRUE(vtest::WaitFor([&] { return started.load(); }));
    }
    EXPECT_TRUE(left.load());
    q.RunPending();
    EXPECT_EQ(doneCalls, 0); // dropped with the runner
}

// ---- The controller's Execute through the runner, against the emulator ----

struct TQuietView : IWorksheetView {
    std::vector<std::string> status;
    std::string historyLabel;
    bool cr = false;
    std::vector<bool> attached;
    void SetStatus(const std::string& t) override { status.push_back(t); }
    void SetCommitRollbackEnabled(bool on) override { cr = on; }
    void SetHistoryLabel(const std::string& t) override { historyLabel = t; }
    bool AskParameters(std::vector<std::pair<std::string, std::string>>&) override { return false; }
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return true; }
    void ResetGrid() override {}
    void SetGridAttached(bool on) override { attached.push_back(on); }
};

struct TBackgroundRig {
    std::atomic<long long> breakChecks{0};
    oratest::TEmu emu;
    std::unique_ptr<TOraSession> s;
    TOraQuery qry;
    THistory history;
    TQuietView view;
    TWorksheetController c{*s, qry, history, view};
    TQueuePoster q;
    TWorksheetRunner r{q, [this] { s->OCIConnection()->Break(); }};

    // By default the first block of 25 rows takes 5 s.
    static vemu::EmuOptions Slow(std::atomic<long long>* checks, int rows, int slowFetchMs) {
        vemu::EmuOptions o;
        o.benchRows = rows;
        o.slowFetchMs = slowFetchMs;
        o.breakChecks = checks;
        return o;
    }
    explicit TBackgroundRig(int rows = 200, int slowFetchMs = 200)
        : emu(Slow(&breakChecks, rows, slowFetchMs)), s(oratest::MakeSession(emu)) {
        s->Connect();
        qry.SetSession(s.get());
    }
    ~TBackgroundRig() { r.Finish(); }
    // Runs text as the window does; returns the error text ("" after success).
    std::string Run(const std::string& text, bool stop = false,
                    std::chrono::microseconds stopAfter = std::chrono::microseconds(-1)) {
        EXPECT_TRUE(c.BeginExecute(text));
        std::string error;
        bool ended = false;
        r.Start([this] { c.RunStatement(); },
                [&, text](std::exception_ptr e) {
                    ended = true;
                    if (!e) return c.EndExecute(text);
                    try {
                        std::rethrow_exception(e);
                    } catch (const std::exception& x) {
                        error = x.what();
                    }
                });
        if (stop) {
            EXPECT_TRUE(vtest::WaitFor([&] { return breakChecks.load() >= 2; })); // the rows are on their way
            EXPECT_TRUE(r.Stop());
        }
        if (stopAfter.count() >= 0) {
            std::this_thread::sleep_for(stopAfter);
            r.Stop(); // the work may be over already: then nothing is sent
        }
        PumpUntilIdle(q, r);
        EXPECT_TRUE(ended);
        return error;
    }
};

TEST(WorksheetRunnerOnTheServer, AStoppedQueryEndsWithTheCancelErrorAndTheNextStatementRuns) {
    TBackgroundRig rig;
    const auto t0 = std::chrono::steady_clock::now();
    const std::string error = rig.Run("SELECT ID, NAME FROM BENCH ORDER BY ID", true);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s); // far less than the 5 s of the first block
    EXPECT_NE(error.find("ORA-01013"), std::string::npos) << error;
    // A failed statement: "..." stays, nothing is recorded.
    EXPECT_EQ(rig.view.status.back(), kStatusBusy);
    EXPECT_EQ(rig.history.Count(), 0);

    EXPECT_EQ(rig.Run("select count(*) from dept"), "");
    EXPECT_EQ(rig.view.status.back(), "OK");
    EXPECT_EQ(rig.view.historyLabel, "1 / 1");
    ASSERT_TRUE(rig.qry.Active());
    EXPECT_EQ(rig.qry.Fields(0)->AsInteger(), 4);

    EXPECT_EQ(rig.Run("update dept set loc = loc where deptno = 10"), "");
    EXPECT_EQ(rig.view.status.back(), "1 Datens\xE4tze verarbeitet!");
    EXPECT_TRUE(rig.view.cr);
    EXPECT_EQ(rig.view.historyLabel, "2 / 2");
}

// A Stop at any moment of a short query: before its first call, during its calls, as the last one ends or
// after the work is over. The query either ends with the cancel error or brings its rows, and the next
// statement always runs: no break is left over for it.
TEST(WorksheetRunnerOnTheServer, AStopAtAnyMomentLeavesTheNextStatementWorking) {
    TBackgroundRig rig(20, 1); // ten rows take about 10 ms
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delayUs(0, 16000);
    int stopped = 0, whole = 0;
    for (int round = 0; round < 150; ++round) {
        const std::string error =
            rig.Run("SELECT ID FROM BENCH WHERE ID <= 10", false, std::chrono::microseconds(delayUs(random)));
        if (error.empty()) {
            ++whole;
        } else {
            ++stopped;
            ASSERT_NE(error.find("ORA-01013"), std::string::npos) << "round " << round << ": " << error;
        }
        ASSERT_EQ(rig.Run("select count(*) from dept"), "") << "round " << round;
        ASSERT_TRUE(rig.qry.Active());
        ASSERT_EQ(rig.qry.Fields(0)->AsInteger(), 4) << "round " << round;
    }
    EXPECT_GT(stopped, 0);
    EXPECT_GT(whole, 0);
}

} // namespace

namespace {

TEST(CallLimit, CutsOnlyCallsThatOutliveTheLimitAndNeverAfterTheyEnded) {
    std::atomic<int> cuts{0};
    {
        // Calls that end in time: no cut, and the limit's end does not wait for the time to pass.
        const auto t0 = std::chrono::steady_clock::now();
        {
            TCallLimit limit([&] { ++cuts; }, 5000);
            std::this_thread::sleep_for(5ms);
            EXPECT_FALSE(limit.Cut());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    }
    EXPECT_EQ(cuts.load(), 0);
    {
        // A call that waits until it is cut, as a socket read does until the line goes.
        std::atomic<bool> released{false};
        TCallLimit limit(
            [&] {
                ++cuts;
                released = true;
            },
            50);
        const auto t0 = std::chrono::steady_clock::now();
        while (!released && std::chrono::steady_clock::now() - t0 < 5s)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(released.load());
        EXPECT_GE(std::chrono::steady_clock::now() - t0, 40ms);
        EXPECT_TRUE(limit.Cut());
    }
    EXPECT_EQ(cuts.load(), 1);
    // A cut that fails (the connection is already gone) is no error of the limit.
    {
        TCallLimit limit([] { throw std::runtime_error("gone"); }, 1);
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(limit.Cut());
    }
}

} // namespace
