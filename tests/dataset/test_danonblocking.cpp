// Non-blocking mode: background executions report back through the main-thread poster; the data set reacts
// with the cursor notification, disabled controls and the record-set callbacks.
#include "tests/dataset/testserver/TestComponents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsrv;

namespace {

class NBFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SeedScott(db);
        conn.ConnectPrompt = false;
        conn.Connect();
        SetMainThreadPoster(&poster);
        DAHooks().StartWait = [this] { ++start; };
        DAHooks().StopWait = [this] { ++stop; };
        DAHooks().CursorNotify = [this] { ++notify; };
    }
    void TearDown() override {
        poster.RunPending();
        SetMainThreadPoster(nullptr);
        DAHooks() = TDAHooks();
    }
    // Pumps the poster until cond holds (or a few seconds pass).
    bool PumpUntil(const std::function<bool()>& cond) {
        for (int i = 0; i < 200 && !cond(); ++i)
            poster.WaitAndRun(20);
        return cond();
    }

    TTestDatabase db;
    TTestDAConnection conn{&db};
    TQueuePoster poster;
    int start = 0, stop = 0, notify = 0;
};

} // namespace

TEST(QueuePoster, RunsTasksPostedFromOtherThreadsInOrder) {
    TQueuePoster q;
    std::vector<int> seen;
    std::thread t([&] {
        for (int i = 0; i < 50; ++i)
            q.Post([&seen, i] { seen.push_back(i); });
    });
    t.join();
    EXPECT_EQ(q.PendingCount(), 50u);
    q.Post([&] { q.Post([&] { seen.push_back(100); }); }); // a task that posts another
    EXPECT_EQ(q.RunPending(), 52u);
    ASSERT_EQ(seen.size(), 51u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(seen[size_t(i)], i);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(q.WaitAndRun(1), 0u);
}

TEST_F(NBFixture, OpenReturnsAtOnceAndTheCompletionLoadsTheRows) {
    TTestDADataSet ds;
    ds.SetConnection(&conn);
    ds.SetNonBlocking(true);
    ds.SetSQL("SELECT * FROM EMP");
    std::vector<bool> results;
    ds.AfterExecute = [&](void*, bool r) { results.push_back(r); };
    start = stop = 0;
    ds.Open();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(notify, 1); // the cursor notification instead of the wait cursor
    EXPECT_EQ(start, 0);
    EXPECT_TRUE(ds.ControlsDisabled());
    ASSERT_TRUE(PumpUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (std::vector<bool>{true}));
    EXPECT_FALSE(ds.ControlsDisabled());
    EXPECT_GE(stop, 1); // the wait ends with the completion
    EXPECT_EQ(ds.RecordCount(), 7);
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "SMITH"); // resynchronised to the first row
    EXPECT_GE(db.Find("rs.background done"), 0);
}

TEST_F(NBFixture, FailedBackgroundExecutionClosesTheDataSet) {
    TTestDADataSet ds;
    ds.SetConnection(&conn);
    ds.SetNonBlocking(true);
    ds.SetSQL("SELECT * FROM EMP");
    db.FailOnText = "EMP";
    std::vector<bool> results;
    ds.AfterExecute = [&](void*, bool r) { results.push_back(r); };
    ds.Open();
    ASSERT_TRUE(PumpUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (std::vector<bool>{false}));
    EXPECT_FALSE(ds.Active());
    EXPECT_FALSE(ds.ControlsDisabled());
}

TEST_F(NBFixture, DataSetDestroyedBeforeTheCompletionIsLeftAlone) {
    int afterExecute = 0;
    {
        TTestDADataSet ds;
        ds.SetConnection(&conn);
        ds.SetNonBlocking(true);
        ds.SetSQL("SELECT * FROM EMP");
        ds.AfterExecute = [&](void*, bool) { ++afterExecute; };
        ds.Open();
    }
    // The background statement ended with the data set, and its completion is waiting. It arrives for a
    // record set that no longer exists: it runs, and touches nothing (no fetch, no callback).
    EXPECT_GE(db.Find("rs.cmd.Execute background"), 0);
    EXPECT_EQ(poster.WaitAndRun(5000), 1u);
    EXPECT_EQ(poster.PendingCount(), 0u);
    EXPECT_EQ(afterExecute, 0);
    EXPECT_LT(db.Find("rs.background done"), 0);
}

TEST_F(NBFixture, NonBlockingSqlComponentEndsTheWaitInItsCompletion) {
    TCustomDASQL sql;
    sql.SetConnection(&conn);
    sql.NonBlocking = true;
    sql.SetSQL("UPDATE EMP SET SAL = 1 WHERE EMPNO = 7369");
    int results = 0;
    sql.AfterExecute = [&](void*, bool r) { results += r ? 1 : 100; };
    start = stop = notify = 0;
    sql.Execute();
    EXPECT_EQ(notify, 1);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(results, 1);
}
