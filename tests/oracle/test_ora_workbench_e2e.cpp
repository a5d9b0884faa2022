// The table workbench's query against the emulator: a non-blocking query that is executed, not opened;
// moving to its last record; rows written back through generated statements that must hit exactly one row;
// and rows read again after insert, after update and before edit.
#include "OraE2e.h"

#include "app/SchemaStatements.h"
#include "dataset/DAHooks.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace oratest;

namespace {

struct PosterGuard {
    TQueuePoster poster;
    PosterGuard() { SetMainThreadPoster(&poster); }
    ~PosterGuard() {
        poster.RunPending();
        SetMainThreadPoster(nullptr);
    }
    // Runs completions until done() or 30 s have passed.
    template <class F> bool RunUntil(F done) {
        auto start = std::chrono::steady_clock::now();
        while (!done() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            poster.WaitAndRun(10);
        return done();
    }
};

// A query set up like the workbench's QryQVExec.
void LikeTheWorkbench(TOraQuery& q, TOraUpdateSQL& upd) {
    q.Name = "QryQVExec";
    q.SetNonBlocking(true);
    q.SetAutoCommit(true);
    q.RefreshOptions = roAfterInsert | roAfterUpdate | roBeforeEdit;
    q.SetUpdateObject(&upd);
}

// The workbench's statements for a table and its fields, with the given key columns ticked.
void Generate(TOraUpdateSQL& upd, const std::string& table, const std::vector<std::string>& fields,
              const std::vector<bool>& ticked = {}) {
    schema::TWorkbenchStatements w;
    w.SetTable(table, fields);
    if (!ticked.empty()) w.ApplyKeys(ticked);
    upd.ModifySQL = w.ModifySQL();
    upd.InsertSQL = w.InsertSQL();
    upd.DeleteSQL = w.DeleteSQL();
    upd.RefreshSQL = w.RefreshSQL();
}

std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(OraWorkbenchExecute, ANonBlockingSelectIsOpenedAndReportsAResult) {
    TRig r;
    PosterGuard pg;
    TOraQuery q(r.s.get());
    q.SetNonBlocking(true);
    int calls = 0;
    bool result = false;
    q.AfterExecute = [&](void*, bool ok) {
        ++calls;
        result = ok;
    };
    q.SetSQL("Select * from SCOTT.DEPT");
    q.Execute();
    EXPECT_TRUE(q.Active());
    EXPECT_EQ(q.RowsAffected(), -1);
    ASSERT_TRUE(pg.RunUntil([&] { return calls > 0; }));
    pg.poster.RunPending();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result);
    EXPECT_EQ(q.FieldCount(), 3);
    EXPECT_EQ(q.RecordCount(), 4);
    q.First();
    EXPECT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
}

TEST(OraWorkbenchExecute, NonBlockingDmlReportsItsCountAndAfterExecuteWhenItCompletes) {
    TRig r;
    PosterGuard pg;
    TOraQuery q(r.s.get());
    q.SetNonBlocking(true);
    q.SetAutoCommit(false);
    int calls = 0;
    q.AfterExecute = [&](void*, bool) { ++calls; };
    q.SetSQL("UPDATE DEPT SET LOC = LOC WHERE DEPTNO >= 20");
    q.Execute();
    EXPECT_FALSE(q.Active());
    ASSERT_TRUE(pg.RunUntil([&] { return calls > 0; }));
    pg.poster.RunPending();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(q.RowsAffected(), 3);
    // A failing statement reports false and its error on the owning thread.
    bool ok = true;
    q.AfterExecute = [&](void*, bool res) {
        ++calls;
        ok = res;
    };
    q.SetSQL("UPDATE NO_SUCH_TABLE SET X = 1");
    q.Execute();
    int code = 0;
    auto start = std::chrono::steady_clock::now();
    while (calls < 2 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        try {
            pg.poster.WaitAndRun(10);
        } catch (EOraError& e) {
            code = e.ErrorCode;
        }
    }
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(ok);
    EXPECT_EQ(code, 942);
    r.s->Rollback();
}

TEST(OraWorkbenchExecute, BlockingExecuteFiresAfterExecuteOnceForDmlAndForQueries) {
    TRig r;
    TOraQuery q(r.s.get());
    q.SetAutoCommit(false);
    int calls = 0;
    q.AfterExecute = [&](void*, bool) { ++calls; };
    q.SetSQL("UPDATE DEPT SET LOC = LOC");
    q.Execute();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(q.RowsAffected(), 4);
    q.SetSQL("SELECT * FROM DEPT");
    q.Execute();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(q.Active());
    EXPECT_EQ(q.RowsAffected(), -1);
    r.s->Rollback();
}

TEST(OraWorkbenchLast, LastOnANonBlockingQueryEndsOnTheLastRecord) {
    vemu::EmuOptions o;
    o.benchRows = 300;
    TRig r(o);
    PosterGuard pg;
    TOraQuery q(r.s.get());
    q.SetNonBlocking(true);
    q.SetSQL("SELECT ID FROM BENCH ORDER BY ID");
    q.Open();
    // Straight after the open, before the background run has even started.
    q.Last();
    EXPECT_FALSE(q.IsEmpty());
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 300);
    EXPECT_TRUE(q.Eof());
    pg.poster.RunPending();
    EXPECT_EQ(q.RecordCount(), 300);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 300);
    q.First();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
}

TEST(OraWorkbenchLast, LastWhileTheBackgroundFetchRunsWaitsForIt) {
    vemu::EmuOptions o;
    o.benchRows = 200;
    o.slowFetchMs = 1;
    TRig r(o);
    PosterGuard pg;
    TOraQuery q(r.s.get());
    q.SetNonBlocking(true);
    q.SetFetchRows(10);
    q.SetSQL("SELECT ID FROM BENCH ORDER BY ID");
    q.Open();
    pg.poster.RunPending(); // the first block is being fetched in the background now
    q.Last();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 200);
    pg.RunUntil([&] { return !q.OCIRecordSet()->BackgroundRunning() && pg.poster.PendingCount() == 0; });
    EXPECT_EQ(q.RecordCount(), 200);
    q.Prior();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 199);
}
