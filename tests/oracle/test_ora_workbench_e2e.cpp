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

TEST(OraWorkbenchStrictUpdate, AWriteThatHitsSeveralRowsChangesNothingAndKeepsTheEdit) {
    TRig r;
    r.Exec("CREATE TABLE T_DUP (K NUMBER(5), V VARCHAR2(10))");
    r.Exec("INSERT INTO T_DUP VALUES (1, 'a')");
    r.Exec("INSERT INTO T_DUP VALUES (1, 'b')");
    r.Exec("INSERT INTO T_DUP VALUES (1, 'c')");
    r.Exec("INSERT INTO T_DUP VALUES (2, 'd')");
    r.s->Commit();
    // Work of the worksheet that is not committed yet must survive the failed write.
    r.Exec("UPDATE DEPT SET LOC = 'PENDING' WHERE DEPTNO = 10");
    PosterGuard pg;
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    LikeTheWorkbench(q, upd);
    q.RefreshOptions = 0; // a refresh by K would already fail at the edit
    Generate(upd, "T_DUP", {"K", "V"});
    q.SetSQL("Select * from T_DUP ORDER BY V");
    q.Execute();
    pg.RunUntil([&] { return !q.Executing(); });
    pg.poster.RunPending();
    ASSERT_EQ(q.RecordCount(), 4);

    q.First();
    q.Edit();
    q.FieldByName("V")->SetAsString("x");
    EXPECT_EQ(Message([&] { q.Post(); }), "Update failed. Found 3 records.");
    // The row stays in edit state with the user's value.
    EXPECT_EQ(q.State(), dsEdit);
    EXPECT_EQ(q.FieldByName("V")->AsString(), "x");
    q.Cancel();

    q.Last(); // (2, 'd')
    q.Prior();
    EXPECT_EQ(Message([&] { q.Delete(); }), "Update failed. Found 3 records.");
    EXPECT_EQ(q.RecordCount(), 4);

    // A second session sees every row as it was; the session itself still has its pending change.
    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_DUP WHERE (K = 1 AND V IN ('a','b','c')) OR (K = 2 AND V = 'd')",
                    other.get()),
              "4");
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10"), "PENDING");
    EXPECT_EQ(r.One("SELECT LOC FROM DEPT WHERE DEPTNO = 10", other.get()), "NEW YORK");

    // A key that hits exactly one row writes and commits.
    q.Last();
    q.Edit();
    q.FieldByName("V")->SetAsString("e");
    q.Post();
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(r.One("SELECT V FROM T_DUP WHERE K = 2", other.get()), "e");
}

TEST(OraWorkbenchStrictUpdate, AFailedRefreshAfterTheWriteUndoesTheWrite) {
    TRig r;
    r.Exec("CREATE TABLE T_R (K NUMBER(5), V VARCHAR2(10))");
    r.Exec("INSERT INTO T_R VALUES (1, 'a')");
    r.s->Commit();
    PosterGuard pg;
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    LikeTheWorkbench(q, upd);
    Generate(upd, "T_R", {"K", "V"});
    // A refresh by a column that the write does not set cannot find the row.
    upd.RefreshSQL = "SELECT * FROM T_R WHERE V = 'none' AND K = :K";
    q.RefreshOptions = roAfterInsert;
    q.SetSQL("Select * from T_R");
    q.Execute();
    pg.RunUntil([&] { return !q.Executing(); });
    pg.poster.RunPending();
    q.Append();
    q.FieldByName("K")->SetAsInteger(2);
    q.FieldByName("V")->SetAsString("b");
    EXPECT_EQ(Message([&] { q.Post(); }), "Refresh failed. Found 0 records.");
    EXPECT_EQ(q.State(), dsInsert);
    auto other = MakeSession(r.emu);
    other->Connect();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_R", other.get()), "1");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_R"), "1");
}

TEST(OraWorkbenchRefresh, RowsAreReadAgainAfterInsertAfterUpdateAndBeforeEdit) {
    TRig r;
    r.Exec(
        "CREATE TABLE T_DEF (ID NUMBER(5) PRIMARY KEY, NAME VARCHAR2(20), TAG VARCHAR2(20) DEFAULT 'dflt')");
    r.Exec("INSERT INTO T_DEF (ID, NAME, TAG) VALUES (1, 'one', 't1')");
    r.s->Commit();
    PosterGuard pg;
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    LikeTheWorkbench(q, upd);
    q.SetSQL("Select * from T_DEF");
    q.Execute();
    pg.RunUntil([&] { return !q.Executing(); });
    pg.poster.RunPending();
    std::vector<std::string> names;
    for (int i = 0; i < q.FieldCount(); ++i)
        names.push_back(q.Fields(i)->FieldName());
    ASSERT_EQ(names.size(), 3u);
    Generate(upd, "T_DEF", names);
    // The generated insert names every column: a null TAG stays null. Insert only ID and NAME so that the
    // column default applies, and let the refresh bring it in.
    upd.InsertSQL = "INSERT INTO T_DEF (ID, NAME) VALUES (:ID, :NAME)";
    q.Append();
    q.FieldByName("ID")->SetAsInteger(2);
    q.FieldByName("NAME")->SetAsString("two");
    q.Post();
    EXPECT_EQ(q.FieldByName("TAG")->AsString(), "dflt");

    auto other = MakeSession(r.emu);
    other->Connect();
    // Before the edit the row is read again: a change made elsewhere shows up.
    r.Exec("UPDATE T_DEF SET TAG = 'elsewhere' WHERE ID = 1", other.get());
    other->Commit();
    q.First();
    ASSERT_EQ(q.FieldByName("ID")->AsInteger(), 1);
    q.Edit();
    EXPECT_EQ(q.FieldByName("TAG")->AsString(), "elsewhere");
    q.FieldByName("NAME")->SetAsString("uno");
    q.Post();
    EXPECT_EQ(r.One("SELECT NAME || '/' || TAG FROM T_DEF WHERE ID = 1", other.get()), "uno/elsewhere");
    // After the update the row is read again as well (the generated modify statement sets every column).
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "uno");
}
