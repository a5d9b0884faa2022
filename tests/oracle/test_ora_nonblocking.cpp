// NonBlocking queries: execution and fetching on a background thread while the owning thread keeps running,
// completion carried back through the main-thread poster, and a close during the fetch.
#include "OraE2e.h"

#include "dataset/DAHooks.h"
#include "tests/WaitFor.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace oratest;

namespace {

struct PosterGuard {
    TQueuePoster poster;
    PosterGuard() { SetMainThreadPoster(&poster); }
    ~PosterGuard() {
        poster.RunPending();
        SetMainThreadPoster(nullptr);
    }
};

TEST(OraNonBlocking, FetchAllRunsInTheBackgroundWhileTheMainThreadGoesOn) {
    std::atomic<long long> breakChecks{0};
    vemu::EmuOptions o;
    o.benchRows = 1000;
    o.slowFetchMs = 1;
    o.breakChecks = &breakChecks; // one per row sent (and one per progress step of the statement)
    TEmu emu(o);
    PosterGuard pg;
    auto s = MakeSession(emu);
    s->Connect();
    TOraQuery q(s.get());
    q.SetNonBlocking(true);
    q.SetFetchAll(true);
    q.SetSQL("SELECT ID, NAME FROM BENCH ORDER BY ID");
    bool done = false, result = false;
    q.AfterExecute = [&](void*, bool r) {
        done = true;
        result = r;
    };
    auto start = std::chrono::steady_clock::now();
    q.Open();
    // Open has returned before the rows: the completion runs only from the owning thread's event loop, and
    // the server has not sent them all.
    EXPECT_FALSE(done);
    EXPECT_LT(breakChecks.load(), 1000);
    int turns = 0;
    while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        ++turns; // the owning thread is free while the rows arrive
        pg.poster.WaitAndRun(10);
    }
    ASSERT_TRUE(done);
    EXPECT_TRUE(result);
    EXPECT_GT(turns, 1);
    EXPECT_GE(breakChecks.load(), 1000);
    EXPECT_EQ(q.RecordCount(), 1000);
    q.First();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
    q.Last();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1000);
}

TEST(OraNonBlocking, CloseDuringTheFetchBreaksAndEndsCleanly) {
    std::atomic<long long> breakChecks{0};
    vemu::EmuOptions o;
    o.benchRows = 1000;
    o.slowFetchMs = 20;
    o.breakChecks = &breakChecks;
    TEmu emu(o);
    PosterGuard pg;
    auto s = MakeSession(emu);
    s->Connect();
    TOraQuery q(s.get());
    q.SetNonBlocking(true);
    q.SetFetchAll(true);
    q.SetSQL("SELECT ID FROM BENCH");
    q.Open();
    pg.poster.RunPending(); // the background run starts once the open has returned to the event loop
    EXPECT_TRUE(vtest::WaitFor([&] { return breakChecks.load() >= 2; })); // the fetch is under way
    EXPECT_TRUE(q.OCIRecordSet()->BackgroundRunning());
    q.Close();
    // The break ends the server call: the close does not wait for the remaining rows (about 20 s).
    EXPECT_LT(breakChecks.load(), 1000);
    EXPECT_FALSE(q.Active());
    EXPECT_NO_THROW(pg.poster.RunPending());
    // The session is still usable.
    TOraQuery again(s.get());
    again.SetSQL("SELECT COUNT(*) FROM DEPT");
    again.Open();
    EXPECT_EQ(again.Fields(0)->AsInteger(), 4);
}

TEST(OraNonBlocking, AFailingBackgroundStatementReportsOnTheOwningThreadAfterTheCallback) {
    TEmu emu;
    PosterGuard pg;
    auto s = MakeSession(emu);
    s->Connect();
    TOraSQL sql(s.get());
    sql.NonBlocking = true;
    sql.SetSQL("UPDATE NO_SUCH_TABLE SET X = 1");
    int calls = 0;
    bool result = true;
    sql.AfterExecute = [&](void*, bool r) {
        ++calls;
        result = r;
    };
    EXPECT_NO_THROW(sql.Execute()); // the statement runs in the background
    int code = 0;
    auto start = std::chrono::steady_clock::now();
    while (calls == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        try {
            pg.poster.WaitAndRun(10);
        } catch (EOraError& e) {
            code = e.ErrorCode;
        }
    }
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(result);
    EXPECT_EQ(code, 942);
    // The same component runs the next statement.
    sql.SetSQL("UPDATE DEPT SET LOC = LOC WHERE DEPTNO = 10");
    calls = 0;
    sql.Execute();
    start = std::chrono::steady_clock::now();
    while (calls == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
        pg.poster.WaitAndRun(10);
    EXPECT_TRUE(result);
    EXPECT_EQ(sql.RowsAffected(), 1);
}

TEST(OraNonBlocking, RequiresAThreadSafeSession) {
    TEmu emu;
    PosterGuard pg;
    auto s = MakeSession(emu);
    s->SetThreadSafety(false);
    s->Connect();
    TOraQuery q(s.get());
    q.SetNonBlocking(true);
    q.SetSQL("SELECT * FROM DEPT");
    try {
        q.Open();
        FAIL();
    } catch (std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Session must be Thread Safety");
    }
}

} // namespace
